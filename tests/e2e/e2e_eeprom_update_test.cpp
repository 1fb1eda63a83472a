// The program's calibration data commands on emulated cameras (--zvapi):
// upgrade EEPROM1 (the data update with its backup, its mark and the restore
// after an interruption), prog and verify EEPROM1_VER, info EEPROM1, and the
// listings after dump EEPROM1.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include "file_io.h"
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

using zvtest::kBanner;
using zvtest::ReadFile;
using zvtest::WithoutProgress;

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::kJV966;
using eeprom_test::TableOf;
using zvtest::EmuDir;

namespace fs = std::filesystem;

const std::string kCameraLines = "Camera SN:ZVEMU21000A0, Model:JV966JK-TD-G8-V7T9-JND, FPGA1:V01.00\n"
                                 "Device ID:ZVEMU-DEV-0000\n";
const std::string kDone = "Done return 0\nAll OK\n";
const std::string kFailed = "Done return 1\n";
const std::string kReading = "Reading EEPROM data...\nReading...\nRead done OK  \n";
constexpr const char* kCpu = "02.50";
constexpr std::int32_t kCalibratedVrd = 2300;

// A JV966 at CPU version 02.50, which needs data version 2/3, holding
// calibrated data of version 2/1.
class EepromUpdateRun : public ::testing::Test {
protected:
    EepromUpdateRun()
    {
        emu.AddCamera(kJV966, [](zvemu::CameraRecord& r) { r.versions["version_mcu1"] = kCpu; });
        emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1", Calibrated21());
    }

    static std::vector<std::uint8_t> Calibrated21()
    {
        return DefaultsImage(kJV966, kCpu, 2, 1, [](CalibDataStructureConverter& c) {
            eeprom_test::SetField(c, 0, "VRD", kCalibratedVrd);
        });
    }

    e2e::ProgramRun Run(std::vector<std::string> args)
    {
        args.push_back("--zvapi");
        e2e::ProgramRun r = e2e::RunProgram(args, "", {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}});
        r.out = WithoutProgress(r.out);
        return r;
    }

    std::vector<std::uint8_t> Eeprom(unsigned index = 0) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), "File_EEPROM1").value_or(std::vector<std::uint8_t>{});
    }
    void SetEeprom(const std::vector<std::uint8_t>& image)
    {
        emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1", image);
    }
    std::size_t EepromWrites() const { return emu.TraceWith("param=write_file_ffs").size(); }

    const std::string backup = std::string("eeprom_backup_") + kJV966 + "_ZVEMU21000A0.bin";
    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
};

TEST_F(EepromUpdateRun, UpgradeConvertsOnceWithABackupOfTheOriginal)
{
    const std::vector<std::uint8_t> original = Eeprom();
    e2e::ProgramRun r = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(r.out, kBanner + "Performing operation 8 on firmware type 15\n" + kCameraLines + kReading +
                         "Creating EEPROM data backup before update...\n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "Starting EEPROM data update...\n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "EEPROM data update verification...\n"
                         "Reading...\nRead done OK  \n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "EEPROM data update finished...\n"
                         "Operation done OK  \n" +
                         kDone);
    EXPECT_EQ(r.status, 0);
    const std::vector<std::uint8_t> converted = Eeprom();
    const eeprom_test::TableBytes table = TableOf(converted);
    EXPECT_EQ(table.structVersion, 2);
    EXPECT_EQ(table.defaultsVersion, 3);
    EXPECT_EQ(table.flag, 0);
    EXPECT_EQ(eeprom_test::FieldOf(converted, kJV966, kCpu, 0, "VRD"), kCalibratedVrd);
    EXPECT_EQ(ReadFile(backup), original);

    r = Run({"info", "EEPROM1"});
    EXPECT_TRUE(r.out.ends_with("Detected version V02.03\n" + kDone)) << r.out;

    emu.StartTrace();
    r = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(r.out, kBanner + "Performing operation 8 on firmware type 15\n" + kCameraLines + kReading +
                         "Operation done OK  \n" + kDone);
    EXPECT_EQ(EepromWrites(), 0u);
    EXPECT_EQ(Eeprom(), converted);
}

