// What programming a file needs around the write on emulated cameras: a
// known model's own CPU firmware converts the EEPROM data for the version in
// the image, shows the bootloader and restarts the CPU (a "JR" camera is
// opened again once it is back); every other camera and file needs nothing;
// converted data whose firmware did not make it into the camera are restored.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "fapi_test_support.h"
#include "os_clock.h"
#include "temp_dir.h"
#include "zvapi32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

using zvtest::TempDir;

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::FieldOf;
using eeprom_test::TableOf;
using fapi_test::Capture;
using fapi_test::Count;
using fapi_test::Outcome;
using fapi_test::TestUpdater;
using zvtest::EmuDir;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kCpu1 = 1;
constexpr std::int32_t kCpu2 = 2;
constexpr std::int32_t kFpga1 = 10;

constexpr const char* kJV966 = eeprom_test::kJV966;
constexpr const char* kJR574 = "JR574XX-D0-BSI-1";
constexpr const char* kTestCam = "TestCam01-A";

// The cameras, in the library's order. The "JR" camera is the last, so that
// while it is gone no other camera takes its index.
constexpr unsigned kUnknown = 0;  // a model the calibration definitions do not know
constexpr unsigned kJV = 1;       // CPU firmware CPU1, data 2/1 where 02.50 wants 2/3
constexpr unsigned kTest = 2;     // a test camera: no bootloader of its own
constexpr unsigned kJR = 3;       // CPU firmware CPU2, reconnects after a reset

constexpr std::int32_t kCalibratedVrd = 2300;  // a value no defaults list holds

const std::string kBefore = "HandleModelSpecificOperation_BeforeProgramming: No operation required.\n";
const std::string kAfter = "HandleModelSpecificOperation_AfterProgramming: No operation required.\n";
const std::string kReset = "Setting firmware magic by resetting CPU ...   \nResetting CPU done   \n";
const std::string kBootloaderOff = "Bootloader updating is disabled. Not needed.\n";

// A CPU firmware image carrying its version in bytes 6 (major) and 5 (minor).
Bytes CpuImage(std::uint8_t major, std::uint8_t minor, std::size_t size = 0x2000)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(7 + i * 11 + (i >> 8));
    }
    if (size > 6) {
        image[5] = minor;
        image[6] = major;
    }
    return image;
}

std::string FormatVersion(std::uint8_t major, std::uint8_t minor)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x.%02x", major, minor);
    return text;
}

Bytes JVData()
{
    return DefaultsImage(kJV966, "02.50", 2, 1,
                         [](CalibDataStructureConverter& c) { eeprom_test::SetField(c, 0, "VRD", kCalibratedVrd); });
}

class ModelSpecificStepsTest : public ::testing::Test {
protected:
    ModelSpecificStepsTest()
    {
        emu.AddCamera("KV410XX-B");
        Add(kJV966, "02.50", JVData());
        Add(kTestCam, "01.30", DefaultsImage(kTestCam, "01.30", 1, 0));
        Add(kJR574, "03.50", DefaultsImage(kJR574, "03.50", 2, 1));
    }

    void Add(const std::string& model, const std::string& cpu, const Bytes& eeprom)
    {
        const unsigned index =
            emu.AddCamera(model, [&](zvemu::CameraRecord& r) { r.versions[r.CpuVersionParam()] = cpu; });
        Store(index, "File_EEPROM1", eeprom);
    }

    void Store(unsigned index, const std::string& file, const Bytes& bytes)
    {
        emu.State().WriteFfsFile(emu.CameraId(index), file, bytes);
    }

    Bytes Stored(unsigned index, const std::string& file) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), file).value_or(Bytes{});
    }

    std::string CpuVersion(unsigned index) const
    {
        const zvemu::CameraRecord r = emu.Camera(index);
        return r.Version(r.CpuVersionParam());
    }

    void SetRegister(unsigned index, std::uint32_t reg, std::uint32_t value)
    {
        zvemu::CameraRecord r = emu.Camera(index);
        r.registers[{r.CpuUnit(), reg}] = value;
        emu.State().SaveCamera(emu.CameraId(index), r);
    }

    // Programs the image as a plain file into the camera.
    Outcome Program(unsigned index, std::int32_t type, const Bytes& image,
                    const std::function<void(TestUpdater&)>& setUp = {})
    {
        const std::string file = dir.Write("firmware.bin", image);
        TestUpdater u;
        u.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
        u.SelectCameraOnBus(static_cast<int>(index));
        u.SetFirmwareType(type);
        u.SetInputFile(file);
        u.ClearScrambled();
        if (setUp) {
            setUp(u);
        }
        Outcome o = Capture([&] { u.OperationFFS(FW_Updater_FAPI::FfsOperation::kProgram); });
        EXPECT_EQ(u.Camera().GetHandle(), 0u);
        return o;
    }

    std::string BackupName(unsigned index) const
    {
        const zvemu::CameraRecord r = emu.Camera(index);
        return "eeprom_backup_" + r.model + "_" + r.serial + ".bin";
    }

    EmuDir emu;
    TempDir dir;
    eeprom_test::WorkingDirectory work{dir.File("work")};
    zv::os::VirtualClock clock;
};

