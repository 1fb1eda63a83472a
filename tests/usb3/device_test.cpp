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

// One C51 command-channel exchange: deliver a block (channel command 0) or
// fetch a reply (1); parts 3, or 1 and 2.
struct C51 {
    U3DeviceContext& c;
    int Send(std::uint16_t command, std::uint16_t part, const std::vector<std::uint8_t>& data, std::uint16_t length,
             std::vector<std::uint8_t>* reply = nullptr)
    {
        std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(command), 0,
                                           static_cast<std::uint8_t>(part),    0,
                                           static_cast<std::uint8_t>(length),  static_cast<std::uint8_t>(length >> 8)};
        frame.insert(frame.end(), data.begin(), data.end());
        std::vector<std::uint8_t> buffer(1024, 0);
        int got = 0;
        const int rc =
            u3VrReqBulkBid(c, 0x91, 0, 0, frame.data(), static_cast<int>(frame.size()), buffer.data(), 1024, &got, 1);
        if (reply != nullptr) {
            reply->assign(buffer.begin(), buffer.begin() + got);
        }
        return rc;
    }
    static std::vector<std::uint8_t> Block(std::vector<std::uint8_t> head, std::uint16_t length, std::uint16_t address,
                                           const std::vector<std::uint8_t>& data = {})
    {
        head.insert(head.end(), {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8)});
        head.insert(head.end(), data.begin(), data.end());
        return head;
    }
    int Deliver(const std::vector<std::uint8_t>& block)
    {
        return Send(0, 3, block, static_cast<std::uint16_t>(block.size()));
    }
    std::vector<std::uint8_t> Fetch(std::uint16_t capacity = 768)
    {
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(Send(1, 3, {}, capacity, &reply), 0);
        return reply;
    }
};

TEST_F(Usb3Test, C51BootLoaderErasesPerPageOrNeedsTheGlobalErase)
{
    for (const bool ccd : {false, true}) {
        SCOPED_TRACE(ccd ? "CCD" : "not CCD");
        emu_.State().RemoveAll();
        zvemu::Usb3Seed seed = Seed(0, 5, 2);
        seed.face.ccd = ccd;
        seed.c51Version = 0x0203;
        const unsigned cam = AddUsb3(seed);
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        C51 c51{*context};
        // The version bytes at 5 and 6.
        ASSERT_EQ(c51.Deliver(C51::Block({0xF2, 0, 0, 0}, 4, 5)), 0);
        EXPECT_EQ(c51.Fetch(), (std::vector<std::uint8_t>{0x03, 0x02, 0, 0}));
        // The probe answers.
        ASSERT_EQ(c51.Deliver(C51::Block({0xFD, 0, 0, 0}, 256, 0)), 0);
        EXPECT_EQ(c51.Fetch(260).size(), 256u);
        // A write over the programmed version: without CCD the page is erased
        // first, with CCD programming only clears bits.
        const std::vector<std::uint8_t> data(512, 0x0F);
        ASSERT_EQ(c51.Deliver(C51::Block({0xF1, 0xA5, 0xF1, 0x01}, 512, 0, data)), 0);
        EXPECT_EQ(c51.Fetch(), (std::vector<std::uint8_t>{0}));
        EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu3, 5, 2),
                  ccd ? (std::vector<std::uint8_t>{0x03, 0x02}) : (std::vector<std::uint8_t>{0x0F, 0x0F}));
        if (ccd) {
            // The global erase keeps the MCU busy for a few requests.
            ASSERT_EQ(c51.Deliver({0xF0, 0xA5, 0xF1, 0x03, 0x03, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00}), 0);
            int busy = 0;
            std::vector<std::uint8_t> reply;
            while (c51.Send(1, 3, {}, 768, &reply) != 0 && busy < 10) {
                ++busy;
            }
            EXPECT_EQ(busy, 3);
            EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu3, 0, 0x10000), std::vector<std::uint8_t>(0x10000, 0xFF));
            ASSERT_EQ(c51.Deliver(C51::Block({0xF1, 0xA5, 0xF1, 0x01}, 512, 0, data)), 0);
            ASSERT_EQ(c51.Deliver(C51::Block({0xF1, 0xA5, 0xF1, 0x01}, 512, 512, data)), 0);
            // The closing block: the boot loader sends back what it programmed,
            // in chunks of at most 768 bytes.
            ASSERT_EQ(c51.Deliver(C51::Block({0xF1, 0xA5, 0xF1, 0x01}, 0, 0)), 0);
            EXPECT_EQ(c51.Fetch().size(), 768u);
            EXPECT_EQ(c51.Fetch().size(), 256u);
            EXPECT_EQ(c51.Fetch().size(), 0u);
        }
    }
}

