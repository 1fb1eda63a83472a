#pragma once

// Whole-file reads and writes for tests, and the program's banner and
// progress texts that console comparisons share.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace zvtest {

// The banner every run of the program starts with.
inline const std::string kBanner =
    "-----------------------------------\nZAVRO Camera Firmware Updater V2.64\n-----------------------------------\n";

// The bytes of a file; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces the file with exactly these bytes.
inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    WriteFile(path, std::span<const std::uint8_t>(bytes));
}

inline void WriteText(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The console without the progress percentages, which share its lines.
inline std::string WithoutProgress(const std::string& out)
{
    return std::regex_replace(out, std::regex("[0-9]+%\r"), "");
}

}  // namespace zvtest
