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

#include "temp_dir.h"

namespace testing_support {

using zvtest::TempDir;

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
