// The data upgrade engine: the needed and possible queries, the walk over the
// definitions, the backups, and what a failed upgrade leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "test_support.h"
#include "upgrade_support.h"

using calib_test::ErrorText;
using calib_test::ReadFile;
using upgrade_test::BuildImage;
using upgrade_test::DefaultPages;
using upgrade_test::Edit;
using upgrade_test::FieldOf;
using upgrade_test::Load;
using upgrade_test::UpgradeTest;
using upgrade_test::Values;
using upgrade_test::WholeImage;

namespace {

constexpr const char* kJR574 = "JR574-2K-D0-BSI-C";
constexpr const char* kJV285 = "JV285-MC";
constexpr const char* kJV966 = "JV966JK-TD-G8-V7T9-JND";

// Values the camera's own calibration gave some fields: they differ from
// every default of the versions the tests walk through (checked below), so
// each step must keep them.
const std::vector<Edit> kJR574Edits = {
    {0, "Sensor S/N", 0xBEEF},
    {7, "_TM3", 0x1234},
    {127, "Dead Col #1", 0x0ABC},
};
// Page 4's eleventh "No use" filler and page 63's second unnamed word share
// their names with other records of the page.
const std::vector<Edit> kJV285Edits = {
    {0, "VRS", 3333},
    {4, "No use", 1, 10},
    {63, "    ", 0x1234, 1},
};

void ExpectEditsDifferFromDefaults(const std::vector<Edit>& edits, const char* model, size_t firstRow, size_t lastRow)
{
    for (size_t row = firstRow; row <= lastRow; ++row) {
        SensorModePageList pages = DefaultPages(row, model);
        for (const Edit& edit : edits) {
            ASSERT_NE(FieldOf(*pages[edit.page], edit.field, edit.occurrence).value, edit.value)
                << "row " << row << " page " << edit.page << " " << edit.field;
        }
    }
}

TEST_F(UpgradeTest, JR574WalksFromV30ToV39WithABackupBeforeEachStepAndAfterTheLast)
{
    ExpectEditsDifferFromDefaults(kJR574Edits, kJR574, 16, 25);
    const std::vector<uint8_t> original = BuildImage(16, kJR574, kJR574Edits);
    CalibDataStructureConverter converter;
    // CPU 04.xx expects 3.9; the image says 3.0.
    Load(converter, kJR574, "04.00", "04.50", original);

    ASSERT_TRUE(converter.IsDataUpgradeNeeded());
    ASSERT_TRUE(converter.IsDataUpgradePossible());
    converter.UpgradeData();

    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
    converter.GetCalibrationDataStructureVersion(&structVersion);
    converter.GetCameraModeDefaultsVersion(&defaultsVersion);
    EXPECT_EQ(structVersion, 3);
    EXPECT_EQ(defaultsVersion, 9);
    EXPECT_FALSE(converter.IsDataUpgradeNeeded());

    // Steps of rows 17 to 25: the backups of 3.0 (before the first step) to
    // 3.9 (after the last); rows 14 and 15 take no part.
    std::vector<std::string> expected;
    for (int k = 0; k <= 9; ++k) {
        expected.push_back(BackupName(kJR574, 3, k));
    }
    ASSERT_EQ(Backups(), expected);

    // Fields still at their defaults follow every version's defaults and the
    // camera's own values survive every step, so the backup of version 3.k
    // is exactly the 3.k default image with the camera's values.
    std::vector<uint8_t> previous;
    for (int k = 0; k <= 9; ++k) {
        const std::vector<uint8_t> backup = ReadFile(BackupPath(expected[k]));
        ASSERT_EQ(backup.size(), 65536u);
        EXPECT_TRUE(backup == BuildImage(16 + k, kJR574, kJR574Edits)) << expected[k];
        // Each step changed some pages: consecutive versions' defaults differ.
        if (k > 0) {
            EXPECT_FALSE(std::equal(backup.begin(), backup.begin() + 0x4000, previous.begin())) << expected[k];
        }
        previous = backup;
    }
    EXPECT_TRUE(ReadFile(BackupPath(expected.front())) == original);
    const std::vector<uint8_t> last = ReadFile(BackupPath(expected.back()));
    EXPECT_EQ(last[0xFE00 + 116], 3);
    EXPECT_EQ(last[0xFE00 + 117], 9);
    EXPECT_TRUE(WholeImage(converter) == last);
}

TEST_F(UpgradeTest, JR574FromV20CrossesToTheNextDataStructure)
{
    // The step to 3.0 changes the field table: "_X42" to "_X45" become
    // "CT Phase shift", "_X47" gives way to four new words.
    const std::vector<Edit> edits = {{3, "Sensor S/N", 0xBEEF}};
    ExpectEditsDifferFromDefaults(edits, kJR574, 14, 25);
    CalibDataStructureConverter converter;
    Load(converter, kJR574, "03.50", "04.00", BuildImage(14, kJR574, edits));
    converter.UpgradeData();

    std::vector<std::string> expected = {BackupName(kJR574, 2, 0), BackupName(kJR574, 2, 1)};
    for (int k = 0; k <= 9; ++k) {
        expected.push_back(BackupName(kJR574, 3, k));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Backups(), expected);
    EXPECT_TRUE(WholeImage(converter) == BuildImage(25, kJR574, edits));
}

TEST_F(UpgradeTest, JV285FromV20ToV21RunsOneStepAndMatchesRecordsOfRepeatedNamesInOrder)
{
    ExpectEditsDifferFromDefaults(kJV285Edits, kJV285, 32, 33);
    const std::vector<uint8_t> original = BuildImage(32, kJV285, kJV285Edits);
    CalibDataStructureConverter converter;
    Load(converter, kJV285, "03.50", "03.50", original);
    converter.UpgradeData();

    const std::vector<std::string> expected = {BackupName(kJV285, 2, 0), BackupName(kJV285, 2, 1)};
    ASSERT_EQ(Backups(), expected);
    EXPECT_EQ(Backups().front(), "2024_03_05_07_08_09_JV285-MC_V02.00.bin");
    EXPECT_TRUE(ReadFile(BackupPath(expected[0])) == original);
    EXPECT_TRUE(ReadFile(BackupPath(expected[1])) == BuildImage(33, kJV285, kJV285Edits));
    SensorModePage& page4 = *converter.SensorModes()[4];
    EXPECT_EQ(FieldOf(page4, "No use", 10).value, 1);
    EXPECT_EQ(FieldOf(page4, "No use", 0).value, 0);
}

// ---- the queries and the upgrades they refuse ----------------------------------------------

struct RefusalCase {
    const char* name;
    const char* model;
    size_t imageRow;
    const char* cpu;
    const char* newCpu;
    std::optional<uint8_t> defaultsVersion;  // set after loading, as a caller may
    const char* neededError;                 // the query throws this; null: it answers true
    const char* printed;                     // the possible query's line
    const char* upgradeError;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpgradeRefusal : public UpgradeTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UpgradeRefusal, FailsWithATextBeforeAnyBackupAndKeepsTheData)
{
    const RefusalCase& c = GetParam();
    const std::vector<uint8_t> image = BuildImage(c.imageRow, c.model);
    CalibDataStructureConverter converter;
    converter.SetCameraModel(c.model);
    try {
        converter.SetCpuFirmwareVersion(c.cpu);
    } catch (const UpdaterError&) {
        // a CPU version no definition covers stays stored; the image gives the versions
    }
    converter.SetNewCpuFirmwareVersion(c.newCpu);
    converter.SetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    if (c.defaultsVersion) {
        converter.SetModeDefaultsVersion(*c.defaultsVersion);
    }
    const std::vector<int32_t> page0 = Values(*converter.SensorModes()[0]);

    if (c.neededError != nullptr) {
        EXPECT_EQ(ErrorText([&] { (void)converter.IsDataUpgradeNeeded(); }), c.neededError);
    } else {
        EXPECT_TRUE(converter.IsDataUpgradeNeeded());
    }
    testing::internal::CaptureStdout();
    const bool possible = converter.IsDataUpgradePossible();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_FALSE(possible);

    testing::internal::CaptureStdout();
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }), c.upgradeError);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(std::filesystem::exists(kCdsBackupDirectory));
    EXPECT_EQ(Values(*converter.SensorModes()[0]), page0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UpgradeRefusal,
    ::testing::Values(
        RefusalCase{"no definition for the new CPU firmware",
                    kJR574,
                    16,
                    "04.00",
                    "03.05",
                    {},
                    "IsDataUpgradeNeeded - missing EEPROM data structure definition for JR574-2K-D0-BSI-C and new "
                    "CPU firmware 03.05",
                    "IsDataUpgradePossible - missing EEPROM data structure definition for JR574-2K-D0-BSI-C and new "
                    "CPU firmware 03.05",
                    "IsDataUpgradeNeeded - missing EEPROM data structure definition for JR574-2K-D0-BSI-C and new "
                    "CPU firmware 03.05"},
        RefusalCase{"no definition for the current CPU firmware",
                    kJR574,
                    15,
                    "03.05",
                    "04.00",
                    {},
                    nullptr,
                    "IsDataUpgradePossible - missing EEPROM data structure definition for JR574-2K-D0-BSI-C and "
                    "current CPU firmware 03.05",
                    "UpgradeData - Upgrade Not possible"},
        RefusalCase{"downgrade",
                    kJR574,
                    25,
                    "04.00",
                    "03.50",
                    {},
                    nullptr,
                    "IsDataUpgradePossible - Downgrade of EEPROM data is not supported (JR574-2K-D0-BSI-C 03.09 to "
                    "02.01)",
                    "UpgradeData - Downgrade of EEPROM data is not supported (JR574-2K-D0-BSI-C 03.09 to 02.01)"},
        // 2.0 lies below the model's first definition, whose row has no step.
        RefusalCase{"definition without an upgrade step on the path", kJV966, 8, "02.50", "02.50", 0, nullptr,
                    "IsDataUpgradePossible - No upgrade step to EEPROM data version (JV966JK-TD-G8-V7T9-JND 02.01)",
                    "UpgradeData - No upgrade step to EEPROM data version (JV966JK-TD-G8-V7T9-JND 02.01)"},
        // 1.9 has no definition, so no step starts there.
        RefusalCase{"data of a version no step starts at", kJR574, 15, "03.50", "04.00", 9, nullptr,
                    "IsDataUpgradePossible - Upgrade step does not start at the EEPROM data version (JR574-2K-D0-BSI-C "
                    "step 02.01 to 03.00, data 02.09)",
                    "UpgradeData - Upgrade step does not start at the EEPROM data version (JR574-2K-D0-BSI-C step "
                    "02.01 to 03.00, data 02.09)"}));

