// Converting an emulated camera's calibration EEPROM data for a new CPU
// firmware: the steps on the console, the backup, the update-in-progress
// mark, runs interrupted at every write and what the next run makes of
// them, and the refusals that leave the camera as it was.

#include "eeprom_files.h"
#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "fapi_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::FieldOf;
using eeprom_test::kJV966;
using eeprom_test::TableOf;
using fapi_test::Capture;
using fapi_test::Count;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using zvtest::EmuDir;

namespace fs = std::filesystem;

constexpr const char* kCpu = "02.50";
constexpr const char* kEepromFile = "File_EEPROM1";
// A value the camera was calibrated with: not the default of any version.
constexpr std::int32_t kCalibratedVrd = 2300;

// The camera's data at version 2/1 with one calibrated value.
std::vector<std::uint8_t> CalibratedAt21()
{
    return DefaultsImage(kJV966, kCpu, 2, 1,
                         [](CalibDataStructureConverter& c) { eeprom_test::SetField(c, 0, "VRD", kCalibratedVrd); });
}

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EepromDataUpdateTest : public ::testing::Test {
protected:
    EepromDataUpdateTest() { AddCamera(kJV966, kCpu, CalibratedAt21()); }

    // Adds a camera at the CPU version holding the image; answers its index.
    unsigned AddCamera(const std::string& model, const std::string& cpu, const std::vector<std::uint8_t>& image,
                       const std::string& serial = {})
    {
        const unsigned index = emu.AddCamera(model, [&](zvemu::CameraRecord& r) {
            r.versions[r.CpuVersionParam()] = cpu;
            if (!serial.empty()) {
                r.serial = serial;
            }
        });
        emu.State().WriteFfsFile(emu.CameraId(index), kEepromFile, image);
        return index;
    }

    std::vector<std::uint8_t> Eeprom(unsigned index = 0) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), kEepromFile).value_or(std::vector<std::uint8_t>{});
    }

    std::string BackupName(unsigned index = 0) const
    {
        return "eeprom_backup_" + std::string(kJV966) + "_" + emu.Camera(index).serial + ".bin";
    }

    // One update run on a fresh updater, as one run of the program would do
    // it: open the camera, convert, close.
    Outcome Update(unsigned index = 0, const std::string& current = kCpu, const std::string& next = kCpu,
                   const std::function<void(TestUpdater&)>& setUp = {})
    {
        TestUpdater updater;
        updater.SelectCameraOnBus(static_cast<int>(index));
        updater.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
        if (setUp) {
            setUp(updater);
        }
        Printed([&] { updater.Open(); });
        return Capture([&] { updater.EEPROMDataUpdate(current, next); });
    }

    std::size_t EepromWrites() const { return emu.TraceWith("param=write_file_ffs").size(); }

    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
};

TEST_F(EepromDataUpdateTest, ConvertsWithABackupAndTheMarkAndASecondRunChangesNothing)
{
    const std::vector<std::uint8_t> original = Eeprom();
    const Outcome first = Update();
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(first.printed, "Reading EEPROM data...\n"
                             "Reading...\nRead done OK  \n"
                             "Creating EEPROM data backup before update...\n"
                             "Erasing/Writing...\nErase/Write done OK  \n"
                             "Starting EEPROM data update...\n"
                             "Erasing/Writing...\nErase/Write done OK  \n"
                             "EEPROM data update verification...\n"
                             "Reading...\nRead done OK  \n"
                             "Erasing/Writing...\nErase/Write done OK  \n"
                             "EEPROM data update finished...\n");

    const std::vector<std::uint8_t> converted = Eeprom();
    const eeprom_test::TableBytes table = TableOf(converted);
    EXPECT_TRUE(table.valid);
    EXPECT_EQ(table.structVersion, 2);
    EXPECT_EQ(table.defaultsVersion, 3);
    EXPECT_EQ(table.flag, 0);
    // The calibration survives the conversion.
    EXPECT_EQ(FieldOf(converted, kJV966, kCpu, 0, "VRD"), kCalibratedVrd);
    EXPECT_EQ(ReadFile(BackupName()), original);
    EXPECT_FALSE(fs::exists(BackupName() + ".part"));

    emu.StartTrace();
    const Outcome second = Update();
    EXPECT_EQ(second.error, "");
    EXPECT_EQ(second.printed, "Reading EEPROM data...\nReading...\nRead done OK  \n");
    EXPECT_EQ(EepromWrites(), 0u);
    EXPECT_EQ(Eeprom(), converted);
}

