#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The camera's serial-number extension: two 32-bit words of bit fields, shown
// and typed as a 12-character text (5 base32 letters, two 2-digit decimal
// numbers, 3 base32hex digits).
struct SNERecord {
    std::uint32_t word0 = 0;
    std::uint32_t word1 = 0;

    std::uint8_t Alpha(std::size_t i) const { return static_cast<std::uint8_t>((word0 >> (5 * i)) & 0x1F); }
    std::uint8_t DecimalA() const { return static_cast<std::uint8_t>((word0 >> 25) & 0x7F); }
    std::uint8_t DecimalB() const { return static_cast<std::uint8_t>(word1 & 0x3F); }
    std::uint8_t ExtHex(std::size_t i) const { return static_cast<std::uint8_t>((word1 >> (6 + 5 * i)) & 0x1F); }

    void SetAlpha(std::size_t i, std::uint8_t v) { word0 = SetBits(word0, 5 * i, 5, v); }
    void SetDecimalA(std::uint8_t v) { word0 = SetBits(word0, 25, 7, v); }
    void SetDecimalB(std::uint8_t v) { word1 = SetBits(word1, 0, 6, v); }
    void SetExtHex(std::size_t i, std::uint8_t v) { word1 = SetBits(word1, 6 + 5 * i, 5, v); }

    // The 8 bytes the camera stores: word 0 then word 1, each least significant byte first.
    std::array<std::uint8_t, 8> ToBytes() const;
    static SNERecord FromBytes(const std::array<std::uint8_t, 8>& bytes);

private:
    static std::uint32_t SetBits(std::uint32_t word, std::size_t shift, std::size_t width, std::uint32_t v)
    {
        const std::uint32_t mask = ((1u << width) - 1u) << shift;
        return (word & ~mask) | ((v << shift) & mask);
    }
};

inline constexpr std::size_t kSneTextLength = 12;

// The 12-character text of a record.
std::string EncodeSNE(const SNERecord& record);
// Reads a 12-character text into the record: 0 on success, 1 when a character
// does not belong in its position (the fields read so far stay set).
std::uint8_t DecodeSNE(std::string_view text, SNERecord& record);
// 3 when the record is not in the current format (unprogrammed or older
// cameras), 0 when it is.
std::uint8_t CheckSNE(const SNERecord& record);

// Character of an alphabet index; the alphabet's first character above 31.
char Base32Char(std::uint8_t index);
char Base32HexChar(std::uint8_t index);
// 0 and the index of c, or 1 when c is not in the alphabet.
std::uint8_t Base32Index(char c, std::uint8_t& index);
std::uint8_t Base32HexIndex(char c, std::uint8_t& index);
