#pragma once

#include <cstddef>
#include <cstdint>

// The camera API's result codes, one row each in enumerators.def: the
// enumerator's name, its code and one static text that begins with a blank.
// The enumerator table of result codes shows the text as it stands; the
// error table shows it from the character after the blank. One inline table
// keeps it one literal for the whole program.
struct result_code_row {
    const char* name;
    int32_t code;
    const char* text;
};

inline constexpr result_code_row kResultCodeRows[] = {
#define ZV_ENUM_TABLE(member)
#define ZV_ENUM_ROW(member, name, value, text)
#define ZV_RESULT_CODE(name, code, text) {name, code, text},
#include "enumerators.def"
#undef ZV_RESULT_CODE
#undef ZV_ENUM_ROW
#undef ZV_ENUM_TABLE
};

inline constexpr size_t kResultCodeCount = sizeof kResultCodeRows / sizeof kResultCodeRows[0];
static_assert(kResultCodeCount == 118);
