#include "os_debug_output.h"

#include <gtest/gtest.h>

TEST(DebugOutput, SilentUnlessCaptured)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    zv::os::DebugOutput("nobody hears this\n");
    {
        zv::os::DebugOutputCapture capture;
        zv::os::DebugOutput("first ");
        zv::os::DebugOutput("second\n");
        EXPECT_EQ(capture.Text(), "first second\n");
        EXPECT_THROW(zv::os::DebugOutputCapture again, std::logic_error);
    }
    zv::os::DebugOutputCapture later;
    EXPECT_EQ(later.Text(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
