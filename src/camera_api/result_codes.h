#pragma once

#include <cstddef>
#include <cstdint>

// The camera API's result codes, one row each in enumerators.def: the
// enumerator's name, its code and one static text that begins with a blank.
// The enumerator table of result codes shows the text as it stands; the
// error table (error_items.cpp, which defines these rows) shows it from the
// character after the blank: both point into the same literal.
struct result_code_row {
    const char* name;
    int32_t code;
    const char* text;
};

inline constexpr size_t kResultCodeCount = 118;
extern const result_code_row kResultCodeRows[kResultCodeCount];
