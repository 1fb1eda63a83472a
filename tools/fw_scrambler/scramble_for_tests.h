#pragma once

// Makes scrambled firmware files the way the camera maker's tools do, written
// independently of the program's descrambler so the two check each other.

#include <cstdint>
#include <span>
#include <vector>

namespace testing_support {

inline constexpr std::uint32_t kScramblerSeed = 0x00009E4B;

// One register byte: 8 shifts, each taking in bits 0, 8, 14 and 24 of the
// register and the feed byte's bits from the top down.
inline std::uint8_t ScramblerKey(std::uint32_t& reg, std::uint8_t feed)
{
    for (int bit = 7; bit >= 0; --bit) {
        const std::uint32_t in = ((reg >> 0) & 1) ^ ((reg >> 8) & 1) ^ ((reg >> 14) & 1) ^ ((reg >> 24) & 1) ^
                                 ((static_cast<std::uint32_t>(feed) >> bit) & 1u);
        reg = (reg << 1) | in;
    }
    return static_cast<std::uint8_t>(reg & 0xFF);
}

// Payload scrambled byte by byte (each key fed with the plain byte before it,
// 0 for the first), followed by the register as the check word, low byte first.
inline std::vector<std::uint8_t> Scramble(std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> file;
    file.reserve(payload.size() + 4);
    std::uint32_t reg = kScramblerSeed;
    std::uint8_t previous = 0;
    for (const std::uint8_t plain : payload) {
        file.push_back(static_cast<std::uint8_t>(plain ^ ScramblerKey(reg, previous)));
        previous = plain;
    }
    for (int i = 0; i < 4; ++i) {
        file.push_back(static_cast<std::uint8_t>(reg >> (8 * i)));
    }
    return file;
}

}  // namespace testing_support
