#pragma once

// The few primitives of the OS layer that each system provides in its own
// way (os_system_posix.cpp, os_system_win.cpp); the rest of the layer is
// shared.

#include <cstdint>
#include <string_view>

namespace zv::os::system {

// The system's millisecond clock; wraps after 2^32 ms.
std::uint32_t TickMs();
// Blocks the calling thread for `ms` milliseconds.
void SleepMs(std::uint32_t ms);
// Hands a diagnostic text to the system's debugger channel, if it has one.
void DebuggerOutput(std::string_view text);

}  // namespace zv::os::system
