#include "error_items.h"

#include <cstring>
#include <string>
#include <utility>

#include "result_codes.h"
#include "zvapiplus_exception.h"

constexpr result_code_row kResultCodeRows[kResultCodeCount] = {
#define ZV_ENUM_TABLE(member)
#define ZV_ENUM_ROW(member, name, value, text)
#define ZV_RESULT_CODE(name, code, text) {name, code, text},
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
};
static_assert(kResultCodeRows[kResultCodeCount - 1].name != nullptr, "a result code row is missing");

namespace {

// The text after the leading blank of each result-code row.
template <size_t... I>
constexpr std::array<error_item_t, sizeof...(I)> ErrorItems(std::index_sequence<I...>)
{
    return {{{kResultCodeRows[I].code, kResultCodeRows[I].text + 1}...}};
}

}  // namespace

constinit const std::array<error_item_t, 118> error_items = ErrorItems(std::make_index_sequence<kResultCodeCount>{});

const char* FindErrorText(int32_t code)
{
    for (const auto& item : error_items) {
        if (item.code == code) {
            return item.text;
        }
    }
    return nullptr;
}

void RaiseError(int32_t code, const char* method)
{
    const std::string name = method ? method : "";
    std::string description = "(missing_error_description)";
    if (const char* text = FindErrorText(code)) {
        // The description must stay within 199 characters: text, the 20
        // characters " (zvAPIplus_Camera::" and ")", and the method name.
        if (std::strlen(text) + name.size() + 26 < 200) {
            description = std::string(text) + " (zvAPIplus_Camera::" + name + ")";
        } else {
            description = "(descr_too_long)";
        }
    }
    throw zvAPIplus_Exception(code, description.c_str());
}