TEST_F(Usb3Test, C51RequestsInTwoPartsAtHighSpeed)
{
    const unsigned cam = AddUsb3(Seed(0, 5, 2, true));
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    C51 c51{*context};
    const auto data = Pattern(500, 11);
    const auto block = C51::Block({0xE1, 0, 0, 0}, 500, 0x100, data);  // 508 bytes: 432 + 76
    ASSERT_EQ(c51.Send(0, 1, {block.begin(), block.begin() + 432}, 432), 0);
    ASSERT_EQ(c51.Send(0, 2, {block.begin() + 432, block.end()}, 76), 0);
    EXPECT_EQ(Memory(cam, zvemu::Usb3Memory::Cpu4, 0x100, 500), data);
    // A 512-byte read fetched as 432 + 80 of one chunk.
    ASSERT_EQ(c51.Deliver(C51::Block({0xE0, 0, 0, 0}, 512, 0x100)), 0);
    std::vector<std::uint8_t> first, second;
    ASSERT_EQ(c51.Send(1, 1, {}, 432, &first), 0);
    ASSERT_EQ(c51.Send(1, 2, {}, 336, &second), 0);
    EXPECT_EQ(first.size(), 432u);
    EXPECT_EQ(second.size(), 80u);
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(first, Memory(cam, zvemu::Usb3Memory::Cpu4, 0x100, 512));
}

TEST_F(Usb3Test, AResetRunsTheImagesInFlashAndMayMakeTheCameraGoAway)
{
    const unsigned cam = AddUsb3(Seed(3, 4, 40));
    Hook(cam, "vanish opens=2");
    {
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        // New images: controller 4.50 (a "CY" image), FPGA 0x0305, STM32 0x0207.
        zvemu::WriteUsb3Memory(emu_.State(), emu_.CameraId(cam), zvemu::Usb3Memory::Spi, 0x10,
                               std::vector<std::uint8_t>{50, 4});
        zvemu::WriteUsb3Memory(emu_.State(), emu_.CameraId(cam), zvemu::Usb3Memory::Spi, 0x60010,
                               std::vector<std::uint8_t>{5, 3, 0, 0});
        zvemu::WriteUsb3Memory(emu_.State(), emu_.CameraId(cam), zvemu::Usb3Memory::Cpu2, 0x10,
                               std::vector<std::uint8_t>{7, 2});
        EXPECT_EQ(u3VrReq(*context, 0xFF, 0, 0, nullptr, 0, 0, 1), 1);  // never acknowledged
    }
    // Gone for two rounds of enumeration, then back with the new versions.
    EXPECT_FALSE(OpenDeviceUSB30(0));
    EXPECT_EQ(GetNumberDevicesUSB30(), 0);
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->fwVersion[0], 50);
    EXPECT_EQ(context->fwVersion[1], 4);
    Requests r{*context};
    r.SetUpWord(1u << 24);
    EXPECT_EQ(r.In(0xE7, 4), (std::vector<std::uint8_t>{5, 3, 0, 0}));
    std::uint8_t frame[10] = {};
    std::uint8_t reply[260] = {};
    ASSERT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 0);
    EXPECT_EQ(reply[8] | (reply[9] << 8), 0x0207);
    EXPECT_EQ(zvemu::LoadUsb3Face(emu_.State(), emu_.CameraId(cam))->controllerMinor, 50);  // kept for the next run
}

