#include "value_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Values beyond this are refused before they can overflow; no field holds
// more than 32 bits.
constexpr uint64_t kLimit = uint64_t{1} << 40;

int DigitValue(char c, int base)
{
    int digit = -1;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    }
    return digit < base ? digit : -1;
}

std::optional<int64_t> ParseInteger(std::string_view text, int base)
{
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > kLimit) {
            return std::nullopt;
        }
    }
    const auto signedValue = static_cast<int64_t>(value);
    return negative ? -signedValue : signedValue;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) {
        return {};
    }
    const size_t end = text.find_last_not_of(kBlanks);
    return text.substr(begin, end - begin + 1);
}

std::optional<int64_t> ParseDecimalText(std::string_view text)
{
    return ParseInteger(text, 10);
}

std::optional<int64_t> ParseHexText(std::string_view text)
{
    return ParseInteger(text, 16);
}

std::optional<double> ParseRealText(std::string_view text)
{
    text = TrimBlanks(text);
    // Digits, sign, point and exponent only: no hexadecimal floats, no
    // "inf" or "nan".
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}
