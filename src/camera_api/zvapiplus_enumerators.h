#pragma once

#include <cstdint>
#include <vector>

// The camera API's enumerations as tables of named values: the values that
// camera parameters take, the parameter types and the result codes. The
// constructor fills all 65 tables (rows in enumerators.def); afterwards they
// are only read.
class zvAPIplus_Enumerators {
public:
    // One enumerator. The texts are static; a row never owns them.
    class param_item_t {
    public:
        param_item_t() = default;
        param_item_t(const char* itemName, int itemValue, const char* itemDescription)
            : name(itemName), value(itemValue), description(itemDescription)
        {}

        const char* name = nullptr;
        int32_t value = 0;
        const char* description = nullptr;  // "" where there is none; never null in the tables
    };
    using table_t = std::vector<param_item_t>;

    zvAPIplus_Enumerators();

    // The first row of the table with the value, or null.
    static const param_item_t* FindParamItem(const table_t& table, int value);

    // The tables in their fixed order, 0 to 64.
#define ZV_ENUM_TABLE(member) table_t member;
#define ZV_ENUM_ROW(member, name, value, text)
#define ZV_RESULT_CODE(name, code, text)
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
};
