#pragma once

#include <cstdint>

// One calibration field: a record of a field table, of a bit-descriptor table
// and of a page's unpacked field array.
//
// flags: bits 0-7 width in bits (the 512-byte layout reads bits 0-8), bits
// 8-11 an auxiliary index kept with the field, bits 12-15 the raw data type,
// bits 16-31 zero. A record whose flags are 0 closes a section of a field
// table. Names and comments point into static data and are never owned by a
// page; a cleared array holds null names.
struct UnpackedField {
    uint32_t flags = 0;
    int32_t value = 0;
    const char* name = nullptr;
    const char* comment = nullptr;
};

// Size of one field record in the stored definitions' accounting: a field
// table of n records is 16 x n bytes. Sizes of unpacked arrays in the page and
// definition interfaces are counted in these units.
inline constexpr uint32_t kFieldRecordSize = 16;

// Width byte used by the value functions and the 128-byte layouts.
constexpr uint32_t FieldWidth(uint32_t flags)
{
    return flags & 0xFFu;
}

// Width as the 512-byte layout reads it (the 368-bit filler needs bit 8).
constexpr uint32_t FieldWidth512(uint32_t flags)
{
    return flags & 0x1FFu;
}

constexpr uint32_t FieldAuxIndex(uint32_t flags)
{
    return (flags >> 8) & 0xFu;
}

constexpr uint32_t FieldRawType(uint32_t flags)
{
    return (flags >> 12) & 0xFu;
}
