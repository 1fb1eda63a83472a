#pragma once

#include <string>

// printf-style formatting into a std::string, sized to fit the result. The
// calibration texts (error details, listing values) are specified as printf
// formats, so they are built with the same conversions.
std::string CdsFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
