#include "cds_version.h"

#include <cctype>
#include <climits>

namespace {

// Reads one decimal number the way the "%d" conversion does: leading white
// space, an optional sign, at least one digit. Values beyond the int range
// saturate instead of overflowing.
bool ReadDecimal(const char*& p, int& out)
{
    const char* q = p;
    while (std::isspace(static_cast<unsigned char>(*q))) {
        ++q;
    }
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = (*q == '-');
        ++q;
    }
    if (!std::isdigit(static_cast<unsigned char>(*q))) {
        return false;
    }
    long long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*q))) {
        if (value <= INT_MAX) {
            value = value * 10 + (*q - '0');
        }
        ++q;
    }
    if (negative) {
        value = -value;
    }
    out = value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : static_cast<int>(value));
    p = q;
    return true;
}

}  // namespace

CdsVersion::CdsVersion(const char* text)
{
    if (text == nullptr) {
        return;
    }
    const char* p = text;
    if (!ReadDecimal(p, major)) {
        return;
    }
    if (*p != '.') {
        return;
    }
    ++p;
    ReadDecimal(p, minor);
}

bool CdsVersion::operator<(const CdsVersion& other) const
{
    if (major != other.major) {
        return major < other.major;
    }
    return minor < other.minor;
}

bool CdsVersion::operator>(const CdsVersion& other) const
{
    return other < *this;
}
