// The program's calibration data commands on emulated cameras (--zvapi):
// upgrade EEPROM1 (the data update with its backup, its mark and the restore
// after an interruption), prog and verify EEPROM1_VER, prog EEPROM1 with its
// backup, info EEPROM1, the listings after dump EEPROM1, reads of a camera
// whose update was interrupted, and runs on one camera at once.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include "file_io.h"
#include "os_named_lock.h"
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

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

    e2e::ProgramRun Run(std::vector<std::string> args, bool virtualSleep = false)
    {
        args.push_back("--zvapi");
        std::vector<std::pair<std::string, std::string>> env = {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}};
        if (virtualSleep) {
            env.emplace_back("ZVOS_VIRTUAL_SLEEP", "1");
        }
        e2e::ProgramRun r = e2e::RunProgram(args, "", env);
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
    static std::string ProgBackup(int n)
    {
        return std::string("eeprom_prog_backup_") + kJV966 + "_ZVEMU21000A0_" + std::to_string(n) + ".bin";
    }
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

// A name beyond Latin-1 that the system's ANSI code page still holds ('€',
// 'œ' and 'Ž' in the Western one): the dump and its listings keep it.
TEST_F(EepromUpdateRun, ADumpNamedBeyondLatin1KeepsItsName)
{
    const std::string name = "eeprom-\u20ac\u0153\u017d.bin";
    const e2e::ProgramRun r = Run({"dump", "EEPROM1", name});
    EXPECT_TRUE(r.out.ends_with(kDone)) << r.out;
    EXPECT_EQ(ReadFile(name), Eeprom());
    EXPECT_TRUE(fs::exists(name + "_OrvikFormat.txt"));
    EXPECT_TRUE(fs::exists(name + "_CalibData.csv"));
}

// The data update's backup in a folder named beyond Latin-1: written there
// by a run the camera cuts short, and read back from there by the rerun
// that finishes the update.
TEST_F(EepromUpdateRun, TheBackupOfAnInterruptedUpgradeWorksInAFolderNamedBeyondLatin1)
{
    const eeprom_test::WorkingDirectory beyond{fs::current_path() / "work-\u20ac\u0153\u017d"};
    const std::vector<std::uint8_t> original = Eeprom();
    emu.Hook(0, "fail param=write_file_ffs code=8 nth=2 file=File_EEPROM1");
    e2e::ProgramRun r = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(r.status, 1) << r.out;
    emu.ClearHooks(0);
    EXPECT_EQ(ReadFile(backup), original);

    r = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("EEPROM data update finished...\n"), std::string::npos) << r.out;
    EXPECT_EQ(eeprom_test::FieldOf(Eeprom(), kJV966, kCpu, 0, "VRD"), kCalibratedVrd);
    EXPECT_EQ(TableOf(Eeprom()).defaultsVersion, 3);
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

