#pragma once

// A private run/work directory (with its test_data folder) that a test of the
// self-test suite works in: the suite and the generator resolve their files
// from the working directory, and the generator also writes beside it.

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace selftest_test {

class SuiteDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        work_ = temp_.path() / "run" / "work";
        std::filesystem::create_directories(work_ / "test_data");
        std::filesystem::current_path(work_);
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    const std::filesystem::path& work() const { return work_; }

private:
    zvtest::TempDir temp_;
    std::filesystem::path previous_;
    std::filesystem::path work_;
};

}  // namespace selftest_test
