#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("zvtest_") + (info ? info->test_suite_name() : "x") + "_" +
                           (info ? info->name() : "y") + "_" + std::to_string(std::random_device{}());
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
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::string Write(const std::string& name, std::span<const std::uint8_t> bytes) const
    {
        const auto file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string WriteText(const std::string& name, std::string_view text) const
    {
        return Write(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 engine(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(engine());
    }
    return bytes;
}

}  // namespace testing_support
