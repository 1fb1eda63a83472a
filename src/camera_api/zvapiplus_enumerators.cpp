#include "zvapiplus_enumerators.h"

#include "result_codes.h"

namespace {

using Enumerators = zvAPIplus_Enumerators;

// Table numbers in member order.
enum TableNumber {
#define ZV_ENUM_TABLE(member) kTable_##member,
#define ZV_ENUM_ROW(member, name, value, text)
#define ZV_RESULT_CODE(name, code, text)
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
    kTableCount
};
static_assert(kTableCount == 65);

constexpr Enumerators::table_t Enumerators::*kTables[] = {
#define ZV_ENUM_TABLE(member) &Enumerators::member,
#define ZV_ENUM_ROW(member, name, value, text)
#define ZV_RESULT_CODE(name, code, text)
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
};

struct Row {
    TableNumber table;
    const char* name;
    int32_t value;
    const char* description;
};

// Tables 0 to 63; the result codes come from their own rows.
constexpr Row kRows[] = {
#define ZV_ENUM_TABLE(member)
#define ZV_ENUM_ROW(member, name, value, text) {kTable_##member, name, value, text},
#define ZV_RESULT_CODE(name, code, text)
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
};
static_assert(sizeof kRows / sizeof kRows[0] + kResultCodeCount == 570);

}  // namespace

zvAPIplus_Enumerators::zvAPIplus_Enumerators()
{
    for (const Row& row : kRows) {
        (this->*kTables[row.table]).push_back(param_item_t(row.name, row.value, row.description));
    }
    for (const result_code_row& row : kResultCodeRows) {
        result_codes.push_back(param_item_t(row.name, row.code, row.text));
    }
}

const zvAPIplus_Enumerators::param_item_t* zvAPIplus_Enumerators::FindParamItem(const table_t& table, int value)
{
    for (const param_item_t& item : table) {
        if (item.value == value) {
            return &item;
        }
    }
    return nullptr;
}