TEST_F(UpgradeTest, AlreadyAtTheTargetIsNotNeededAndWritesNoBackup)
{
    CalibDataStructureConverter converter;
    Load(converter, kJR574, "04.00", "04.99", BuildImage(25, kJR574));
    EXPECT_FALSE(converter.IsDataUpgradeNeeded());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(converter.IsDataUpgradePossible());
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }), "UpgradeData - Upgrade Not needed");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(std::filesystem::exists(kCdsBackupDirectory));
}

TEST_F(UpgradeTest, UpgradeChecksItsInputsFirst)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(kJR574);
    converter.SetCpuFirmwareVersion("04.00");
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }), "UpgradeData - prepared firmware version is not defined");
    EXPECT_EQ(ErrorText([&] { (void)converter.IsDataUpgradeNeeded(); }),
              "IsDataUpgradeNeeded - prepared firmware version is not defined");
    converter.SetNewCpuFirmwareVersion("04.00");
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }), "UpgradeData - partition was not allocated");
    converter.AllocateCacheIfNeeded();
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }), "UpgradeData - camera mode data was not loaded");
}

// ---- failures part-way ----------------------------------------------------------------------

TEST_F(UpgradeTest, AStepThatFailsHalfwayLeavesImagePagesAndVersionsAsBefore)
{
    const std::vector<uint8_t> original = BuildImage(16, kJR574, kJR574Edits);
    CalibDataStructureConverter converter;
    Load(converter, kJR574, "04.00", "04.50", original);
    const std::vector<int32_t> page7 = Values(*converter.SensorModes()[7]);
    // Five steps succeed; the backup after the fifth cannot be written.
    std::filesystem::create_directories(BackupPath(BackupName(kJR574, 3, 5) + ".part") + "/blocked");

    EXPECT_EQ(
        ErrorText([&] { converter.UpgradeData(); }),
        "WriteRawData - Failed to open file (EEPROM_Backup//2024_03_05_07_08_09_JR574-2K-D0-BSI-C_V03.05.bin.part)");

    EXPECT_TRUE(WholeImage(converter) == original);
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0xFF;
    converter.GetCalibrationDataStructureVersion(&structVersion);
    converter.GetCameraModeDefaultsVersion(&defaultsVersion);
    EXPECT_EQ(structVersion, 3);
    EXPECT_EQ(defaultsVersion, 0);
    ASSERT_EQ(converter.SensorModes().size(), 128u);
    EXPECT_EQ(Values(*converter.SensorModes()[7]), page7);
    // The backups written before the failure stay: the first holds the data
    // the converter still holds.
    EXPECT_TRUE(ReadFile(BackupPath(BackupName(kJR574, 3, 0))) == original);
    EXPECT_TRUE(std::filesystem::exists(BackupPath(BackupName(kJR574, 3, 4))));
    EXPECT_FALSE(std::filesystem::exists(BackupPath(BackupName(kJR574, 3, 5))));
}

