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

// A fresh directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        static const unsigned run = std::random_device{}();
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("calib_data_test_" + std::to_string(run) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace calib_test
