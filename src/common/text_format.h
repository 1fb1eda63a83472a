#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

// Marks a function taking a printf format (argument formatArg) and its values
// (from argument firstArg on), so that every call's conversions are checked.
// GCC calls the C99 conversions the program uses gnu_printf (on Windows its
// plain printf means the system library's own); clang knows them as printf.
#if defined(__clang__)
#define ZV_PRINTF_FORMAT(formatArg, firstArg) __attribute__((format(printf, formatArg, firstArg)))
#else
#define ZV_PRINTF_FORMAT(formatArg, firstArg) __attribute__((format(gnu_printf, formatArg, firstArg)))
#endif

// printf-style formatting into a std::string, sized to fit: the program's texts
// are printf formats, and this keeps them verbatim without fixed buffers.
inline std::string FormatTextV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(needed));
    }
    return text;
}

ZV_PRINTF_FORMAT(1, 2) inline std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}
