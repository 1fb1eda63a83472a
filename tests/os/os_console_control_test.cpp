#include "os_console_control.h"

#include <gtest/gtest.h>

namespace {

std::string TextFor(std::uint32_t event)
{
    return "event " + std::to_string(event) + "\n";
}

class ConsoleControlTest : public ::testing::Test {
protected:
    void TearDown() override { zv::os::UninstallConsoleControl(); }
};

}  // namespace

TEST_F(ConsoleControlTest, EventsPrintTheirTextAndTheProgramGoesOn)
{
    ASSERT_TRUE(zv::os::InstallConsoleControl(&TextFor));
    for (const std::uint32_t event :
         {zv::os::kConsoleCtrlC, zv::os::kConsoleCtrlBreak, zv::os::kConsoleClose, zv::os::kConsoleShutdown}) {
        testing::internal::CaptureStdout();
        ASSERT_TRUE(zv::os::SimulateConsoleEvent(event));
        ASSERT_TRUE(zv::os::SimulateConsoleEvent(event));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), TextFor(event) + TextFor(event));
    }
    // No signal stands for a logoff.
    EXPECT_FALSE(zv::os::SimulateConsoleEvent(zv::os::kConsoleLogoff));
}

TEST_F(ConsoleControlTest, InstallingAgainReplacesTheTexts)
{
    ASSERT_TRUE(zv::os::InstallConsoleControl(&TextFor));
    ASSERT_TRUE(zv::os::InstallConsoleControl([](std::uint32_t) { return std::string("again\n"); }));
    testing::internal::CaptureStdout();
    zv::os::SimulateConsoleEvent(zv::os::kConsoleCtrlC);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "again\n");
    EXPECT_FALSE(zv::os::InstallConsoleControl(nullptr));
}

TEST_F(ConsoleControlTest, WithoutTheHandlerCtrlCEndsTheProgram)
{
    EXPECT_EXIT(zv::os::SimulateConsoleEvent(zv::os::kConsoleCtrlC), ::testing::KilledBySignal(2), "");
}