// Every write of the update fails in turn, cleanly or torn half way; a read-
// back shows a corrupted byte. The run fails, and the same run again gives
// the camera exactly the data an undisturbed run gives it.
TEST_F(EepromDataUpdateTest, AnInterruptedUpdateIsFinishedByTheNextRun)
{
    const unsigned reference = AddCamera(kJV966, kCpu, CalibratedAt21());
    ASSERT_EQ(Update(reference).error, "");
    const std::vector<std::uint8_t> expected = Eeprom(reference);
    const std::vector<std::uint8_t> original = Eeprom(0);

    struct Case {
        std::string hook;
        bool restoresAfter;  // the mark was set when the run stopped
    };
    const Case cases[] = {
        {"fail param=write_file_ffs code=8 nth=1 file=File_EEPROM1", false},  // setting the mark
        {"cut bytes=40 nth=1 file=File_EEPROM1", false},                      // torn before the mark's byte
        {"cut bytes=100 nth=1 file=File_EEPROM1", true},
        {"fail param=write_file_ffs code=8 nth=2 file=File_EEPROM1", true},  // the converted image
        {"cut bytes=32768 nth=2 file=File_EEPROM1", true},
        {"fail param=write_file_ffs code=8 nth=3 file=File_EEPROM1", true},  // clearing the mark
        {"cut bytes=20 nth=3 file=File_EEPROM1", true},
        // The verification's read (after the reading and its check, and the
        // check of the mark).
        {"corrupt at=4660 nth=4 file=File_EEPROM1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hook);
        emu.State().WriteFfsFile(emu.CameraId(0), kEepromFile, original);
        emu.Hook(0, c.hook);
        const Outcome failed = Update();
        EXPECT_NE(failed.error, "");
        emu.ClearHooks(0);
        EXPECT_EQ(TableOf(Eeprom()).flag == 1, c.restoresAfter);

        const Outcome again = Update();
        EXPECT_EQ(again.error, "");
        EXPECT_EQ(Count(again.printed, "Restoring EEPROM data from previous update session...\n"),
                  c.restoresAfter ? 1u : 0u);
        EXPECT_EQ(Count(again.printed, "EEPROM data update finished...\n"), 1u);
        EXPECT_EQ(Eeprom(), expected);
        EXPECT_EQ(ReadFile(BackupName()), original);
    }
}

// The restore itself torn half way: the camera still carries the mark, and
// the run after it restores and converts.
TEST_F(EepromDataUpdateTest, AnInterruptedRestoreIsStartedAgain)
{
    const unsigned reference = AddCamera(kJV966, kCpu, CalibratedAt21());
    ASSERT_EQ(Update(reference).error, "");

    emu.Hook(0, "fail param=write_file_ffs code=8 nth=2 file=File_EEPROM1");
    ASSERT_NE(Update().error, "");
    emu.ClearHooks(0);
    // Hooks count their calls for the whole test, so each text is new: the
    // restore's image write torn, then the write that takes the mark away.
    for (const char* hook :
         {"cut bytes=50000 nth=1 file=File_EEPROM1", "fail param=write_file_ffs code=7 nth=2 file=File_EEPROM1"}) {
        SCOPED_TRACE(hook);
        emu.Hook(0, hook);
        const Outcome o = Update();
        EXPECT_NE(o.error, "");
        EXPECT_EQ(Count(o.printed, "Restoring EEPROM data from previous update session...\n"), 1u);
        emu.ClearHooks(0);
        EXPECT_EQ(TableOf(Eeprom()).flag, 1);
    }
    const Outcome o = Update();
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(Count(o.printed, "Restoring EEPROM data from previous update session...\n"), 1u);
    EXPECT_EQ(Eeprom(), Eeprom(reference));
}

TEST_F(EepromDataUpdateTest, ARestoreFailsWithoutAGoodBackupAndWritesNothing)
{
    const std::vector<std::uint8_t> original = Eeprom();
    emu.Hook(0, "fail param=write_file_ffs code=8 nth=3 file=File_EEPROM1");
    ASSERT_NE(Update().error, "");
    emu.ClearHooks(0);
    const std::vector<std::uint8_t> interrupted = Eeprom();
    ASSERT_EQ(TableOf(interrupted).flag, 1);

    std::vector<std::uint8_t> erasedTable = original;
    std::fill(erasedTable.begin() + eeprom_test::kTableOffset, erasedTable.end(), 0xFF);
    struct Case {
        const char* what;
        std::function<void()> damage;
        std::string error;
    };
    const std::string name = BackupName();
    const std::string unchanged = " The camera's EEPROM data was not changed.";
    const Case cases[] = {
        {"deleted", [&] { fs::remove(name); },
         "EEPROM data restore failed: backup file " + name +
             " of the interrupted update is missing or cannot be read; run the update again in the directory that "
             "holds it." +
             unchanged},
        {"cut short", [&] { fs::resize_file(name, 0x8000); },
         "EEPROM data restore failed: backup file " + name +
             " is not a complete EEPROM image (32768 bytes, expected 65536)." + unchanged},
        {"without its table",
         [&] {
             std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(erasedTable.data()), 0x10000);
         },
         "EEPROM data restore failed: backup file " + name + " holds no valid EEPROM partition table." + unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(original.data()), 0x10000);
        c.damage();
        emu.StartTrace();
        const Outcome o = Update();
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.printed, "Reading EEPROM data...\nReading...\nRead done OK  \n"
                             "Restoring EEPROM data from previous update session...\n");
        EXPECT_EQ(EepromWrites(), 0u);
        EXPECT_EQ(Eeprom(), interrupted);
    }
}