// Where each piece lies in the text, in order; npos when one is missing or
// out of order.
std::size_t InOrder(const std::string& text, const std::vector<std::string>& pieces)
{
    std::size_t at = 0;
    for (const std::string& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos) {
            return at;
        }
        at += piece.size();
    }
    return at;
}

TEST_F(ModelSpecificStepsTest, AKnownModelsCpuFirmwareTakesItsDataAlongAndStarts)
{
    const Bytes image = CpuImage(0x02, 0x60);
    const Outcome o = Program(kJV, kCpu1, image);
    EXPECT_EQ(o.error, "");
    EXPECT_NE(
        InOrder(o.printed,
                {"Reading EEPROM data...\n", "Creating EEPROM data backup before update...\n",
                 "Starting EEPROM data update...\n", "EEPROM data update verification...\n",
                 "EEPROM data update finished...\n",
                 "Current bootloader version in camera: 00030161, aux: 00000000\n" + kBootloaderOff + "Writing FW\n",
                 "Compare done OK  \nErasing/Writing...\nErase/Write done OK  \n" + kReset + "Operation done OK  \n"}),
        std::string::npos)
        << o.printed;
    EXPECT_EQ(Count(o.printed, "Reopening"), 0u);
    EXPECT_EQ(Count(o.printed, "No operation required"), 0u);

    // The data now are what 02.60 needs, calibrated values kept; the camera
    // confirmed the image and runs it.
    const Bytes eeprom = Stored(kJV, "File_EEPROM1");
    EXPECT_EQ(TableOf(eeprom).structVersion, 2);
    EXPECT_EQ(TableOf(eeprom).defaultsVersion, 3);
    EXPECT_EQ(TableOf(eeprom).flag, 0);
    EXPECT_EQ(FieldOf(eeprom, kJV966, "02.60", 0, "VRD"), kCalibratedVrd);
    EXPECT_EQ(Stored(kJV, "File_FW_CPU1")[0x22], 0xA5);
    EXPECT_EQ(CpuVersion(kJV), "02.60");
    EXPECT_EQ(TempDir::Read(BackupName(kJV)), JVData());
    EXPECT_EQ(clock.SleptMs(), 2000u);
}

