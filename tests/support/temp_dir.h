#pragma once

// A fresh directory for one test's files under the system's temporary
// directory, removed with everything in it when the test ends.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"

namespace zvtest {

class TempDir {
public:
    TempDir()
    {
        static const unsigned run = std::random_device{}();
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("zvtest_") + (info != nullptr ? info->name() : "x") + "_" + std::to_string(run) +
                           "_" + std::to_string(counter++);
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The path of a file in the directory (not created).
    std::string File(std::string_view name) const { return (path_ / name).string(); }

    // Writes a file in the directory and answers its path.
    std::string Write(std::string_view name, std::span<const std::uint8_t> bytes) const
    {
        const std::string file = File(name);
        WriteFile(file, bytes);
        return file;
    }
    std::string Write(std::string_view name, std::string_view text) const { return WriteText(name, text); }
    std::string WriteText(std::string_view name, std::string_view text) const
    {
        const std::string file = File(name);
        zvtest::WriteText(file, text);
        return file;
    }

    static std::vector<std::uint8_t> Read(const std::string& path) { return ReadFile(path); }

private:
    std::filesystem::path path_;
};

}  // namespace zvtest
