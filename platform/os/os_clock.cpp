#include "os_clock.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "os_system.h"

namespace zv::os {
namespace {

std::atomic<bool> g_virtual{false};
std::atomic<std::uint32_t> g_virtualNow{0};
std::atomic<std::uint64_t> g_slept{0};
std::atomic<std::uint32_t> g_sleepCount{0};
// Time skipped by sleeps that the environment made virtual; the clock runs
// ahead by it, so waits measured against the clock still end.
std::atomic<std::uint64_t> g_skippedMs{0};

// ZVOS_VIRTUAL_SLEEP=1 in the environment: a test setting of this OS layer for
// tests that run the whole program, like the emulated library's state
// directory. Read at every sleep, so a process may switch it. Builds for real
// cameras have no such setting: their waits are the device's.
bool SleepIsVirtualByEnvironment()
{
#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    const char* value = std::getenv("ZVOS_VIRTUAL_SLEEP");
    return value != nullptr && std::strcmp(value, "1") == 0;
#else
    return false;
#endif
}

}  // namespace

std::uint32_t TickCountMs()
{
    if (g_virtual.load()) {
        return g_virtualNow.load();
    }
    return static_cast<std::uint32_t>(system::TickMs() + g_skippedMs.load());
}

void SleepMs(std::uint32_t ms)
{
    if (g_virtual.load()) {
        g_virtualNow.fetch_add(ms);
        g_slept.fetch_add(ms);
        g_sleepCount.fetch_add(1);
        return;
    }
    if (SleepIsVirtualByEnvironment()) {
        g_skippedMs.fetch_add(ms);
        return;
    }
    system::SleepMs(ms);
}

VirtualClock::VirtualClock(std::uint32_t startMs)
{
    if (g_virtual.exchange(true)) {
        throw std::logic_error("VirtualClock: only one may exist at a time");
    }
    g_virtualNow.store(startMs);
    g_slept.store(0);
    g_sleepCount.store(0);
}

VirtualClock::~VirtualClock()
{
    g_virtual.store(false);
}

void VirtualClock::Advance(std::uint32_t ms)
{
    g_virtualNow.fetch_add(ms);
}
std::uint32_t VirtualClock::Now() const
{
    return g_virtualNow.load();
}
std::uint64_t VirtualClock::SleptMs() const
{
    return g_slept.load();
}
std::uint32_t VirtualClock::SleepCount() const
{
    return g_sleepCount.load();
}

}  // namespace zv::os