TEST_F(ModelSpecificStepsTest, OnlyTheModelsOwnCpuFirmwareNeedsAnything)
{
    struct Case {
        const char* what;
        unsigned camera;
        std::int32_t type;
        std::string ffsFile;
        bool noOperationLines;  // a model the definitions do not know says so
    };
    const Case cases[] = {
        {"unknown model", kUnknown, kCpu1, "File_FW_CPU1", true},
        {"a known model's FPGA", kJV, kFpga1, "File_FW_FPGA1", false},
        {"the CPU1 file of a model that runs CPU2", kJR, kCpu1, "File_FW_CPU1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes eeprom = Stored(c.camera, "File_EEPROM1");
        const std::string version = CpuVersion(c.camera);
        const Outcome o = Program(c.camera, c.type, CpuImage(0x04, 0x10));
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(Count(o.printed, kBefore), c.noOperationLines ? 1u : 0u);
        EXPECT_EQ(Count(o.printed, kAfter), c.noOperationLines ? 1u : 0u);
        for (const char* line : {"EEPROM", "bootloader", "Bootloader", "resetting", "Reopening"}) {
            EXPECT_EQ(Count(o.printed, line), 0u) << line;
        }
        EXPECT_EQ(Stored(c.camera, c.ffsFile).size(), 0x2000u);
        EXPECT_EQ(Stored(c.camera, "File_EEPROM1"), eeprom);
        EXPECT_EQ(CpuVersion(c.camera), version);
    }
    EXPECT_EQ(clock.SleptMs(), 0u);
}

TEST_F(ModelSpecificStepsTest, SkippingTheDataUpdateStillShowsTheBootloaderAndResets)
{
    // Without a main bootloader version the auxiliary one is shown.
    SetRegister(kJV, 0, 0);
    SetRegister(kJV, 1, 0x30101);
    const Bytes eeprom = Stored(kJV, "File_EEPROM1");
    const Outcome o = Program(kJV, kCpu1, CpuImage(0x02, 0x60), [](TestUpdater& u) { u.SetSkipEEPROMUpgrade(); });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(Count(o.printed, "EEPROM data"), 0u);
    EXPECT_NE(InOrder(o.printed, {"Current bootloader version in camera: 00000000, aux: 00030101\n" + kBootloaderOff +
                                      "Writing FW\n",
                                  kReset}),
              std::string::npos)
        << o.printed;
    EXPECT_EQ(Stored(kJV, "File_EEPROM1"), eeprom);
    EXPECT_EQ(CpuVersion(kJV), "02.60");
}

TEST_F(ModelSpecificStepsTest, TheNewVersionIsTheOneInTheImage)
{
    struct Case {
        std::uint8_t major;
        std::uint8_t minor;
        std::string newFwVer;  // --new_fw_ver
        std::string error;     // empty: programmed and running the version
    };
    const Case cases[] = {
        // Bytes 5 and 6 of 0x20 and 0x03 are version 03.20.
        {0x03, 0x20, "", ""},
        {0x03, 0x20, "03.20", ""},
        // Another --new_fw_ver is refused with the image's version.
        {0x03, 0x20, "03.30", "03.20"},
        // A byte that is not two decimal digits would be read as some other
        // version, and the data converted for it.
        {0x03, 0x1A, "",
         "The firmware image carries the version 03.1a, which is not a version of decimal digits; "
         "the EEPROM data cannot be converted for it"},
        // A version the calibration definitions do not cover.
        {0x09, 0x00, "",
         "missing EEPROM data structure definition for JV966JK-TD-G8-V7T9-JND and new CPU firmware 09.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.newFwVer + " " + std::to_string(c.major) + "." + std::to_string(c.minor));
        Store(kJV, "File_EEPROM1", JVData());
        Store(kJV, "File_FW_CPU1", {});
        zvemu::CameraRecord r = emu.Camera(kJV);
        r.versions["version_mcu1"] = "02.50";
        emu.State().SaveCamera(emu.CameraId(kJV), r);

        const Outcome o = Program(kJV, kCpu1, CpuImage(c.major, c.minor), [&](TestUpdater& u) {
            if (!c.newFwVer.empty()) {
                u.SetNewFirmwareVersion(c.newFwVer);
            }
        });
        if (c.error.empty()) {
            EXPECT_EQ(o.error, "");
            EXPECT_EQ(CpuVersion(kJV), FormatVersion(c.major, c.minor));
            EXPECT_EQ(TableOf(Stored(kJV, "File_EEPROM1")).defaultsVersion, 3);
            continue;
        }
        // Refused before anything is written.
        EXPECT_NE(o.error.find(c.error), std::string::npos) << o.error;
        EXPECT_EQ(Count(o.printed, "Writing FW"), 0u);
        EXPECT_EQ(Stored(kJV, "File_EEPROM1"), JVData());
        EXPECT_TRUE(Stored(kJV, "File_FW_CPU1").empty());
        EXPECT_EQ(CpuVersion(kJV), "02.50");
    }
}

TEST_F(ModelSpecificStepsTest, ATestCameraIsConvertedAndResetWithoutBootloader)
{
    const Outcome o = Program(kTest, kCpu1, CpuImage(0x01, 0x50));
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(Count(o.printed, "EEPROM data update finished...\n"), 1u);
    EXPECT_EQ(Count(o.printed, "ootloader"), 0u);
    EXPECT_EQ(Count(o.printed, kReset), 1u);
    EXPECT_EQ(TableOf(Stored(kTest, "File_EEPROM1")).structVersion, 2);
    EXPECT_EQ(CpuVersion(kTest), "01.50");
}

TEST_F(ModelSpecificStepsTest, AJrCameraIsOpenedAgainOnceItIsBack)
{
    // Gone for the first two opens after the reset, back after three seconds:
    // three attempts a second apart.
    emu.Hook(static_cast<int>(kJR), "vanish opens=2");
    const Outcome o = Program(kJR, kCpu2, CpuImage(0x04, 0x00),
                              // The camera's own family decides, whatever --model says.
                              [](TestUpdater& u) { u.SetCameraModelName(kJV966); });
    EXPECT_EQ(o.error, "");
    const zvemu::CameraRecord jr = emu.Camera(kJR);
    const std::string identification = "Camera SN:" + jr.serial + ", Model:" + kJR574;
    EXPECT_NE(InOrder(o.printed, {"EEPROM data update finished...\n",
                                  kReset +
                                      "Reopening USB cameras...\n"
                                      "Trying to reopen...(20)\n"
                                      "Trying to reopen...(19)\n"
                                      "Trying to reopen...(18)\n" +
                                      identification,
                                  "Reopened OK\nOperation done OK  \n"}),
              std::string::npos)
        << o.printed;
    EXPECT_EQ(clock.SleptMs(), 2000u + 3 * 1000u);
    EXPECT_EQ(CpuVersion(kJR), "04.00");
    EXPECT_EQ(TableOf(Stored(kJR, "File_EEPROM1")).structVersion, 3);

    // A camera that does not come back within twenty attempts fails the run;
    // the firmware is in it by then.
    emu.ClearHooks(static_cast<int>(kJR));
    emu.Hook(static_cast<int>(kJR), "vanish opens=25");
    const Outcome lost = Program(kJR, kCpu2, CpuImage(0x04, 0x00));
    EXPECT_EQ(lost.error, "Timeout of camera opening.");
    EXPECT_EQ(Count(lost.printed, "Trying to reopen"), 20u);
    EXPECT_EQ(Count(lost.printed, "Trying to reopen...(1)\n"), 1u);
    EXPECT_EQ(Count(lost.printed, "Reopened OK"), 0u);
}

TEST_F(ModelSpecificStepsTest, ConvertedDataAreRestoredWhenTheirFirmwareIsNotProgrammed)
{
    struct Case {
        const char* what;
        std::vector<std::string> hooks;
        Bytes image;
        std::string error;
        bool restored;
    };
    const Case cases[] = {
        {"write refused",
         {"fail param=write_file_ffs code=8 file=File_FW_CPU1"},
         CpuImage(0x02, 0x60),
         "Write block error (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)",
         true},
        {"read back differs",
         {"corrupt at=300 file=File_FW_CPU1"},
         CpuImage(0x02, 0x60),
         "Verifying of written file failed (different content).",
         true},
        // Nothing to program, but --new_fw_ver let the data be converted.
        {"empty image", {}, {}, "The firmware file holds no data, nothing was programmed", true},
        // The restore itself fails: said so, the firmware's error stands and
        // the backup stays.
        {"restore refused",
         {"fail param=write_file_ffs code=9 file=File_FW_CPU1",
          "fail param=write_file_ffs code=8 nth=4 file=File_EEPROM1"},
         CpuImage(0x02, 0x60),
         "No image (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store(kJV, "File_EEPROM1", JVData());
        emu.ClearHooks(static_cast<int>(kJV));
        for (const std::string& hook : c.hooks) {
            emu.Hook(static_cast<int>(kJV), hook);
        }
        const Outcome o = Program(kJV, kCpu1, c.image, [&](TestUpdater& u) {
            if (c.image.empty()) {
                u.SetInputFile("-");
                u.SetNameIsHex(true);
                u.SetNewFirmwareVersion("02.60");
            }
        });
        EXPECT_NE(o.error.find(c.error), std::string::npos) << o.error;
        EXPECT_EQ(Count(o.printed, "EEPROM data update finished...\n"), 1u);
        EXPECT_EQ(
            Count(o.printed, "CPU firmware was not programmed, restoring EEPROM data from before the update...\n"), 1u);
        EXPECT_EQ(Count(o.printed, "EEPROM data restored from " + BackupName(kJV) + "\n"), c.restored ? 1u : 0u);
        EXPECT_EQ(Count(o.printed, "EEPROM data restore failed: "), c.restored ? 0u : 1u);
        EXPECT_EQ(Count(o.printed, "resetting"), 0u);
        if (c.restored) {
            EXPECT_EQ(Stored(kJV, "File_EEPROM1"), JVData());
        }
        EXPECT_EQ(TempDir::Read(BackupName(kJV)), JVData());
        EXPECT_EQ(CpuVersion(kJV), "02.50");
    }
}

}  // namespace