// Each write of the update fails in turn: the run ends with status 1, and
// the same command again leaves the camera exactly as an undisturbed run.
// Without its backup, the camera is refused and not written.
TEST_F(EepromUpdateRun, AnInterruptedUpgradeIsFinishedByTheSameCommand)
{
    const std::vector<std::uint8_t> original = Eeprom();
    emu.StartTrace();
    ASSERT_EQ(Run({"upgrade", "EEPROM1"}).status, 0);
    const std::vector<std::uint8_t> expected = Eeprom();
    // Mark set, converted image, mark cleared: the loop below breaks each.
    const std::size_t writes = EepromWrites();
    ASSERT_EQ(writes, 3u);

    for (std::size_t write = 1; write <= writes; ++write) {
        SCOPED_TRACE(write);
        SetEeprom(original);
        emu.Hook(0, "fail param=write_file_ffs code=8 nth=" + std::to_string(write) + " file=File_EEPROM1");
        e2e::ProgramRun r = Run({"upgrade", "EEPROM1"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with(
            "\n******** Error: Write block error (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)\n" + kFailed))
            << r.out;
        emu.ClearHooks(0);

        r = Run({"upgrade", "EEPROM1"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("EEPROM data update finished...\n"), std::string::npos);
        EXPECT_EQ(Eeprom(), expected);
    }

    // Without a good backup the rerun refuses and writes nothing.
    SetEeprom(original);
    emu.Hook(0, "fail param=write_file_ffs code=8 nth=2 file=File_EEPROM1");
    ASSERT_EQ(Run({"upgrade", "EEPROM1"}).status, 1);
    emu.ClearHooks(0);
    const std::vector<std::uint8_t> interrupted = Eeprom();
    const std::vector<std::uint8_t> good = ReadFile(backup);
    ASSERT_EQ(good, original);
    const std::string unchanged = " The camera's EEPROM data was not changed.\n";
    std::vector<std::uint8_t> noTable = original;
    std::fill(noTable.begin() + eeprom_test::kTableOffset, noTable.end(), 0xFF);
    struct Damage {
        const char* what;
        std::function<void()> apply;
        std::string error;
    };
    const Damage damages[] = {
        {"deleted", [&] { fs::remove(backup); },
         " of the interrupted update is missing or cannot be read; run the update again in the directory that holds "
         "it."},
        {"cut short", [&] { fs::resize_file(backup, 1000); },
         " is not a complete EEPROM image (1000 bytes, expected 65536)."},
        {"overwritten without its table",
         [&] {
             std::ofstream(backup, std::ios::binary)
                 .write(reinterpret_cast<const char*>(noTable.data()), static_cast<std::streamsize>(noTable.size()));
         },
         " holds no valid EEPROM partition table."},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::ofstream(backup, std::ios::binary)
            .write(reinterpret_cast<const char*>(good.data()), static_cast<std::streamsize>(good.size()));
        d.apply();
        emu.StartTrace();
        const e2e::ProgramRun r = Run({"upgrade", "EEPROM1"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with("Restoring EEPROM data from previous update session...\n"
                                    "\n******** Error: EEPROM data restore failed: backup file " +
                                    backup + d.error + unchanged + kFailed))
            << r.out;
        EXPECT_EQ(EepromWrites(), 0u);
        EXPECT_EQ(Eeprom(), interrupted);
    }
}

TEST_F(EepromUpdateRun, OfflineVersionCheckNeedsNoCamera)
{
    emu.Hook(-1, "nocameras");
    e2e::ProgramRun r = Run(
        {"verify", "EEPROM1_VER", "--plain_file", "--model", kJV966, "--cur_fw_ver", "02.50", "--eeprom_ver", "02.03"});
    EXPECT_EQ(r.out, kBanner +
                         "Performing operation 2 on firmware type 16\nChecksum OK\nVerify\n"
                         "EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 02.50 and EEPROM version 02.03 is "
                         "supported\n"
                         "Verify done OK\n" +
                         kDone);
    EXPECT_EQ(r.status, 0);

    r = Run(
        {"verify", "EEPROM1_VER", "--plain_file", "--model", kJV966, "--cur_fw_ver", "02.50", "--eeprom_ver", "02.05"});
    EXPECT_EQ(r.out, kBanner +
                         "Performing operation 2 on firmware type 16\nChecksum OK\nVerify\n"
                         "\n******** Error: OperationVerifyEEPROMVersions ERROR: EEPROM update for "
                         "JV966JK-TD-G8-V7T9-JND, CPU firmware 02.50 and EEPROM version 02.05 is not supported\n\n" +
                         kFailed);
    EXPECT_EQ(r.status, 1);
}

TEST_F(EepromUpdateRun, VersionUpdateWritesTheTwoVersionBytes)
{
    std::vector<std::uint8_t> expected = Eeprom();
    e2e::ProgramRun r = Run({"prog", "EEPROM1_VER", "--plain_file", "--eeprom_ver", "02.02"});
    EXPECT_TRUE(r.out.ends_with(kReading +
                                "Erasing/Writing...\nErase/Write done OK  \n"
                                "JV966JK-TD-G8-V7T9-JND (CPU 02.50) EEPROM version was successfully updated to "
                                "02.02\nOperation done OK  \n" +
                                kDone))
        << r.out;
    expected[eeprom_test::kDefaultsVersionOffset] = 2;
    EXPECT_EQ(Eeprom(), expected);

    r = Run({"prog", "EEPROM1_VER", "--plain_file", "--eeprom_ver_associate_from_cpu_ver"});
    EXPECT_TRUE(r.out.ends_with("EEPROM version was successfully updated to 2.3\nOperation done OK  \n" + kDone))
        << r.out;
    expected[eeprom_test::kDefaultsVersionOffset] = 3;
    EXPECT_EQ(Eeprom(), expected);

    r = Run({"prog", "EEPROM1_VER", "--plain_file", "--eeprom_ver", "02.07"});
    EXPECT_TRUE(r.out.ends_with(
        "\n******** Error: OperationEEPROMVersionUpdate ERROR: Provided EEPROM structure version is not supported by "
        "camera\n" +
        kFailed))
        << r.out;
    EXPECT_EQ(Eeprom(), expected);
}

TEST_F(EepromUpdateRun, DumpOfTheCalibrationImageComesWithListings)
{
    const e2e::ProgramRun r = Run({"dump", "EEPROM1", "eeprom.bin"});
    EXPECT_TRUE(r.out.ends_with("Read done OK\nConverting EEPROM data\nConverting EEPROM data  \n"
                                "Converting EEPROM data  OK\nOperation done OK  \nDump done OK  \n" +
                                kDone))
        << r.out;
    EXPECT_EQ(ReadFile("eeprom.bin"), Eeprom());
    EXPECT_TRUE(fs::exists("eeprom.bin_OrvikFormat.txt"));
    EXPECT_TRUE(fs::exists("eeprom.bin_CalibData.csv"));
}

}  // namespace
