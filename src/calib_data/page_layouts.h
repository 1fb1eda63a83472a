#pragma once

#include <cstdint>
#include <span>

#include "unpacked_field.h"

// The three bit layouts of a camera-mode page. A page holds a bit stream of
// the field table's bit-field section and a row of 16-bit little-endian
// calibration words (word j at bytes 2j and 2j+1).
//
// - Backward128: stream from bit 7 of byte 127 downwards, each field most
//   significant bit first (read as one 1024-bit little-endian number, the
//   first field holds the topmost bits).
// - Forward128: stream from bit 7 of byte 80 upwards, most significant bit
//   first (a big-endian bit string starting at byte 80).
// - Checksum512: stream from bit 0 of byte 128 upwards, built from the last
//   field of the section to the first, each least significant bit first; byte
//   511 makes the folded byte sum of the whole page equal 1.
//
// Words are written after the bits, so where a stream runs into the word
// bytes the words win and unpacking reads those bits back from them.
enum class CdsPageLayout : uint8_t {
    Backward128,
    Forward128,
    Checksum512,
};

// Page size of a layout in bytes.
constexpr uint32_t PageSizeOf(CdsPageLayout layout)
{
    return layout == CdsPageLayout::Checksum512 ? 512u : 128u;
}

// Overwrites the whole page from the values of the field array. The page must
// be the layout's page size. Fields wider than 32 bits carry the value's bits
// in the positions a 32-bit value would take and zeros elsewhere, so their
// low 32 bits read back unchanged.
void PackPage(CdsPageLayout layout, std::span<uint8_t> page, std::span<const UnpackedField> fields);

// Sets the value of every bit-field and word record of the array from the
// page and answers 0. In the checksum layout a page whose folded sum is not 1
// answers -1 and leaves the array untouched. Every walk stays inside the page
// and inside the array.
int UnpackPage(CdsPageLayout layout, std::span<const uint8_t> page, std::span<UnpackedField> fields);

// 8-bit sum with end-around carry over the bytes.
uint8_t FoldedByteSum(std::span<const uint8_t> bytes);
