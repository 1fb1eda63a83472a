#include "os_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

TEST(VirtualClock, SleepsAdvanceTheClockWithoutWaiting)
{
    const std::uint32_t before = zv::os::TickCountMs();
    {
        zv::os::VirtualClock clock(1000);
        EXPECT_EQ(zv::os::TickCountMs(), 1000u);
        zv::os::SleepMs(5000);  // would take five seconds for real
        zv::os::SleepMs(20);
        EXPECT_EQ(zv::os::TickCountMs(), 6020u);
        clock.Advance(80);
        EXPECT_EQ(clock.Now(), 6100u);
        EXPECT_EQ(clock.SleptMs(), 5020u);
        EXPECT_EQ(clock.SleepCount(), 2u);
        EXPECT_THROW(zv::os::VirtualClock second, std::logic_error);
    }
    // Back on the real clock, which has not run ahead.
    EXPECT_LT(zv::os::TickCountMs() - before, 5000u);
}

TEST(VirtualClock, WrapsLikeAMillisecondTimer)
{
    zv::os::VirtualClock clock(0xFFFFFFF0u);
    zv::os::SleepMs(0x20);
    EXPECT_EQ(zv::os::TickCountMs(), 0x10u);
}

TEST(RealClock, RunsForward)
{
    const std::uint32_t first = zv::os::TickCountMs();
    EXPECT_GE(zv::os::TickCountMs() - first, 0u);
    EXPECT_LT(zv::os::TickCountMs() - first, 1000u);
}

TEST(EnvironmentVirtualSleep, SkipsTheWaitAndMovesTheClockAhead)
{
    ::setenv("ZVOS_VIRTUAL_SLEEP", "1", 1);
    const auto wallStart = std::chrono::steady_clock::now();
    const std::uint32_t first = zv::os::TickCountMs();
    zv::os::SleepMs(60000);
    const std::uint32_t second = zv::os::TickCountMs();
    ::unsetenv("ZVOS_VIRTUAL_SLEEP");
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
    EXPECT_GE(second - first, 60000u);
}
