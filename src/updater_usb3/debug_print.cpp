#include "debug_print.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "os_debug_output.h"

std::uint8_t debugLevel = 2;
std::uint8_t debugToDebugger = 1;
std::uint8_t debugToStdout = 0;

void DebugPrintf(const char* format, ...)
{
    char buffer[kDebugBufferSize] = {};
    constexpr std::size_t prefixLength = sizeof kDebugPrefix - 1;
    std::memcpy(buffer, kDebugPrefix, prefixLength);
    if (debugToDebugger == 0 || format == nullptr) {
        return;
    }
    // vsnprintf cuts the text before the buffer's last byte and terminates it.
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer + prefixLength, sizeof buffer - prefixLength, format, args);
    va_end(args);
    zv::os::DebugOutput(buffer);
    if (debugToStdout != 0) {
        std::printf("%s", buffer);
    }
}

void SetDebugLevel(std::uint8_t level)
{
    debugLevel = level;
}
std::uint8_t GetDebugLevel()
{
    return debugLevel;
}
void DebugToDebuggerOn()
{
    debugToDebugger = 1;
}
void DebugToDebuggerOff()
{
    debugToDebugger = 0;
}
void DebugToStdoutOn()
{
    debugToStdout = 1;
}
void DebugToStdoutOff()
{
    debugToStdout = 0;
}
