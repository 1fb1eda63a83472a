#include "cds_format.h"

#include <cstdarg>

#include "text_format.h"

std::string CdsFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}