// The mark decides, not the versions: data that look converted already are
// still put back and converted again from the backup.
TEST_F(EepromDataUpdateTest, AMarkedCameraIsRestoredAlsoWhenNoConversionFollows)
{
    emu.Hook(0, "fail param=write_file_ffs code=8 nth=3 file=File_EEPROM1");
    ASSERT_NE(Update().error, "");
    emu.ClearHooks(0);

    // The backup of a camera whose data need no conversion for this firmware.
    const std::vector<std::uint8_t> at23 = DefaultsImage(kJV966, kCpu, 2, 3);
    std::ofstream(BackupName(), std::ios::binary).write(reinterpret_cast<const char*>(at23.data()), 0x10000);
    const Outcome o = Update();
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "Reading EEPROM data...\nReading...\nRead done OK  \n"
                         "Restoring EEPROM data from previous update session...\n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "Reading...\nRead done OK  \n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "EEPROM data restored from " +
                             BackupName() + "\n");
    EXPECT_EQ(Eeprom(), at23);
}

TEST_F(EepromDataUpdateTest, AMissingPartitionTableIsAddedAfterTheBackup)
{
    std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 3);
    std::fill(image.begin() + eeprom_test::kTableOffset, image.end(), 0xFF);
    emu.State().WriteFfsFile(emu.CameraId(0), kEepromFile, image);

    const Outcome o = Update();
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "Reading EEPROM data...\nReading...\nRead done OK  \n"
                         "Creating EEPROM data backup before update...\n"
                         "Erasing/Writing...\nErase/Write done OK  \n"
                         "New EEPROM descriptor v 02.03 was added/restored...\n");
    const std::vector<std::uint8_t> after = Eeprom();
    const eeprom_test::TableBytes table = TableOf(after);
    EXPECT_TRUE(table.valid);
    EXPECT_EQ(table.structVersion, 2);
    EXPECT_EQ(table.defaultsVersion, 3);
    // Only the 180 bytes of the table were written.
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + eeprom_test::kTableOffset, after.begin()));
    EXPECT_TRUE(std::equal(image.begin() + eeprom_test::kTableOffset + 180, image.end(),
                           after.begin() + eeprom_test::kTableOffset + 180));
    // The backup holds the data as read with the table it got, so a restore
    // from it finds one.
    EXPECT_EQ(ReadFile(BackupName()), after);
}

