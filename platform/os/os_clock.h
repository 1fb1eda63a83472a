#pragma once

#include <cstdint>

namespace zv::os {

// Millisecond clock (wraps after 2^32 ms like the platform timer it stands
// in for) and sleep. While a VirtualClock exists both are virtual: the clock
// stands still until a sleep or Advance moves it, and sleeps return at once.
// Tests that run the built program set ZVOS_VIRTUAL_SLEEP=1 in its
// environment instead: its sleeps then return at once and move the real
// clock ahead by the time they skipped.
std::uint32_t TickCountMs();
void SleepMs(std::uint32_t ms);

class VirtualClock {
public:
    explicit VirtualClock(std::uint32_t startMs = 0);
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    void Advance(std::uint32_t ms);
    std::uint32_t Now() const;
    // Total time the program asked to sleep, and how many sleeps it made.
    std::uint64_t SleptMs() const;
    std::uint32_t SleepCount() const;
};

}  // namespace zv::os
