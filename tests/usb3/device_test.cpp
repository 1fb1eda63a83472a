// The emulated USB3 camera as the request sequences of the flash routines
// drive it: its memories behave like the real parts (NOR flash, MCU flash,
// EEPROM) and outlive the process.

#include <gtest/gtest.h>

#include "u3_mcu_tunnel.h"
#include "usb3_fixture.h"

namespace usb3test {
namespace {

// Request helpers on an open context (the lock is taken per request).
struct Requests {
    U3DeviceContext& c;
    int Out(std::uint8_t code, std::vector<std::uint8_t> data = {}, std::uint16_t value = 0, std::uint16_t index = 0)
    {
        return u3VrReq(c, code, value, index, data.empty() ? nullptr : data.data(), static_cast<int>(data.size()), 1,
                       1);
    }
    std::optional<std::vector<std::uint8_t>> In(std::uint8_t code, int length)
    {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(length), 0xEE);
        if (u3VrReq(c, code, 0, 0, length > 0 ? data.data() : nullptr, length, 0, 1) != 0) {
            return std::nullopt;
        }
        return data;
    }
    // Old-style SPI: select, bytes out, deselect.
    int SpiCommand(std::vector<std::uint8_t> bytes) { return Out(0xBA) | Out(0xB0, std::move(bytes)) | Out(0xB9); }
    std::uint8_t SpiStatus()
    {
        Out(0xBA);
        Out(0xB0, {0x05});
        const auto status = In(0xB1, 1);
        Out(0xB9);
        return status ? (*status)[0] : 0xEE;
    }
    int SetUp(std::uint8_t command, std::uint32_t address, std::uint32_t second = 32)
    {
        return Out(0xE4, {command, static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
                          static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(second), 0, 0, 0});
    }
    int SetUpWord(std::uint32_t word, std::uint32_t second = 8)
    {
        return Out(0xE4, {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                          static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24),
                          static_cast<std::uint8_t>(second), 0, 0, 0});
    }
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

TEST_F(Usb3Test, SpiFlashBehavesAsNorFlash)
{
    const unsigned cam = AddUsb3(Seed(0, 1, 9));  // old controller firmware
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    Requests r{*context};
    const std::uint32_t sector = 0x100000;

    // Without write enable neither erase nor program does anything.
    EXPECT_EQ(r.SpiCommand({0xD8, 0x10, 0x00, 0x00}), 0);
    const auto before = Spi(cam, sector, 256);
    // Erase: busy for a few status reads, then all 0xFF.
    EXPECT_EQ(r.SpiCommand({0x06}), 0);
    EXPECT_EQ(r.SpiStatus() & 2, 2);
    EXPECT_EQ(r.SpiCommand({0xD8, 0x10, 0x00, 0x00}), 0);
    int busyReads = 0;
    while ((r.SpiStatus() & 1) != 0 && busyReads < 100) {
        ++busyReads;
    }
    EXPECT_GT(busyReads, 0);
    EXPECT_LT(busyReads, 100);
    EXPECT_EQ(Spi(cam, sector, 0x10000), std::vector<std::uint8_t>(0x10000, 0xFF));

    // Programming only clears bits; a page program wraps within its 256-byte page.
    auto program = [&](std::uint32_t address, std::vector<std::uint8_t> data) {
        r.SpiCommand({0x06});
        r.Out(0xBA);
        r.Out(0xB0, {0x02, static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
                     static_cast<std::uint8_t>(address)});
        r.Out(0xB0, std::move(data));
        r.Out(0xB9);
        while ((r.SpiStatus() & 1) != 0) {}
    };
    program(sector, {0xF0, 0x0F});
    program(sector, {0x3C, 0xFF});
    EXPECT_EQ(Spi(cam, sector, 2), (std::vector<std::uint8_t>{0x30, 0x0F}));
    program(sector + 0xFE, {1, 2, 3, 4});
    EXPECT_EQ(Spi(cam, sector + 0xFE, 2), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(Spi(cam, sector, 2), (std::vector<std::uint8_t>{0x30 & 3, 0x0F & 4}));
    EXPECT_EQ(Spi(cam, sector + 0x100, 1), (std::vector<std::uint8_t>{0xFF}));
    (void)before;

    // Old-style read of what was written.
    r.Out(0xBA);
    r.Out(0xB0, {0x03, 0x10, 0x00, 0xFE});
    EXPECT_EQ(r.In(0xB1, 2), (std::vector<std::uint8_t>{1, 2}));
    r.Out(0xB9);
}

TEST_F(Usb3Test, MiddleAndNewFamiliesWriteThroughTheControllerOldOnesCannot)
{
    struct Case {
        const char* name;
        std::uint8_t major, minor;
        bool writes;  // 0xE8 programs
    };
    const Case cases[] = {
        {"old 2.6", 2, 6, false}, {"middle 2.7", 2, 7, true}, {"middle 4.33", 4, 33, true}, {"new 4.34", 4, 34, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emu_.State().RemoveAll();
        const unsigned cam = AddUsb3(Seed(3, c.major, c.minor));
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        Requests r{*context};
        const auto data = Pattern(64, 9);
        EXPECT_EQ(r.SetUp(0x02, 0x310040), 0);
        EXPECT_EQ(r.Out(0xE8, data), c.writes ? 0 : 1);
        EXPECT_EQ(Spi(cam, 0x310040, 64), c.writes ? data : std::vector<std::uint8_t>(64, 0xFF));
        EXPECT_EQ(r.SetUp(0x03, 0x310040), 0);
        const auto read = r.In(0xE6, 64);
        EXPECT_EQ(read.has_value(), c.writes);
        if (read) {
            EXPECT_EQ(*read, data);
        }
    }
}

TEST_F(Usb3Test, RegistersAndTheIdentifierSequence)
{
    zvemu::Usb3Seed seed = Seed(0, 5, 2);
    seed.face.fpgaVersion = 0x0207;
    AddUsb3(seed);
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    Requests r{*context};
    r.SetUpWord(1u << 24);
    EXPECT_EQ(r.In(0xE7, 2), (std::vector<std::uint8_t>{0x07, 0x02}));
    // Old-style register read: the first two bytes come high byte first.
    r.Out(0xBC);
    r.Out(0xB0, {1});
    EXPECT_EQ(r.In(0xB1, 2), (std::vector<std::uint8_t>{0x02, 0x07}));
    r.Out(0xBB);
    // Writes carry the value last byte first behind 0x80 + register.
    EXPECT_EQ(r.Out(0xE3, {0x80 + 29, 0x00, 0x00}), 0);
    EXPECT_EQ(r.Out(0xE3, {0x80 + 30, 0x47, 0xA9}), 0);
    EXPECT_EQ(r.Out(0xE3, {0x80 + 31, 0x00, 0x01}), 0);
    std::vector<std::uint8_t> id;
    for (std::uint32_t reg : {31u, 30u, 29u}) {
        r.SetUpWord(reg << 24);
        const auto v = r.In(0xE7, 2);
        ASSERT_TRUE(v);
        id.insert(id.end(), v->begin(), v->end());
    }
    EXPECT_NE(id, (std::vector<std::uint8_t>{1, 0, 0xA9, 0x47, 0, 0}));
    // The identifier belongs to the camera: another camera answers another one.
    context.reset();
    emu_.State().RemoveAll();
    AddUsb3(seed);
    AddUsb3(seed);
    auto other = OpenDeviceUSB30(1);
    ASSERT_TRUE(other);
    Requests o{*other};
    o.Out(0xE3, {0x80 + 29, 0x00, 0x00});
    o.Out(0xE3, {0x80 + 30, 0x47, 0xA9});
    o.Out(0xE3, {0x80 + 31, 0x00, 0x01});
    o.SetUpWord(31u << 24);
    EXPECT_NE(o.In(0xE7, 2),
              std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>(id.begin(), id.begin() + 2)));
}

TEST_F(Usb3Test, Stm32FlashErasesBySectorAndProgramsInPieces)
{
    const unsigned cam = AddUsb3(Seed(0, 5, 2));
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    Requests r{*context};
    // Nothing happens before programming starts.
    r.SetUpWord(0x8000000);
    EXPECT_EQ(r.In(0xEC, 16), std::nullopt);
    EXPECT_EQ(r.In(0xEA, 0).has_value(), true);
    for (std::uint32_t sector = 0; sector < 8; ++sector) {
        EXPECT_EQ(r.SetUpWord(sector) | r.Out(0xEE), 0);
    }
    EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu2, 0, 0x80000), std::vector<std::uint8_t>(0x80000, 0xFF));
    EXPECT_EQ(r.SetUpWord(8) | r.Out(0xEE), 1);  // there are eight sectors
    const auto image = Pattern(480, 3);
    r.SetUpWord(0x8000000 + 0x4000 - 240);  // across the first sector boundary
    EXPECT_EQ(r.Out(0xEB, {image.begin(), image.begin() + 240}), 0);
    EXPECT_EQ(r.Out(0xEB, {image.begin() + 240, image.end()}), 0);
    EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu2, 0x4000 - 240, 480), image);
    r.SetUpWord(0x8000000 + 0x4000 - 240);
    const auto first = r.In(0xEC, 240);
    const auto second = r.In(0xEC, 240);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 240), *first);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 240, image.end()), *second);
    // Sector 4 is 64 KiB from 0x10000.
    r.SetUpWord(4);
    r.Out(0xEE);
    EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu2, 0x4000 - 1, 1), std::vector<std::uint8_t>{image[239]});
}

TEST_F(Usb3Test, MemoriesOutliveTheProcessAndTheContext)
{
    const unsigned cam = AddUsb3(Seed(0, 5, 2));
    {
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        Requests r{*context};
        r.SetUp(0x02, 0x210000);
        EXPECT_EQ(r.Out(0xE8, Pattern(64, 1)), 0);
        EXPECT_TRUE(CloseDeviceUSB30(std::move(context)));
    }
    EXPECT_EQ(Spi(cam, 0x210000, 64), Pattern(64, 1));
}

}  // namespace
}  // namespace usb3test
