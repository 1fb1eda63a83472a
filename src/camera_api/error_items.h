#pragma once

#include <array>
#include <cstdint>

// The texts of the camera API's result codes (and of the wrapper's own),
// searched in order; the first row with the code wins.
struct error_item_t {
    int32_t code;
    const char* text;
};

extern const std::array<error_item_t, 118> error_items;

// The text of a code, or null when the table lacks it.
const char* FindErrorText(int32_t code);

// The wrapper's one way to fail: throws zvAPIplus_Exception with the code
// and "<text> (zvAPIplus_Camera::<method>)", or "(missing_error_description)"
// for a code the table lacks, or "(descr_too_long)" when the text would not
// fit in 199 characters.
[[noreturn]] void RaiseError(int32_t code, const char* method);
