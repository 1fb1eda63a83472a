#include "partition_table.h"

namespace partition_table {
namespace {

void PutU16(std::array<uint8_t, kSize>& t, uint32_t at, uint16_t v)
{
    t[at] = static_cast<uint8_t>(v & 0xFF);
    t[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::array<uint8_t, kSize>& t, uint32_t at, uint32_t v)
{
    for (uint32_t i = 0; i < 4; ++i) {
        t[at + i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
    }
}

void PutEntry(std::array<uint8_t, kSize>& t, uint32_t index, uint32_t offset, uint32_t size, uint8_t structVer,
              uint8_t defaultsVer)
{
    const uint32_t at = kEntries + index * kEntrySize;
    PutU32(t, at, offset);
    PutU32(t, at + 4, size);
    t[at + 8] = structVer;
    t[at + 9] = defaultsVer;
}

}  // namespace

std::array<uint8_t, kSize> MakeNew()
{
    std::array<uint8_t, kSize> t{};
    t[kMagic0] = 0xCA;
    t[kMagic1] = 0x1B;
    PutU16(t, kTableSize, static_cast<uint16_t>(kSize));
    PutU16(t, kEntryCount, 3);
    // The camera-modes entry names 0x4000 bytes for every model; cameras read
    // the table as it stands, so it keeps that form.
    PutEntry(t, 0, 0x0000, 0x4000, kUndefinedVersion, kUndefinedVersion);
    PutEntry(t, 1, kOffset, kRegionSize, 0, 0);
    PutEntry(t, 2, 0xFF00, 0x100, 0, 0);
    return t;
}

}  // namespace partition_table
