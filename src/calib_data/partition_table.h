#pragma once

#include <array>
#include <cstdint>

// The partition table at offset 0xFE00 of the calibration EEPROM image: 180
// bytes, multi-byte numbers little-endian. Of it the converter reads only the
// magic, the update-in-progress byte and entry 0's two version bytes; the
// rest is written on creation and carried as it is.
namespace partition_table {

inline constexpr uint32_t kImageSize = 0x10000;
inline constexpr uint32_t kOffset = 0xFE00;
inline constexpr uint32_t kRegionSize = 0x100;  // the table and the bytes after it
inline constexpr uint32_t kSize = 180;

inline constexpr uint32_t kMagic0 = 0;  // 0xCA
inline constexpr uint32_t kMagic1 = 1;  // 0x1B
inline constexpr uint32_t kTableSize = 6;
inline constexpr uint32_t kEntryCount = 8;
inline constexpr uint32_t kUpdateInProgress = 42;
inline constexpr uint32_t kEntries = 108;  // three entries of 12 bytes
inline constexpr uint32_t kEntrySize = 12;
inline constexpr uint32_t kStructVersion = kEntries + 8;    // entry 0, byte 116
inline constexpr uint32_t kDefaultsVersion = kEntries + 9;  // entry 0, byte 117

inline constexpr uint8_t kUndefinedVersion = 0xFF;

// The table a new image gets: the camera-modes region (0, 0x4000) with both
// versions undefined, the table's own region (0xFE00, 0x100) and the region
// after it (0xFF00, 0x100).
std::array<uint8_t, kSize> MakeNew();

}  // namespace partition_table