TEST_F(UpgradeTest, APageThatFailsItsChecksumFailsTheStep)
{
    std::vector<uint8_t> original = BuildImage(32, kJV285);
    original[5 * 512 + 7] ^= 0x10;  // page 5 no longer passes its check
    CalibDataStructureConverter converter;
    {
        calib_test::DebugCapture quiet;
        Load(converter, kJV285, "03.50", "03.50", original);
    }
    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }),
              "DoPageUpdate - Camera mode page failed its checksum (page 5)");
    EXPECT_TRUE(WholeImage(converter) == original);
    EXPECT_EQ(Backups(), std::vector<std::string>{BackupName(kJV285, 2, 0)});
}

TEST_F(UpgradeTest, ABackupThatCannotBeWrittenCompletelyStopsBeforeAnythingChanges)
{
    const std::vector<uint8_t> original = BuildImage(32, kJV285);
    CalibDataStructureConverter converter;
    Load(converter, kJV285, "03.50", "03.50", original);
    std::filesystem::create_directory(kCdsBackupDirectory);
    // Every write to this file fails: the device is full.
    std::filesystem::create_symlink("/dev/full", BackupPath(BackupName(kJV285, 2, 0) + ".part"));

    EXPECT_EQ(ErrorText([&] { converter.UpgradeData(); }),
              "WriteRawData - Failed to write file (EEPROM_Backup//" + BackupName(kJV285, 2, 0) + ".part)");
    EXPECT_TRUE(Backups().empty());
    EXPECT_TRUE(WholeImage(converter) == original);
    EXPECT_TRUE(converter.IsDataUpgradeNeeded());
}

