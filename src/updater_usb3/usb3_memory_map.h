#pragma once

// Where each kind of content lives in a USB3 camera: the memory-map
// descriptor of the USB controller's SPI flash for each camera generation,
// the FPGA version register of each generation, the region of each firmware
// type with the bytes of it written last, the info partition with its device
// flags and the sector layout of the STM32 flash. Everything here is data;
// the flash engine (fw_updater_usb30.h, flash_memory_kinds.h) works from it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "fw_sel_item.h"
#include "zvusb3/usb3_protocol.h"

namespace usb3map {

// The boot-loader request that programming CPU2 sets in the info partition.
// It has no row in the firmware type table: no command word names it.
inline constexpr std::int32_t FW_TYPE_BOOT_REQUEST = 52;

// Entries of the memory-map descriptor.
enum DescriptorEntry : std::size_t {
    kEntryWholeFlash = 0,
    kEntryCpu1 = 1,
    kEntryMmdesc = 2,
    kEntryInfo = 3,
    kEntryFpga1 = 4,
    kEntryXmlman = 6,
    kEntryFpga2 = 7,
};
inline constexpr std::size_t kDescriptorEntries = 11;
inline constexpr std::uint32_t kDescriptorBytes = 96;  // 24 little-endian words
inline constexpr std::uint32_t kDescriptorAddress = 0x40000;
inline constexpr std::uint32_t kCameraGenerations = 5;
using zv::usb3::kSpiSectorSize;  // one SPI flash sector erase
using zv::usb3::kC2PageSize;     // one C2 flash page erase

struct MemoryRegion {
    std::uint32_t start = 0;
    std::uint32_t size = 0;
    friend bool operator==(const MemoryRegion&, const MemoryRegion&) = default;
};

// Word 0 = 1, word 1 = 96, then (start, size) of entries 0 to 10.
struct MemoryMapDescriptor {
    std::array<MemoryRegion, kDescriptorEntries> entries{};

    std::array<std::uint8_t, kDescriptorBytes> Bytes() const;
    // The descriptor stored in a camera, when its first two words mark it valid.
    static std::optional<MemoryMapDescriptor> FromStored(std::span<const std::uint8_t> bytes);
};

// The descriptor of a camera generation (0 to 4); none for any other.
std::optional<MemoryMapDescriptor> DescriptorForGeneration(std::int32_t generation);

// The FPGA register that holds the bitstream's version, read as `length`
// little-endian bytes.
struct FpgaVersionRegister {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    friend bool operator==(const FpgaVersionRegister&, const FpgaVersionRegister&) = default;
};
// The register of a camera generation; none for a generation without an
// FPGA version register (4) or outside 0 to 4.
std::optional<FpgaVersionRegister> FpgaVersionRegisterOf(std::int32_t generation);

inline constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

enum class Memory {
    SpiFlash,
    Stm32Flash,
    C51Flash,
    C51Eeprom,
    C2Flash
};

// The first bytes of some regions tell whether the rest is whole: the
// controller does not boot from a flash whose first two bytes are erased, an
// info partition whose format word is erased is known to be unfinished, and
// a memory map whose first word is erased is no map. Those bytes are written
// last, so that every interruption leaves them erased.
inline constexpr std::uint32_t kCpu1BootBytes = 2;    // the controller's boot signature
inline constexpr std::uint32_t kInfoFormatBytes = 4;  // the info partition's format word
inline constexpr std::uint32_t kMapValidBytes = 4;    // the memory map's first word, 1 in a valid map

struct TypeRegion {
    Memory memory = Memory::SpiFlash;
    std::size_t entry = kNoEntry;  // descriptor entry of an SPI flash type
    MemoryRegion region;
    std::uint32_t headBytesLast = 0;  // first bytes written after the rest is verified
};

// The region of a firmware type in a generation's map; none for a type the
// direct path does not program.
std::optional<TypeRegion> RegionOfType(std::int32_t type, const MemoryMapDescriptor& map);

// The info partition: what the updater reads and rewrites of it.
inline constexpr std::uint32_t kInfoPartitionMinSize = 0x10000;
inline constexpr std::uint32_t kInfoFormatOffset = 0;
inline constexpr std::uint32_t kInfoFormatWordOffset = 4;  // 304 in formats 1 and 2
inline constexpr std::uint32_t kInfoFormatWordValue = 304;
inline constexpr std::uint32_t kInfoLegacySerialOffset = 12;
inline constexpr std::uint32_t kInfoFlagsOffset = 288;
inline constexpr std::uint32_t kInfoSneOffset = 292;

// A type that rewrites the info partition: the flag bits it sets or clears
// (none for REST_INFO, which only rewrites the partition) and whether its
// value is fixed instead of taken from the command line.
struct FlagType {
    std::int32_t type;
    std::uint32_t mask;
    bool valueForced;
};
inline constexpr std::array<FlagType, 4> kFlagTypes{{
    {FW_TYPE_FLAG_U3V, 1, false},
    {FW_TYPE_FLAG_U2F, 2, false},
    {FW_TYPE_BOOT_REQUEST, 4, true},
    {FW_TYPE_REST_INFO, 0, false},
}};
const FlagType* FindFlagType(std::int32_t type);

// Sizes of the STM32 flash sectors, first to last.
inline constexpr std::array<std::uint32_t, 8> kStm32SectorSizes{
    0x4000, 0x4000, 0x4000, 0x4000, 0x10000, 0x20000, 0x20000, 0x20000,
};
// How many sectors from the first one cover `size` bytes.
int Stm32SectorsFor(std::uint32_t size);

inline std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
inline void WriteLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace usb3map
