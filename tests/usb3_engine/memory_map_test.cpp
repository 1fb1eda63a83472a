#include "usb3_memory_map.h"

#include "zvemu/usb3_face.h"

#include <gtest/gtest.h>

namespace {

using namespace usb3map;

// The emulated camera seeds its flash with a descriptor written on its own
// from the same memory maps: the two must agree byte for byte.
TEST(MemoryMap, DescriptorsOfEveryGenerationMatchTheCamerasOwn)
{
    for (int generation = 0; generation < 5; ++generation) {
        const auto map = DescriptorForGeneration(generation);
        ASSERT_TRUE(map.has_value()) << generation;
        const auto bytes = map->Bytes();
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), zvemu::Usb3FlashMapDescriptor(generation))
            << "generation " << generation;
        const auto stored = MemoryMapDescriptor::FromStored(bytes);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->entries, map->entries);
    }
    EXPECT_FALSE(DescriptorForGeneration(-1).has_value());
    EXPECT_FALSE(DescriptorForGeneration(5).has_value());
}

TEST(MemoryMap, OnlyADescriptorMarkedValidIsTaken)
{
    auto bytes = DescriptorForGeneration(1)->Bytes();
    EXPECT_TRUE(MemoryMapDescriptor::FromStored(bytes).has_value());
    std::array<std::uint8_t, kDescriptorBytes> erased;
    erased.fill(0xFF);
    EXPECT_FALSE(MemoryMapDescriptor::FromStored(erased).has_value());
    bytes[4] = 95;  // word 1 is the descriptor's size, 96
    EXPECT_FALSE(MemoryMapDescriptor::FromStored(bytes).has_value());
}

TEST(MemoryMap, RegionsOfTheTypes)
{
    struct Case {
        std::int32_t type;
        int generation;
        Memory memory;
        MemoryRegion region;
    };
    const Case cases[] = {
        {FW_TYPE_CPU1, 4, Memory::SpiFlash, {0, 0x40000}},
        {FW_TYPE_FPGA1, 1, Memory::SpiFlash, {0x60000, 0x300000}},
        {FW_TYPE_FPGA2, 1, Memory::SpiFlash, {0x60000, 0x300000}},
        {FW_TYPE_FPGA1, 4, Memory::SpiFlash, {0, 0}},
        {FW_TYPE_FPGA2, 3, Memory::SpiFlash, {0, 0}},
        {FW_TYPE_XMLMAN, 3, Memory::SpiFlash, {0x300000, 0x40000}},
        {FW_TYPE_MMDESC, 0, Memory::SpiFlash, {0x40000, 0x10000}},
        {FW_TYPE_FLAG_U2F, 2, Memory::SpiFlash, {0x50000, 0x10000}},
        {FW_TYPE_BOOT_REQUEST, 0, Memory::SpiFlash, {0x50000, 0x10000}},
        {FW_TYPE_CPU2, 0, Memory::Stm32Flash, {0x8000000, 0x80000}},
        {FW_TYPE_CPU5, 3, Memory::Stm32Flash, {0x8000000, 0x80000}},
        {FW_TYPE_CPU3, 0, Memory::C51Flash, {0, 0x10000}},
        {FW_TYPE_CPU4, 0, Memory::C51Eeprom, {0, 0x10000}},
        {FW_TYPE_MCU1, 0, Memory::C2Flash, {0, 0x2000}},
    };
    for (const Case& c : cases) {
        const auto region = RegionOfType(c.type, *DescriptorForGeneration(c.generation));
        ASSERT_TRUE(region.has_value()) << c.type;
        EXPECT_EQ(region->memory, c.memory) << c.type;
        EXPECT_EQ(region->region, c.region) << c.type << " generation " << c.generation;
    }
    for (const std::int32_t type : {0, 15, 16, 100, 101, 301, 1001}) {
        EXPECT_FALSE(RegionOfType(type, *DescriptorForGeneration(0)).has_value()) << type;
    }
}

TEST(MemoryMap, Stm32SectorsCoverTheRegion)
{
    EXPECT_EQ(Stm32SectorsFor(0x80000), 8);
    EXPECT_EQ(Stm32SectorsFor(1), 1);
    EXPECT_EQ(Stm32SectorsFor(0x10001), 5);
    EXPECT_EQ(Stm32SectorsFor(0), 0);
}

}  // namespace
