// Emergency boot of a bare USB controller: no command word reaches it, so it
// is driven here through the updater itself on an emulated camera.

#include "emu_dir.h"
#include "fw_sel_item.h"
#include "fw_updater_usb30.h"
#include "os_clock.h"
#include "temp_dir.h"
#include "updater_error.h"
#include "zvemu/usb3_face.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::HasSubstr;

// A boot image: signature, one section of `words` words at 0x40000000, the
// start address and the checksum of the data words.
std::vector<std::uint8_t> BootImage(std::uint32_t words, std::uint32_t checksumDelta = 0)
{
    std::vector<std::uint8_t> image = {'C', 'Y', 0x1C, 0xB0};
    const auto put = [&image](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            image.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    put(words);
    put(0x40000000);
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < words; ++i) {
        const std::uint32_t word = 0x01020304u * (i + 1);
        put(word);
        sum += word;
    }
    put(0);
    put(0x40000010);
    put(sum + checksumDelta);
    return image;
}

class EmergencyBoot : public ::testing::Test {
protected:
    EmergencyBoot()
    {
        const unsigned index = emu.AddCamera();
        zvemu::Usb3Seed seed;
        seed.face.bare = true;
        seed.face.publicClass = true;
        zvemu::AddUsb3Face(emu.State(), emu.CameraId(index), emu.Camera(index), seed);
        ::setenv("ZVOS_LOCK_DIR", work.File("locks").c_str(), 1);
    }

    std::string Boot(const std::vector<std::uint8_t>& image)
    {
        FW_Updater_USB30 updater;
        updater.SetBulkMode(1);
        updater.SelectCameraOnBus(0);
        updater.SetFirmwareType(FW_TYPE_CPU1);
        updater.ClearScrambled();
        updater.SetInputFile(work.Write("boot.img", image));
        testing::internal::CaptureStdout();
        std::string error;
        try {
            updater.EmergencyBoot();
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        printed = testing::internal::GetCapturedStdout();
        return error;
    }

    zvtest::EmuDir emu;
    zvtest::TempDir work;
    zv::os::VirtualClock clock;
    std::string printed;
};

TEST_F(EmergencyBoot, BareControllerStartsTheImageAndComesBackAsTheCamera)
{
    emu.StartTrace();
    EXPECT_EQ(Boot(BootImage(40)), "");
    EXPECT_THAT(printed, ::testing::StartsWith("Emergency booting of JH-CPU\nWaiting for connect1\n"));
    EXPECT_THAT(printed, HasSubstr("Waiting for opendevice\nWaiting for opendevice - retry\n"));
    EXPECT_THAT(printed, ::testing::EndsWith("Waiting for opendevice - open ready\n"));
    // 160 data bytes in pieces of at most 64, then the start without data.
    EXPECT_EQ(emu.TraceWith("req=0xA0").size(), 4u);
}

TEST_F(EmergencyBoot, DamagedImagesAreNeverStarted)
{
    emu.StartTrace();
    std::vector<std::uint8_t> truncated = BootImage(40);
    truncated.resize(truncated.size() - 12);
    std::vector<std::uint8_t> unsigned_ = BootImage(4);
    unsigned_[0] = 'X';
    for (const auto& image : {BootImage(40, 1), truncated, unsigned_}) {
        EXPECT_EQ(Boot(image), "Error loading emergency FW");
        EXPECT_THAT(printed, ::testing::StartsWith("Emergency booting of JH-CPU\n"));
    }
    EXPECT_TRUE(emu.TraceWith("req=0xA0").empty()) << "a damaged image reached the controller";
}

}  // namespace
