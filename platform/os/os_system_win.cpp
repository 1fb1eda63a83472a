#include "os_system.h"

#include <string>

#include <windows.h>
// windows.h first: timeapi.h needs its types.
#include <timeapi.h>

namespace zv::os::system {

std::uint32_t TickMs()
{
    return static_cast<std::uint32_t>(::timeGetTime());
}

void SleepMs(std::uint32_t ms)
{
    ::Sleep(ms);
}

void DebuggerOutput(std::string_view text)
{
    const std::string terminated(text);
    ::OutputDebugStringA(terminated.c_str());
}

}  // namespace zv::os::system
