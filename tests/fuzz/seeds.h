#pragma once

// The seeds of the fuzz targets: valid inputs of each parser, made the way
// the tests make their files (calibration images of the models' defaults,
// their listings, scrambled firmware, log archives, user-set XML).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zvfuzz {

struct Seed {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// The fuzz targets, by name.
const std::vector<std::string>& TargetNames();

// The seeds of one target; every one of them is a valid input.
std::vector<Seed> SeedsOf(const std::string& target);

}  // namespace zvfuzz
