#pragma once

#include <string>

#include "text_format.h"

// printf-style formatting into a std::string, sized to fit the result. The
// calibration texts (error details, listing values) are specified as printf
// formats, so they are built with the same conversions.
ZV_PRINTF_FORMAT(1, 2) std::string CdsFormat(const char* format, ...);
