#include "os_process.h"

#include <gtest/gtest.h>

TEST(RunProcess, CollectsOutputStatusAndFeedsInput)
{
    const auto r = zv::os::RunProcess("/bin/sh", {"-c", "read line; echo \"got $line $ZV_X\"; echo oops >&2; exit 3"},
                                      "hello\n", {{"ZV_X", "42"}});
    EXPECT_EQ(r.out, "got hello 42\n");
    EXPECT_EQ(r.err, "oops\n");
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_FALSE(r.timedOut);
}

TEST(RunProcess, LargeOutputAndInputDoNotBlock)
{
    const std::string input(1 << 20, 'x');
    const auto r = zv::os::RunProcess("/bin/sh", {"-c", "cat; head -c 300000 /dev/zero"}, input);
    EXPECT_EQ(r.out.size(), input.size() + 300000);
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(RunProcess, ProgramThatIgnoresItsInputOrCannotStart)
{
    EXPECT_EQ(zv::os::RunProcess("/bin/sh", {"-c", "exit 0"}, std::string(1 << 20, 'x')).exitStatus, 0);
    const auto missing = zv::os::RunProcess("/nonexistent/program", {});
    EXPECT_EQ(missing.exitStatus, 127);
}