// ---- backup files ----------------------------------------------------------------------------

// A converter whose image and settings let it write a backup.
void PrepareForBackup(CalibDataStructureConverter& converter, const char* model)
{
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion("03.50");
    converter.SetNewCpuFirmwareVersion("03.50");
    converter.AllocateCacheIfNeeded();
}

TEST_F(UpgradeTest, BackupNamesStayInsideTheBackupDirectory)
{
    CalibDataStructureConverter converter;
    PrepareForBackup(converter, "JV285/../../escape\\x");
    converter.BackupUpgradeStep(2, 1);

    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().lexically_normal().generic_string());
        }
    }
    EXPECT_EQ(files, std::vector<std::string>{"EEPROM_Backup/2024_03_05_07_08_09_JV285_.._.._escape_x_V02.01.bin"});
    EXPECT_EQ(std::filesystem::file_size(files[0]), 65536u);
}

TEST_F(UpgradeTest, ALongModelNameIsShortenedAndTheVersionsKept)
{
    const std::string model = "JV285" + std::string(254, 'A');
    CalibDataStructureConverter converter;
    PrepareForBackup(converter, model.c_str());
    converter.BackupUpgradeStep(2, 1);
    const std::vector<std::string> names = Backups();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(std::string("EEPROM_Backup//").size() + names[0].size(), 259u);
    EXPECT_EQ(names[0].rfind(std::string(upgrade_test::kStamp) + "_JV285AAA", 0), 0u);
    EXPECT_TRUE(names[0].ends_with("A_V02.01.bin")) << names[0];
}

TEST_F(UpgradeTest, ABackupDirectoryThatCannotBeMadeIsAnError)
{
    calib_test::WriteFile(kCdsBackupDirectory, {1, 2, 3});
    CalibDataStructureConverter converter;
    PrepareForBackup(converter, kJV285);
    EXPECT_EQ(ErrorText([&] { converter.BackupUpgradeStep(2, 1); }),
              "BackupUpgradeStep - Failed to create EERPOM backup directory (EEPROM_Backup)");
}

TEST_F(UpgradeTest, ABackupReplacesAnEarlierOneOfTheSameName)
{
    CalibDataStructureConverter converter;
    PrepareForBackup(converter, kJV285);
    std::filesystem::create_directory(kCdsBackupDirectory);
    calib_test::WriteFile(BackupPath(BackupName(kJV285, 2, 1)), {1, 2, 3});
    converter.BackupUpgradeStep(2, 1);
    EXPECT_EQ(Backups(), std::vector<std::string>{BackupName(kJV285, 2, 1)});
    EXPECT_EQ(std::filesystem::file_size(BackupPath(BackupName(kJV285, 2, 1))), 65536u);
}

}  // namespace
