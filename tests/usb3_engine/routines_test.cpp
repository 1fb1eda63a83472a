// The request sequences of the flash and MCU routines and the camera object
// on an emulated USB3 camera, checked in the device's trace.

#include "camera_fw.h"
#include "emu_dir.h"
#include "os_clock.h"
#include "temp_dir.h"
#include "u3_transport.h"
#include "updater_error.h"
#include "usb3_routines.h"
#include "zvemu/usb3_face.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

namespace {

using ::testing::ElementsAre;

class Routines : public ::testing::Test {
protected:
    Routines() { ::setenv("ZVOS_LOCK_DIR", work.File("locks").c_str(), 1); }

    // The camera's hooks and the trace are read when it is opened.
    U3DevicePtr Open(std::uint8_t major, std::uint8_t minor, bool highSpeed, const std::string& hook = {})
    {
        const unsigned index = emu.AddCamera();
        zvemu::Usb3Seed seed;
        seed.face.controllerMajor = major;
        seed.face.controllerMinor = minor;
        seed.face.highSpeed = highSpeed;
        zvemu::AddUsb3Face(emu.State(), emu.CameraId(index), emu.Camera(index), seed);
        if (!hook.empty()) {
            emu.Hook(static_cast<int>(index), hook);
        }
        emu.StartTrace();
        U3DevicePtr device = OpenDeviceUSB30(0);
        EXPECT_TRUE(device);
        return device;
    }

    // The requests of one code in the trace: "len/first data bytes".
    std::vector<std::string> Requests(const std::string& code) const
    {
        std::vector<std::string> found;
        const std::regex line("req=" + code + " .* len=([0-9]+)(?: data=([0-9A-F]{0,12}))?");
        for (const std::string& text : emu.TraceWith("request id=")) {
            std::smatch m;
            if (std::regex_search(text, m, line)) {
                found.push_back(m[1].str() + (m[2].matched ? "/" + m[2].str() : ""));
            }
        }
        return found;
    }

    zvtest::EmuDir emu;
    zvtest::TempDir work;
    zv::os::VirtualClock clock;
};

TEST_F(Routines, ControllerFamiliesAreCutAt2_6And4_33)
{
    struct Case {
        std::uint8_t major, minor;
        ControllerFamily family;
    };
    const Case cases[] = {{1, 99, ControllerFamily::Old},   {2, 6, ControllerFamily::Old},
                          {2, 7, ControllerFamily::Middle}, {4, 33, ControllerFamily::Middle},
                          {4, 34, ControllerFamily::New},   {5, 0, ControllerFamily::New}};
    for (const Case& c : cases) {
        U3DeviceContext ctx;
        ctx.fwVersion = {c.minor, c.major};
        EXPECT_EQ(ControllerFamilyOf(ctx), c.family) << int(c.major) << "." << int(c.minor);
    }
}

TEST_F(Routines, OldFamilyWritesPiecesOf64EachWithWriteEnableAndPolling)
{
    U3DevicePtr device = Open(2, 6, true);
    std::vector<std::uint8_t> data(100, 0x5A);
    ASSERT_EQ(SpiWrite(*device, 0x123400, data.data(), 100, kSpiKindFlash), 0);
    // Write enable, page program with its address, the piece, then status
    // reads until the flash is no longer busy; per piece.
    std::string sequence;
    for (const std::string& r : Requests("0xB0")) {
        sequence += r.substr(0, r.find('/') + 3) + " ";
    }
    EXPECT_TRUE(std::regex_match(sequence, std::regex("1/06 4/02 64/5A (1/05 )+1/06 4/02 36/5A (1/05 )+"))) << sequence;
    EXPECT_EQ(zvemu::ReadUsb3Memory(emu.State(), emu.CameraId(0), zvemu::Usb3Memory::Spi, 0x123400, 100), data);
}

TEST_F(Routines, NewFamilyReadsInPiecesOfTheBulkPacket)
{
    U3DevicePtr device = Open(4, 34, true);
    std::vector<std::uint8_t> buffer(1000);
    ASSERT_EQ(SpiRead(*device, 0, buffer.data(), 1000, kSpiKindFlash), 0);
    EXPECT_THAT(Requests("0xE6"), ElementsAre("448", "448", "104"));
    // Each piece's set-up block: read command, address, second word 32.
    EXPECT_THAT(Requests("0xE4"), ElementsAre("8/030000002000", "8/030001C02000", "8/030003802000"));
}

TEST_F(Routines, C51ChannelSplitsWhatExceedsThePacket)
{
    U3DevicePtr device = Open(5, 2, true);
    std::vector<std::uint8_t> block(500, 0);
    block[0] = 0xFD;  // a boot-loader probe, which the device answers
    USB_JR_SendCommand(*device, 0, block.data(), 500, nullptr, 0, nullptr);
    // Channel command 0; parts 1 and 2 of 432 and 68 bytes.
    EXPECT_THAT(Requests("0x91"), ElementsAre("438/00000100B001", "74/000002004400"));
}

TEST_F(Routines, C51TransactionRetriesEachDeliveryAMillisecondApart)
{
    U3DevicePtr device = Open(5, 2, false, "u3ack answer=error req=0x91 times=all");
    const std::array<std::uint8_t, 8> block{0xFD, 0, 0, 0, 0, 1, 0, 0};
    std::array<std::uint8_t, 260> reply{};
    const std::uint32_t before = clock.Now();
    EXPECT_EQ(C51Transaction(*device, block.data(), reply.data(), 8, 260, 100), 1);
    EXPECT_EQ(Requests("0x91").size(), 101u);
    EXPECT_EQ(clock.Now() - before, 101u);
}

TEST_F(Routines, SectorEraseGivesUpOnAFlashStuckBusy)
{
    U3DevicePtr device = Open(5, 2, false, "u3busy");
    const std::uint32_t before = clock.Now();
    EXPECT_NE(SpiSectorErase(*device, 3), 0);
    EXPECT_GE(clock.Now() - before, kSectorEraseTimeoutMs);
    EXPECT_LT(clock.Now() - before, kSectorEraseTimeoutMs + 100);
}

TEST_F(Routines, CameraObjectDriversAndDefaults)
{
    Open(5, 2, false);
    CameraFW camera;
    EXPECT_EQ(camera.GetCameraModel(), "def_model");
    EXPECT_EQ(camera.GetCameraSerial(), "def_serial");
    EXPECT_FALSE(camera.IsOpen());
    camera.SetDriver(0);  // opened as the maker's driver
    camera.Open();
    EXPECT_TRUE(camera.IsOpen());
    camera.Close();
    EXPECT_FALSE(camera.IsOpen());
    camera.SetDriver(2);
    const auto thrown = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const UpdaterError& e) {
            return std::string(e.what());
        }
        return std::string("<nothing>");
    };
    EXPECT_EQ(thrown([&] { camera.Open(); }), "Unknown driver");
    EXPECT_EQ(thrown([&] { camera.GetCameraOnBusCount(); }), "CameraFW::GetCameraOnBusCount: Invalid driver selected");
    EXPECT_EQ(thrown([&] { camera.SetCameraModel(nullptr); }), "CameraFW::SetCameraModel: Invalid parameter");
    camera.SetCameraSerial("0123456789012345678901234");
    EXPECT_EQ(camera.GetCameraSerial(), "0123456789012345678");
}

}  // namespace