TEST_F(EepromDataUpdateTest, RefusalsLeaveTheCameraAndTheBackupsAlone)
{
    const unsigned jr = AddCamera("JR574XX-D0-BSI-1", "04.00", DefaultsImage("JR574XX-D0-BSI-1", "04.00", 3, 9));
    struct Case {
        const char* what;
        unsigned camera;
        std::string current;
        std::string next;
        std::string newFwOption;
        std::string error;
        std::string printedTail;
    };
    const std::string contact = ".\r\nContact ZAVRO-Customer-Support by creating new Issue/Ticket";
    const Case cases[] = {
        {"no current version", 0, "", kCpu, "",
         "EEPROM data update ERROR: the camera's current CPU firmware version is not known, please use command line "
         "parameter '--cur_fw_ver'",
         ""},
        {"current version without definition", 0, "09.00", kCpu, "", " (CPU)" + contact, ""},
        {"no new version", 0, kCpu, "", "",
         "New CPU firmware version is not set, please use command line parameter '--new_fw_ver'", ""},
        {"new version against --new_fw_ver", 0, kCpu, "02.60", "02.50", "02.60", ""},
        {"new version without definition", 0, kCpu, "05.00", "",
         "IsDataUpgradeNeeded - missing EEPROM data structure definition for JV966JK-TD-G8-V7T9-JND and new CPU "
         "firmware 05.00",
         "Reading EEPROM data...\nReading...\nRead done OK  \n"},
        {"downgrade", jr, "04.00", "03.50", "",
         "CPU firmware update is not possible due to EEPROM data incompatibility!",
         "IsDataUpgradePossible - Downgrade of EEPROM data is not supported (JR574XX-D0-BSI-1 03.09 to 02.01)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::uint8_t> before = Eeprom(c.camera);
        emu.StartTrace();
        const Outcome o = Update(c.camera, c.current, c.next, [&](TestUpdater& u) {
            if (!c.newFwOption.empty()) {
                u.SetNewFirmwareVersion(c.newFwOption);
            }
        });
        EXPECT_EQ(o.error, c.error);
        EXPECT_TRUE(o.printed.ends_with(c.printedTail)) << o.printed;
        EXPECT_EQ(EepromWrites(), 0u);
        EXPECT_EQ(Eeprom(c.camera), before);
        EXPECT_TRUE(fs::is_empty(fs::current_path()));
    }
}

TEST_F(EepromDataUpdateTest, TheNewVersionIsKeptForTheRestOfTheRun)
{
    TestUpdater updater;
    updater.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
    Printed([&] { updater.Open(); });
    EXPECT_EQ(Capture([&] { updater.EEPROMDataUpdate(kCpu, "02.60"); }).error, "");
    EXPECT_EQ(updater.NewFwVersion(), "02.60");
    // Asked again with another version, the run refuses it.
    EXPECT_EQ(Capture([&] { updater.EEPROMDataUpdate(kCpu, "02.70"); }).error, "02.70");
    EXPECT_EQ(Capture([&] { updater.EEPROMDataUpdate(kCpu, ""); }).error, "");
}

TEST_F(EepromDataUpdateTest, AnEepromOfAnotherSizeIsNotTouched)
{
    emu.Hook(0, "fail param=ffs_file_size code=0");
    emu.StartTrace();
    const Outcome o = Update();
    EXPECT_EQ(o.error, "The camera reports 0 bytes of EEPROM data, expected 65536");
    EXPECT_EQ(emu.TraceWith("param=read_file_ffs").size(), 0u);
    EXPECT_EQ(EepromWrites(), 0u);
}

// Camera texts make the backup's name; they cannot send it elsewhere.
TEST_F(EepromDataUpdateTest, TheBackupNameStaysInTheWorkingDirectory)
{
    const unsigned odd = AddCamera(kJV966, kCpu, CalibratedAt21(), "../..\\x/..");
    ASSERT_EQ(Update(odd).error, "");
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(emu.Root() / "work")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "eeprom_backup_JV966JK-TD-G8-V7T9-JND_______x___.bin"), names.end())
        << ::testing::PrintToString(names);
}

TEST(EepromFileNames, PartsOfNamesAreMadeSafe)
{
    struct Case {
        std::string text;
        std::string part;
    };
    const Case cases[] = {
        {"JV966JK-TD-G8-V7T9-JND", "JV966JK-TD-G8-V7T9-JND"},
        {"02.50", "02.50"},
        {"a/b\\c:d", "a_b_c_d"},
        {"..", "__"},
        {"x...y", "x___y"},
        {".hidden.", "_hidden_"},
        {"sp ace\t", "sp_ace_"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(eeprom_files::SafeNamePart(c.text), c.part) << c.text;
    }
    EXPECT_EQ(eeprom_files::CheckedFileName(std::string(259, 'n')), std::string(259, 'n'));
    EXPECT_THROW(eeprom_files::CheckedFileName(std::string(260, 'n')), UpdaterError);
    EXPECT_THROW(eeprom_files::EepromBackupFile(kJV966, ""), UpdaterError);
}

}  // namespace
