#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cds_error.h"
#include "temp_dir.h"

namespace calib_test {

// Runs `body` and returns the text of the UpdaterError it throws; fails the
// test when it throws nothing.
inline std::string ErrorText(const std::function<void()>& body)
{
    try {
        body();
    } catch (const UpdaterError& error) {
        return error.what();
    }
    ADD_FAILURE() << "expected an UpdaterError";
    return {};
}

// Collects the texts sent to the calibration debug output while it lives.
class DebugCapture {
public:
    DebugCapture()
    {
        SetCdsDebugSink([this](const std::string& text) { texts.push_back(text); });
    }
    ~DebugCapture() { SetCdsDebugSink(nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> texts;
};

using zvtest::ReadFile;
using zvtest::TempDir;
using zvtest::WriteFile;

}  // namespace calib_test
