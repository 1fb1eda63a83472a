#include "os_system.h"

#include <chrono>
#include <thread>

namespace zv::os::system {
namespace {

std::chrono::steady_clock::time_point ProcessStart()
{
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

}  // namespace

std::uint32_t TickMs()
{
    const auto elapsed = std::chrono::steady_clock::now() - ProcessStart();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void SleepMs(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// This system has no debugger channel: diagnostics stay silent unless a test
// captures them.
void DebuggerOutput(std::string_view) {}

}  // namespace zv::os::system
