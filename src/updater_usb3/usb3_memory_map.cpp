#include "usb3_memory_map.h"

#include <algorithm>

namespace usb3map {

namespace {

using Entries = std::array<MemoryRegion, kDescriptorEntries>;

struct Generation {
    Entries entries;
    FpgaVersionRegister fpgaVersion;
};

// Generations 0 and 2 share one layout.
constexpr Generation kFirstGeneration{{{{0, 0x400000},
                                        {0, 0x40000},
                                        {0x40000, 0x10000},
                                        {0x50000, 0x10000},
                                        {0x60000, 0xA0000},
                                        {0x100000, 0x100000},
                                        {0x200000, 0x40000},
                                        {0x240000, 0xA0000},
                                        {0, 0},
                                        {0, 0},
                                        {0, 0}}},
                                      {1, 2}};

// One row per generation: its map, then where its FPGA tells its version.
// Entries 5 and 8 belong to no firmware type but are part of the map the
// camera stores.
constexpr std::array<Generation, kCameraGenerations> kGenerations{{
    // generation 0
    kFirstGeneration,
    // generation 1: twice the flash, large FPGA bitstreams sharing one region
    {{{{0, 0x800000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0x60000, 0x300000},
      {0x360000, 0x200000},
      {0x560000, 0x80000},
      {0x60000, 0x300000},
      {0, 0},
      {0, 0},
      {0, 0}}},
     {11, 4}},
    // generation 2: as generation 0
    kFirstGeneration,
    // generation 3: no second FPGA
    {{{{0, 0x400000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0x60000, 0xA0000},
      {0x100000, 0x200000},
      {0x300000, 0x40000},
      {0, 0},
      {0, 0},
      {0, 0},
      {0, 0}}},
     {1, 4}},
    // generation 4: no FPGA bitstream in the flash
    {{{{0, 0x400000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0, 0},
      {0x60000, 0x1A0000},
      {0x200000, 0x80000},
      {0, 0},
      {0x280000, 0x10000},
      {0, 0},
      {0, 0}}},
     {0, 0}},
}};

constexpr std::uint32_t kStm32FlashStart = 0x8000000;
constexpr std::uint32_t kStm32FlashSize = 0x80000;
constexpr std::uint32_t kC51Size = 0x10000;
constexpr std::uint32_t kC2FlashSize = 0x2000;

}  // namespace

std::array<std::uint8_t, kDescriptorBytes> MemoryMapDescriptor::Bytes() const
{
    std::array<std::uint8_t, kDescriptorBytes> out{};
    WriteLe32(out, 0, 1);
    WriteLe32(out, 4, kDescriptorBytes);
    for (std::size_t i = 0; i < kDescriptorEntries; ++i) {
        WriteLe32(out, 8 + 8 * i, entries[i].start);
        WriteLe32(out, 12 + 8 * i, entries[i].size);
    }
    return out;
}

std::optional<MemoryMapDescriptor> MemoryMapDescriptor::FromStored(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kDescriptorBytes || ReadLe32(bytes, 0) != 1 || ReadLe32(bytes, 4) != kDescriptorBytes) {
        return std::nullopt;
    }
    MemoryMapDescriptor map;
    for (std::size_t i = 0; i < kDescriptorEntries; ++i) {
        map.entries[i] = {ReadLe32(bytes, 8 + 8 * i), ReadLe32(bytes, 12 + 8 * i)};
    }
    return map;
}

std::optional<MemoryMapDescriptor> DescriptorForGeneration(std::int32_t generation)
{
    if (generation < 0 || generation >= static_cast<std::int32_t>(kCameraGenerations)) {
        return std::nullopt;
    }
    return MemoryMapDescriptor{kGenerations[static_cast<std::size_t>(generation)].entries};
}

std::optional<FpgaVersionRegister> FpgaVersionRegisterOf(std::int32_t generation)
{
    if (generation < 0 || generation >= static_cast<std::int32_t>(kCameraGenerations)) {
        return std::nullopt;
    }
    const FpgaVersionRegister& reg = kGenerations[static_cast<std::size_t>(generation)].fpgaVersion;
    if (reg.length == 0) {
        return std::nullopt;
    }
    return reg;
}

std::optional<TypeRegion> RegionOfType(std::int32_t type, const MemoryMapDescriptor& map)
{
    const auto spi = [&map](std::size_t entry, std::uint32_t headBytesLast = 0) {
        return TypeRegion{Memory::SpiFlash, entry, map.entries[entry], headBytesLast};
    };
    switch (type) {
    case FW_TYPE_CPU1:
        return spi(kEntryCpu1, kCpu1BootBytes);
    case FW_TYPE_CPU2:
    case FW_TYPE_CPU5:
        return TypeRegion{Memory::Stm32Flash, kNoEntry, {kStm32FlashStart, kStm32FlashSize}};
    case FW_TYPE_CPU3:
        return TypeRegion{Memory::C51Flash, kNoEntry, {0, kC51Size}};
    case FW_TYPE_CPU4:
        return TypeRegion{Memory::C51Eeprom, kNoEntry, {0, kC51Size}};
    case FW_TYPE_MCU1:
        return TypeRegion{Memory::C2Flash, kNoEntry, {0, kC2FlashSize}};
    case FW_TYPE_FPGA1:
        return spi(kEntryFpga1);
    case FW_TYPE_FPGA2:
        return spi(kEntryFpga2);
    case FW_TYPE_XMLMAN:
        return spi(kEntryXmlman);
    case FW_TYPE_MMDESC:
        return spi(kEntryMmdesc, kMapValidBytes);  // a map cut off half way must not pass for one
    case FW_TYPE_FLAG_U3V:
    case FW_TYPE_FLAG_U2F:
    case FW_TYPE_BOOT_REQUEST:
    case FW_TYPE_REST_INFO: {
        TypeRegion info = spi(kEntryInfo, kInfoFormatBytes);
        info.region.size = std::max(info.region.size, kInfoPartitionMinSize);
        return info;
    }
    default:
        return std::nullopt;
    }
}

const FlagType* FindFlagType(std::int32_t type)
{
    const auto it =
        std::find_if(kFlagTypes.begin(), kFlagTypes.end(), [type](const FlagType& flag) { return flag.type == type; });
    return it == kFlagTypes.end() ? nullptr : &*it;
}

int Stm32SectorsFor(std::uint32_t size)
{
    std::size_t count = 0;
    std::uint32_t covered = 0;
    while (count < kStm32SectorSizes.size() && covered < size) {
        covered += kStm32SectorSizes[count++];
    }
    return static_cast<int>(count);
}

}  // namespace usb3map
