#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::random_device seed;
        std::mt19937_64 random(seed());
        path_ = std::filesystem::temp_directory_path() / ("zv_updater_fapi_" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(std::string_view name) const { return (path_ / name).string(); }

    std::string Write(std::string_view name, std::string_view content) const
    {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return path;
    }

    std::string Write(std::string_view name, const std::vector<std::uint8_t>& content) const
    {
        return Write(name, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    }

    static std::vector<std::uint8_t> Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};
