#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Number texts of the calibration CSV files, read strictly: blanks and tabs
// around the number (and the '\r' a DOS line end leaves in the last cell)
// are allowed, anything else makes the text "not a number". Nothing is read
// as 0 because it could not be read.

std::string_view TrimBlanks(std::string_view text);

// An optional sign and decimal digits.
std::optional<int64_t> ParseDecimalText(std::string_view text);

// An optional sign, an optional "0x" or "0X" and hexadecimal digits.
std::optional<int64_t> ParseHexText(std::string_view text);

// A decimal number with an optional fraction and exponent; finite.
std::optional<double> ParseRealText(std::string_view text);
