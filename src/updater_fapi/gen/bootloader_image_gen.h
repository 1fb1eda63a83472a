#pragma once

// Builds the embedded bootloader images at compile time from a short recipe.
//
// The camera's own bootloader code is not ours to ship, so each image is
// made up of code-like filler bytes with the marks the updater and the
// self-tests rely on:
//
//   [ filler ... ][ version tag, NUL ][ last 16 bytes: filler, two
//                                       adjusting bytes, tail ]
//
// - The version tag is "BL:" (main images) or "AuxBL:" (auxiliary images)
//   and the dotted version, e.g. "BL:3.1.61"; it ends just before the last
//   16 bytes.
// - Main images end with 0xA5, auxiliary images with 0x02 0xEE 0x00.
// - The checksum only sees the last 16 bytes, and a byte at distance d from
//   the end moves bits d..d+7 of it. The tail (t bytes) fixes bits 0..t-1;
//   the byte at distance t then sets bits t..t+7 and the byte at distance
//   t+8 the rest, so any stored checksum whose low bits agree with the tail
//   can be met exactly.
//
// A recipe that cannot be met stops the build: the images are constexpr, and
// a throw during constant evaluation is a compile error.

#include "bootloader_images.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

namespace bootloader_gen {

enum class ImageKind {
    Main,
    Auxiliary
};

struct ImageRecipe {
    uint32_t version;
    ImageKind kind;
    // The checksum the table stores for the image.
    uint16_t checksum;
    // Draws the filler; another seed gives another build of the same version.
    uint32_t seed;
};

inline constexpr std::array<uint8_t, 1> kMainTail = {0xA5};
inline constexpr std::array<uint8_t, 3> kAuxiliaryTail = {0x02, 0xEE, 0x00};

constexpr std::span<const uint8_t> TailOf(ImageKind kind)
{
    if (kind == ImageKind::Main) {
        return kMainTail;
    }
    return kAuxiliaryTail;
}

// "BL:3.1.61" for a main image of version 0x30161, "AuxBL:3.1.61" for an
// auxiliary one: major and minor in hexadecimal, build in two hex digits.
struct VersionTag {
    std::array<char, 24> text{};
    size_t length = 0;

    constexpr void Put(char c) { text[length++] = c; }
    constexpr void PutHex(uint32_t value, int minDigits)
    {
        constexpr char kDigits[] = "0123456789abcdef";
        char digits[8] = {};
        int count = 0;
        do {
            digits[count++] = kDigits[value & 0xF];
            value >>= 4;
        } while (value != 0 || count < minDigits);
        while (count > 0) {
            Put(digits[--count]);
        }
    }
};

constexpr VersionTag MakeVersionTag(uint32_t version, ImageKind kind)
{
    VersionTag tag;
    for (char c : (kind == ImageKind::Main ? std::string_view("BL:") : std::string_view("AuxBL:"))) {
        tag.Put(c);
    }
    tag.PutHex((version >> 16) & 0xFF, 1);
    tag.Put('.');
    tag.PutHex((version >> 8) & 0xFF, 1);
    tag.Put('.');
    tag.PutHex(version & 0xFF, 2);
    return tag;
}

// Number of trailing bytes that decide the checksum.
inline constexpr size_t kChecksumWindow = 16;

template <size_t N>
constexpr std::array<uint8_t, N> MakeBootloaderImage(const ImageRecipe& recipe)
{
    const VersionTag tag = MakeVersionTag(recipe.version, recipe.kind);
    const std::span<const uint8_t> tail = TailOf(recipe.kind);
    static_assert(N >= kChecksumWindow + 32, "image too small for its marks");

    std::array<uint8_t, N> image{};

    // Filler: a 32-bit xorshift stream, the same on every build.
    uint32_t state = recipe.seed != 0 ? recipe.seed : 1;
    for (uint8_t& b : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<uint8_t>(state >> 24);
    }

    const size_t tagStart = N - kChecksumWindow - (tag.length + 1);
    for (size_t i = 0; i < tag.length; ++i) {
        image[tagStart + i] = static_cast<uint8_t>(tag.text[i]);
    }
    image[tagStart + tag.length] = 0;

    for (size_t i = 0; i < tail.size(); ++i) {
        image[N - tail.size() + i] = tail[i];
    }

    const size_t t = tail.size();
    const size_t lowAdjust = N - 1 - t;
    const size_t highAdjust = N - 1 - (t + 8);
    image[lowAdjust] = 0;
    image[highAdjust] = 0;
    const auto delta = static_cast<uint16_t>(FirmwareChecksum(image) ^ recipe.checksum);
    if ((delta & ((1u << t) - 1)) != 0) {
        throw std::logic_error("the image's tail fixes checksum bits that the recipe wants different");
    }
    image[lowAdjust] = static_cast<uint8_t>(delta >> t);
    image[highAdjust] = static_cast<uint8_t>(delta >> (t + 8));

    if (FirmwareChecksum(image) != recipe.checksum) {
        throw std::logic_error("the adjusting bytes did not give the stored checksum");
    }
    return image;
}

}  // namespace bootloader_gen