TEST_F(Usb3Test, ABareControllerTakesABootImageAndComesBackAsTheCamera)
{
    zvemu::Usb3Seed seed = Seed(0, 5, 2);
    seed.face.bare = true;
    seed.face.publicClass = true;
    AddUsb3(seed);
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_TRUE(context->devicePath.find("{ae18aa60-") != std::string::npos);
    Requests r{*context};
    EXPECT_EQ(r.In(0xC0, 2), std::nullopt);  // no firmware yet
    EXPECT_EQ(r.Out(0xA0, Pattern(64, 0), 0x0000, 0x4000), 0);
    EXPECT_EQ(r.Out(0xA0, Pattern(64, 0), 0x0000, 0x4008), 1);  // beyond the RAM
    EXPECT_EQ(r.Out(0xA0, {}, 0x0000, 0x4000), 0);              // start
    context.reset();
    EXPECT_EQ(GetNumberDevicesUSB30(), 0);
    EXPECT_EQ(GetNumberDevicesUSB30(), 0);
    EXPECT_EQ(GetNumberDevicesUSB30(), 1);
    context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_TRUE(context->devicePath.find("{4b7e21c9-") != std::string::npos);
    Requests camera{*context};
    EXPECT_EQ(camera.Out(0xB6), 0);
    EXPECT_EQ(camera.In(0xC1, 1), (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(camera.In(0xC1, 1), (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(camera.In(0xC1, 1), (std::vector<std::uint8_t>{1}));
}

TEST_F(Usb3Test, SilenceBusyFlashAndTheTrace)
{
    AddUsb3(Seed(0, 5, 2));
    Hook(0, "u3busy");
    Hook(0, "u3silent nth=4");
    emu_.StartTrace();
    auto context = OpenDeviceUSB30(0);  // request 1
    ASSERT_TRUE(context);
    Requests r{*context};
    EXPECT_EQ(r.SpiCommand({0x06}), 1);  // requests 2 to 4: the deselect is not answered
    context->bulkMode = 0;
    EXPECT_EQ(r.In(0xC0, 2), std::nullopt);  // silent on endpoint 0 as well
    context.reset();
    emu_.ClearHooks(0);
    Hook(0, "u3busy");
    context = OpenDeviceUSB30(0);
    Requests busy{*context};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(busy.SpiStatus() & 1, 1);
    }
    busy.SetUp(0x02, 0x210000);
    EXPECT_EQ(busy.Out(0xE8, Pattern(64, 0)), 1);  // the controller gives up on a flash that stays busy

    // Every open, control code, request, acknowledgement and result is in the trace.
    const auto trace = emu_.Trace();
    auto has = [&](const std::string& part) {
        return std::any_of(trace.begin(), trace.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("usb3 enumerate \\\\?\\usb#"));
    EXPECT_TRUE(has("usb3 open \\\\?\\usb#"));
    EXPECT_TRUE(has(" overlapped ok"));
    EXPECT_TRUE(has("usb3 speed super"));
    EXPECT_TRUE(has("usb3 request id="));
    EXPECT_TRUE(has(" req=0xB0 value=0x0000 index=0x0000 len=1 data=06"));
    EXPECT_TRUE(has("usb3 ack id="));
    EXPECT_TRUE(has("usb3 result id=") && has(" dropped") && has(" error"));
    EXPECT_TRUE(has("usb3 ep0 request dir=1 req=0xC0"));
    EXPECT_TRUE(has("usb3 ep0 result dropped"));
}

}  // namespace
}  // namespace usb3test
