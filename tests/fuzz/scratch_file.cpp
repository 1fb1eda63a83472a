#include "fuzz_target.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace zvfuzz {

ScratchFile::ScratchFile(const char* suffix, std::span<const std::uint8_t> bytes)
{
    static const std::string process = std::to_string(std::random_device{}());
    path_ = (std::filesystem::temp_directory_path() / ("zvfuzz_" + process + suffix)).string();
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchFile::~ScratchFile()
{
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace zvfuzz