TEST_F(EepromUpdateRun, ProgEeprom1TakesOnlyAWholeImageAndKeepsTheOneItReplaces)
{
    const std::vector<std::uint8_t> original = Eeprom();
    // A firmware file or a listing is no image of the calibration data.
    for (const std::size_t size : {std::size_t{64253}, eeprom_test::kImageSize - 1, eeprom_test::kImageSize + 1}) {
        SCOPED_TRACE(size);
        zvtest::WriteFile("JV966_wrong.bin", std::vector<std::uint8_t>(size, 0x5A));
        const e2e::ProgramRun r = Run({"prog", "EEPROM1", "JV966_wrong.bin", "--plain_file"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with("\n******** Error: The file holds " + std::to_string(size) +
                                    " bytes, the camera's EEPROM data are 65536 bytes: it is no EEPROM image of this "
                                    "camera. Nothing was written\n" +
                                    kFailed))
            << r.out;
        EXPECT_EQ(Eeprom(), original);
    }
    EXPECT_FALSE(fs::exists(ProgBackup(1)));

    // A whole image goes in once the one it replaces is kept.
    const std::vector<std::uint8_t> image = DefaultsImage(
        kJV966, kCpu, 2, 3, [](CalibDataStructureConverter& c) { eeprom_test::SetField(c, 0, "VRD", 2400); });
    zvtest::WriteFile("JV966_image.bin", image);
    e2e::ProgramRun r = Run({"prog", "EEPROM1", "JV966_image.bin", "--plain_file"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Creating EEPROM data backup before programming...\nEEPROM data backup " + ProgBackup(1) +
                         " was created\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFile(ProgBackup(1)), original);
    EXPECT_EQ(Eeprom(), image);

    // The backup undoes it; the image it replaces gets a backup of its own
    // and the first one stays.
    r = Run({"prog", "EEPROM1", ProgBackup(1), "--plain_file"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("EEPROM data backup " + ProgBackup(2) + " was created\n"), std::string::npos) << r.out;
    EXPECT_EQ(Eeprom(), original);
    EXPECT_EQ(ReadFile(ProgBackup(1)), original);
    EXPECT_EQ(ReadFile(ProgBackup(2)), image);
    // Nor does it touch the data update's backup name.
    EXPECT_FALSE(fs::exists(backup));
}

// After an update stopped with its mark set, reads of the calibration data
// name the interrupted update and how to finish it; a dump is still written
// (it may serve a repair), but no listing of it.
TEST_F(EepromUpdateRun, ReadsOfAnInterruptedUpdateSayHowToFinishIt)
{
    emu.Hook(0, "fail param=write_file_ffs code=8 nth=2 file=File_EEPROM1");
    ASSERT_EQ(Run({"upgrade", "EEPROM1"}).status, 1);
    emu.ClearHooks(0);
    const std::vector<std::uint8_t> interrupted = Eeprom();
    ASSERT_EQ(TableOf(interrupted).flag, 1);
    const std::string error =
        "\n******** Error: An update of this camera's EEPROM data was interrupted: the camera holds no valid "
        "calibration data until it is finished. To finish it, run 'upgrade EEPROM1 --zvapi' for this camera in the "
        "directory that holds its backup file " +
        backup + "\n" + kFailed;
    const std::vector<std::vector<std::string>> reads = {
        {"dump", "EEPROM1", "eeprom.bin"}, {"diff", "EEPROM1"}, {"info", "EEPROM1"}};
    for (const std::vector<std::string>& read : reads) {
        SCOPED_TRACE(read[0]);
        const e2e::ProgramRun r = Run(read);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with(error)) << r.out;
        EXPECT_EQ(Eeprom(), interrupted);
    }
    EXPECT_EQ(ReadFile("eeprom.bin"), interrupted);
    for (const auto& entry : fs::directory_iterator(fs::current_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.starts_with("eeprom.bin_") || name.ends_with("_diff.txt")) << name;
    }

    // The command named finishes the update.
    ASSERT_EQ(Run({"upgrade", "EEPROM1"}).status, 0);
    const e2e::ProgramRun r = Run({"info", "EEPROM1"});
    EXPECT_TRUE(r.out.ends_with("Detected version V02.03\n" + kDone)) << r.out;
}

// Runs that write to one camera take turns, by the camera's serial number.
TEST_F(EepromUpdateRun, RunsOnOneCameraTakeTurns)
{
    const zv::os::ProcessResult made =
        zv::os::RunProcess((fs::path(e2e::ProgramPath()).parent_path() / "zv-demo-firmware").string(),
                           {"--version", "02.60", "JV966_CPU1_V02.60.bin"}, "", {});
    ASSERT_EQ(made.exitStatus, 0) << made.out;
    const std::vector<std::uint8_t> original = Eeprom();
    const std::vector<std::string> prog = {"prog", "CPU1", "JV966_CPU1_V02.60.bin"};
    const std::string inUse = "The camera is in use by another run of the updater, waiting for it to finish...\n";
    const std::string busy = "\n******** Error: The camera is still in use by another run of the updater; nothing "
                             "was written. Run the command again once the other run has finished\n";
    // No lock file is left behind (the Windows program's locks are mutexes:
    // its runs make no folder at all).
    const auto noLockLeft = [&] { return !fs::exists(emu.LockDir()) || fs::is_empty(emu.LockDir()); };

    // Another run holds the camera for longer than a run waits: nothing is
    // written, and the lock file of this run's wait is gone with it. (The
    // lock is held here, as this build takes it; two runs of the program
    // below meet on any build.)
    if (!e2e::DrivesAnotherProgram()) {
        const auto other = zv::os::NamedLock::Open("zvcamupdater-camera-ZVEMU21000A0");
        ASSERT_TRUE(other);
        ASSERT_EQ(other->Wait(0), zv::os::LockWait::Acquired);
        const e2e::ProgramRun r = Run(prog, true);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(inUse), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(inUse), r.out.rfind(inUse));
        EXPECT_TRUE(r.out.ends_with(busy + kFailed)) << r.out;
        EXPECT_EQ(Eeprom(), original);
        EXPECT_EQ(emu.Camera(0).versions.at("version_mcu1"), kCpu);
        EXPECT_FALSE(fs::exists(backup));
        other->Release();
    }
    EXPECT_TRUE(noLockLeft());

    // Two runs at once: each finishes, or fails before writing anything; the
    // camera ends as after one run.
    e2e::ProgramRun first;
    e2e::ProgramRun second;
    std::thread other([&] { second = Run(prog, true); });
    first = Run(prog, true);
    other.join();
    for (const e2e::ProgramRun* r : {&first, &second}) {
        EXPECT_TRUE(r->status == 0 || r->out.ends_with(busy + kFailed)) << r->out;
    }
    EXPECT_TRUE(first.status == 0 || second.status == 0);
    EXPECT_EQ(emu.Camera(0).versions.at("version_mcu1"), "02.60");
    const std::vector<std::uint8_t> converted = Eeprom();
    EXPECT_EQ(TableOf(converted).structVersion, 2);
    EXPECT_EQ(TableOf(converted).defaultsVersion, 3);
    EXPECT_EQ(TableOf(converted).flag, 0);
    EXPECT_EQ(eeprom_test::FieldOf(converted, kJV966, "02.60", 0, "VRD"), kCalibratedVrd);
    EXPECT_EQ(ReadFile(backup), original);
    EXPECT_TRUE(noLockLeft());
}

}  // namespace
