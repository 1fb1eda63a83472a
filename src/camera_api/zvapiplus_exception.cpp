#include "zvapiplus_exception.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

zvAPIplus_Exception::zvAPIplus_Exception(int32_t code, const char* text)
    : description(text ? std::string(text).substr(0, kMaxDescription) : std::string()), errorNumber(code)
{}

void zvAPIplus_Exception::GetDescription(char* buffer, uint32_t size) const
{
    if (!buffer || size < 4) {
        return;
    }
    const size_t n = std::min<size_t>(description.size(), size - 1);
    std::memcpy(buffer, description.data(), n);
    std::memset(buffer + n, 0, size - n);
}

void zvAPIplus_Exception::PrintError() const
{
    std::printf("zvAPIplus-Error %d:%s\n", static_cast<int>(errorNumber), description.c_str());
}
