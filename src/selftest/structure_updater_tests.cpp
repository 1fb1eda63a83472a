#include "structure_updater_tests.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "converter_subtests.h"
#include "selftest_files.h"
#include "selftest_helpers.h"
#include "text_format.h"
#include "updater_error.h"
#include "xml_browser.h"

namespace {

// Runs an operation that must fail: true when it completed instead.
template <typename Operation>
bool Completes(Operation&& operation)
{
    try {
        operation();
        return true;
    } catch (...) {
        return false;
    }
}

void Require(bool condition, const char* failure)
{
    if (!condition) {
        throw UpdaterError(failure);
    }
}

// A converter prepared for an upgrade of a file: image with a fresh
// partition table, model, both CPU versions and the data loaded.
void PrepareUpgrade(CalibDataStructureConverter& converter, const char* model, const char* currentCpu,
                    const char* newCpu, const char* inputFile)
{
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(currentCpu);
    converter.SetNewCpuFirmwareVersion(newCpu);
    converter.ReadRawData(SuitePath(inputFile).c_str(), CdsDataType::WholeImage);
}

void RequireUpgradeNeededAndPossible(CalibDataStructureConverter& converter)
{
    Require(converter.IsDataUpgradeNeeded(), "Upgrade should be needed");
    Require(converter.IsDataUpgradePossible(), "Upgrade should be possible");
}

uint8_t DataStructureVersion(CalibDataStructureConverter& converter)
{
    uint8_t version = 0;
    converter.GetCalibrationDataStructureVersion(&version);
    return version;
}

uint8_t ModeDefaultsVersion(CalibDataStructureConverter& converter)
{
    uint8_t version = 0;
    converter.GetCameraModeDefaultsVersion(&version);
    return version;
}

// The field count every page of the model's data at these versions reports.
uint32_t DefinitionFieldsCount(const char* model, uint8_t dataStructureVersion, uint8_t modeDefaultsVersion)
{
    CdsDefinition definition;
    if (!CalibDataStructureConverter::GetCurrentCalibInfo(&definition, model, dataStructureVersion,
                                                          modeDefaultsVersion)) {
        throw UpdaterError(FormatText("No calibration structure definition for %s %02d.%02d", model,
                                      dataStructureVersion, modeDefaultsVersion));
    }
    return definition.fields_count;
}

void RequireFieldsCount(CalibDataStructureConverter& converter, uint32_t expected)
{
    const uint32_t count = converter.GetFieldsCount();
    Require(count != 0, "No fields are available");
    Require(count == expected, "Unexpected fields count");
}

// a, b, c: operations that must be refused.
void TestRefusals()
{
    Require(!Completes([] {
        CalibDataStructureConverter converter;
        converter.GetEepromDataStructVersionForCurrentCpu();
    }),
            "Error was not detected when model is not defined");

    Require(!Completes([] {
        CalibDataStructureConverter converter;
        converter.SetCameraModel("NonExistingTestCam");
    }),
            "NonExistingTestCam is accepted by SetCameraModel, but should not, because it is not defined in XML");

    CalibDataStructureConverter converter;
    converter.SetCameraModel("TestCam01");
    bool anyCompleted = false;
    for (const char* cpu : {"", "00.00", "01.29", "01.41", "99.98"}) {
        anyCompleted |= Completes([&converter, cpu] {
            converter.SetCpuFirmwareVersion(cpu);
            converter.GetEepromDataStructVersionForCurrentCpu();
        });
    }
    Require(!anyCompleted,
            "There is no eeprom data-structure version in XML for cpu V00.00 or V01.29 or V01.41 or V99.98/TestCam. "
            "GetEepromDataStructVersionForCurrentCpu should throw, but does not");
}

// d: the data-structure version each CPU version expects.
void TestVersionsForCpu()
{
    struct Row {
        const char* model;
        const char* cpu;
        uint8_t expected;
    };
    constexpr Row kRows[] = {
        {"TestCam01", "01.30", 1}, {"TestCam01", "01.40", 1}, {"TestCam01", "01.51", 2},
        {"TestCam01", "02.00", 3}, {"TestCam02", "02.00", 2},
    };
    for (const Row& row : kRows) {
        CalibDataStructureConverter converter;
        converter.SetCameraModel(row.model);
        converter.SetCpuFirmwareVersion(row.cpu);
        if (converter.GetEepromDataStructVersionForCurrentCpu() != row.expected) {
            throw UpdaterError(FormatText("Expected version of eeprom-structure %s for cpu_ver %s is not %d", row.model,
                                          row.cpu, row.expected));
        }
        // The last definition of the CPU range decides the mode defaults.
        if (std::string(row.model) == "TestCam02" && converter.GetCameraModeDefaultsVersionForCurrentCpu() != 1) {
            throw UpdaterError(
                FormatText("Expected version of mode-defaults %s for cpu_ver %s is not %d", row.model, row.cpu, 1));
        }
    }
}

// e, f: raw image, fields and one upgrade of TestCam02, then the result read
// back.
void TestRawImageFieldsAndUpgrade()
{
    const std::string tempRaw = SuitePath("test_data\\CamTest_temp_raw.bin");
    {
        CalibDataStructureConverter converter;
        converter.SetCameraModel("TestCam02");
        converter.SetCpuFirmwareVersion("02.00");
        converter.SetNewCpuFirmwareVersion("02.00");
        const std::vector<uint8_t> erased(0x10000, 0xFF);
        converter.SetRawData(erased.data(), 0x10000, CdsDataType::WholeImage);
        converter.SetEepromDataStructVersion(2);
        converter.SetModeDefaultsVersion(0);
        Require(converter.IsDataUpgradeNeeded(), "Data upgrade of defaults should be needed - V02.00 -> V02.01");
        Require(converter.IsDataUpgradePossible(), "Data upgrade of defaults should be possible - V02.00 -> V02.01");

        converter.ReadRawData(SuitePath(selftest_files::kTestCam02V20).c_str(), CdsDataType::CameraModesTable);
        converter.CreatePartitionTable();
        converter.UnpackSensorModesData();

        const uint32_t fieldsV20 = DefinitionFieldsCount("TestCam02", 2, 0);
        const uint32_t pages = converter.GetPagesCount();
        Require(pages != 0, "No pages are detected in the calibdata");
        char name[260] = {};
        for (uint32_t page = 0; page < pages; ++page) {
            converter.SelectFieldsPage(page);
            RequireFieldsCount(converter, fieldsV20);
            for (uint32_t field = 0; field < fieldsV20; ++field) {
                converter.SelectFieldByIndex(field);
                converter.GetFieldName(name, sizeof name);
            }
        }

        converter.SelectFieldsPage(selftest_files::kUpgradedPage);
        converter.SelectFieldByName("377 LP_ADC_TIMING_EN");
        converter.SelectFieldByIndex(selftest_files::kUpgradedFieldIndex);
        converter.GetFieldName(name, sizeof name);
        Require(std::string(name) == selftest_files::kUpgradedFieldName, "Field 4 name is not expected");
        const int32_t valueBefore = converter.GetFieldValueInt32();
        converter.SetFieldValueInt32(valueBefore);

        converter.UpgradeData();
        converter.PackSensorModesData();
        Require(DataStructureVersion(converter) == 2, "Data structure is not V2 as expected");
        Require(ModeDefaultsVersion(converter) == 1, "Data defaults were not upgraded from V0 to V1");
        converter.WriteRawData(tempRaw.c_str(), CdsDataType::WholeImage);

        converter.UnpackSensorModesData();
        Require(converter.GetPagesCount() != 0, "No pages are detected in the calibdata");
        RequireFieldsCount(converter, DefinitionFieldsCount("TestCam02", 2, 1));
        converter.SelectFieldsPage(selftest_files::kUpgradedPage);
        converter.SelectFieldByIndex(selftest_files::kUpgradedFieldIndex);
        Require(converter.GetFieldValueInt32() != valueBefore,
                "value_page_2_field_4 is not updated, but update V2.0 to V2.1 should update this field");

        converter.SelectFieldByName("297 PGA_GAIN_T");
        Require(converter.GetFieldType() == CdsFieldType::EnumGain, "PGA Gain field type was not reported correctly");
        converter.SetFieldValueInt32(7000);
        Require(converter.GetFieldValueInt32() == 7000, "PGA Gain was not updated correctly");
    }

    CalibDataStructureConverter converter;
    converter.SetCameraModel("TestCam02");
    converter.SetCpuFirmwareVersion("02.00");
    converter.SetNewCpuFirmwareVersion("02.00");
    converter.ReadRawData(tempRaw.c_str(), CdsDataType::WholeImage);
    Require(DataStructureVersion(converter) == 2, "Data structure is not V2 as expected");
    Require(ModeDefaultsVersion(converter) == 1, "Data defaults were not upgraded from V0 to V1");
    Require(converter.IsPartitionTableValid(),
            "Data versions were read successfully from invalid partition. Partition must be valid to read "
            "data-structure-versions");
}

// g: the partition table of a fresh image.
void TestPartitionTable()
{
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.SetCameraModel("JV966JK-TD-G");
    converter.SetCpuFirmwareVersion("01.03");
    const std::vector<uint8_t> erased(0x100, 0xFF);
    converter.SetRawData(erased.data(), 0x100, CdsDataType::PartitionTable);
    Require(!converter.IsPartitionTableValid(), "Partition should not be valid if not created");
    converter.CreatePartitionTable();
    Require(converter.IsPartitionTableValid(), "Partition should be valid after creation");
    Require(DataStructureVersion(converter) == 0, "EEPROM version in partition is not valid");
    Require(ModeDefaultsVersion(converter) == 0, "Mode defaults version in partition is not valid");
    converter.SetCalibrationDataStructureVersion(9);
    Require(DataStructureVersion(converter) == 9, "EEPROM version in partition is not as expected - TEST_DATA_VER");
}

// i: the needed and possible answers between CPU versions.
void TestUpgradeFlags()
{
    std::printf("Testing upgrade needed/possible flags\n");
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.SetCameraModel("TestCam01");
    converter.SetCalibrationDataStructureVersion(2);
    converter.SetCpuFirmwareVersion("01.50");
    converter.SetNewCpuFirmwareVersion("01.80");
    Require(!converter.IsDataUpgradeNeeded(), "Upgrade should not be needed");
    converter.SetCpuFirmwareVersion("01.80");
    converter.SetNewCpuFirmwareVersion("02.00");
    RequireUpgradeNeededAndPossible(converter);
}

// j: three upgrades of TestCam01, each result read back.
void TestTestCam01Upgrades()
{
    struct Upgrade {
        const char* printed;
        const char* currentCpu;
        const char* newCpu;
        const char* input;
        const char* pageBefore;
        const char* pageAfter;
        const char* result;
        uint8_t resultVersion;
    };
    const Upgrade kUpgrades[] = {
        {"Testing upgrade between versions 1->2\n", "01.30", "01.50", selftest_files::kTestCam01,
         "test_data\\TestCam01Test1_page0_v1.csv", "test_data\\TestCam01Test1_page0_v2.csv",
         "test_data\\TestCam01_updated_1to2.bin", 2},
        {"Testing upgrade between versions 2->3\n", "01.50", "02.00", "test_data\\TestCam01_updated_1to2.bin",
         "test_data\\TestCam01Test2_page0_v2.csv", "test_data\\TestCam01Test2_page0_v3.csv",
         "test_data\\TestCam01_updated_2to3.bin", 3},
        {"Testing upgrade between versions 1->3\n", "01.30", "02.00", selftest_files::kTestCam01,
         "test_data\\TestCam01Test3_page0_v1.csv", "test_data\\TestCam01Test3_page0_v2.csv",
         "test_data\\TestCam01_updated_1to3.bin", 3},
    };
    for (const Upgrade& upgrade : kUpgrades) {
        std::printf("%s", upgrade.printed);
        const std::string result = SuitePath(upgrade.result);
        {
            CalibDataStructureConverter converter;
            PrepareUpgrade(converter, "TestCam01", upgrade.currentCpu, upgrade.newCpu, upgrade.input);
            RequireUpgradeNeededAndPossible(converter);
            converter.UnpackSensorModesData();
            converter.WriteUnpackedPageData(SuitePath(upgrade.pageBefore).c_str(), 0);
            converter.UpgradeData();
            converter.WriteUnpackedPageData(SuitePath(upgrade.pageAfter).c_str(), 0);
            converter.PackSensorModesData();
            converter.WriteRawData(result.c_str(), CdsDataType::WholeImage);
        }
        // The written image must carry the version it was upgraded to.
        CalibDataStructureConverter reread;
        reread.SetCameraModel("TestCam01");
        reread.SetCpuFirmwareVersion(upgrade.newCpu);
        reread.SetNewCpuFirmwareVersion(upgrade.newCpu);
        reread.ReadRawData(result.c_str(), CdsDataType::WholeImage);
        if (DataStructureVersion(reread) != upgrade.resultVersion) {
            throw UpdaterError(FormatText("Upgraded data %s is not of data structure V%d as expected", result.c_str(),
                                          upgrade.resultVersion));
        }
    }
}

// m: the random-data CSV round trip for every model and version of the
// compatibility list.
void TestCompatibilityList()
{
    std::printf("Testing calibration data update from .csv file with random data\n");
    XMLBrowser browser;
    browser.OpenXMLFile(selftest_files::kCompatibilityXml);
    browser.GoRoot();
    browser.GoChild();
    browser.GoChild();
    do {
        const char* modelText = browser.GetAttribute("test_model");
        Require(modelText != nullptr, "Invalid XML structure, missing test_model attribute definition");
        const std::string model = modelText;
        const bool strict = model == "JR574JK-TD-D88";
        if (model == "TestCam01" || model == "TestCam02" || model == "TestCam03") {
            continue;
        }
        browser.GoChild();
        do {
            const char* cpu = browser.GetAttribute("cpu_ver");
            Require(cpu != nullptr, "Invalid XML structure, missing cpu_ver attribute definition");
            const char* eepromVersion = browser.GetAttribute("eeprom_ver");
            Require(eepromVersion != nullptr, "Invalid XML structure, missing eeprom_ver attribute definition");
            const char* defaultsVersion = browser.GetAttribute("defaults_ver");
            Require(defaultsVersion != nullptr, "Invalid XML structure, missing defaults_ver attribute definition");
            const auto ee = static_cast<uint8_t>(std::atoi(eepromVersion));
            const auto dd = static_cast<uint8_t>(std::atoi(defaultsVersion));
            std::printf("Testing calibration data update from .csv on %s cpu %s ver %02d.%02d\n", model.c_str(), cpu,
                        ee, dd);
            // Copied: the sub-test must not depend on the document's texts.
            const std::string cpuVersion = cpu;
            TestCsvDataUpdateWithRandomData(model.c_str(), cpuVersion.c_str(), ee, dd, strict);
        } while (browser.GoNext());
        browser.GoParent();
    } while (browser.GoNext());
}

// n: the mode-defaults upgrade of TestCam02 on a camera-modes table.
void TestModeDefaultsUpgrade()
{
    std::printf("Testing mode defaults update operation\n");
    CalibDataStructureConverter converter;
    PrepareUpgrade(converter, "TestCam02", "02.00", "02.00", selftest_files::kJV966Modes);
    converter.SetModeDefaultsVersion(0);
    RequireUpgradeNeededAndPossible(converter);
    converter.UnpackSensorModesData();
    converter.WriteUnpackedPageData(SuitePath("test_data\\TestCam02Test_ModeDefaults_1to2_page0_def1.csv").c_str(), 0);
    converter.UpgradeData();
    converter.WriteUnpackedPageData(SuitePath("test_data\\TestCam02Test_ModeDefaults_1to2_page0_def2.csv").c_str(), 0);
    converter.PackSensorModesData();
    converter.WriteRawData(SuitePath("test_data\\TestCam02Test_ModeDefaults_1to2.bin").c_str(),
                           CdsDataType::WholeImage);
}

// q: the TestCam03 upgrade that carries named fields over.
void TestCherryPickUpgrade()
{
    std::printf("Testing cherry-pick patch operation\n");
    CalibDataStructureConverter converter;
    PrepareUpgrade(converter, "TestCam03", "01.80", "02.00", selftest_files::kCherryPick);
    converter.SetModeDefaultsVersion(0);
    RequireUpgradeNeededAndPossible(converter);
    converter.UnpackSensorModesData();
    converter.WriteUnpackedPageData(SuitePath("test_data\\TestCam03Test_CherryPickBefore.csv").c_str(), 0);
    converter.UpgradeData();
    converter.WriteUnpackedPageData(SuitePath("test_data\\TestCam03Test_CherryPickAfter").c_str(), 0);
    converter.UnpackSensorModesData();
    for (const selftest_files::CherryPickValue& pick : selftest_files::kCherryPickValues) {
        CheckCherryPickField(converter, pick.page, pick.field, pick.value);
    }
}

}  // namespace

void TestStructureUpdaters()
{
    std::printf("Testing basic CalibDataStructureConverter functionality\n");
    TestRefusals();
    TestVersionsForCpu();
    TestRawImageFieldsAndUpgrade();
    TestPartitionTable();

    std::printf("Testing pack/unpack operation\n");
    TestUnpackPack(selftest_files::kJV966Modes, "JV966JK-TD-Gx-V7T9-JND", "03.05");
    TestUnpackPack(selftest_files::kJR574Modes, "JR574JK-TD-D0-BSI", "03.15");
    TestUnpackPack(selftest_files::kJR825Modes, "JR825VK-TD-BM-TQ", "03.15");

    TestUpgradeFlags();
    TestTestCam01Upgrades();

    std::printf("Testing calibration data extraction for all models\n");
    TestDataExtraction(selftest_files::kTestCam01, "TestCam01", "01.30", 1, 0, 1);
    TestDataExtraction(selftest_files::kJV966Modes, "JV966JK-TD-G", "03.01", 2, 1, 4);
    TestDataExtraction(selftest_files::kJR574Modes, "JR574JK-TD-D0-BSI", "03.14", 2, 0, 4);
    TestDataExtraction(selftest_files::kJR825Modes, "JR825", "03.14", 2, 0, 4);
    TestDataExtraction(selftest_files::kJV285, "JV285VT-TD", "02.00", 1, 1, 1);

    std::printf("Testing calibration data update from .csv file for all models\n");
    TestCsvDataUpdate(selftest_files::kJV966Modes, "JV966JK-TD-G", "03.05", 2, 2);
    TestCsvDataUpdate(selftest_files::kJV966Modes, "JV966JK-TD-B", "03.05", 2, 2);
    TestCsvDataUpdate(selftest_files::kJR574Modes, "JR574JT-TD-D0-BSI", "03.15", 2, 0);
    TestCsvDataUpdate(selftest_files::kJR825V20, "JR825JT", "03.14", 2, 0);
    TestCsvDataUpdate(selftest_files::kJV285, "JV285VT-TD", "02.00", 1, 1);

    TestCompatibilityList();
    TestModeDefaultsUpgrade();

    std::printf("Testing EEPROM verification configurations that should fail\n");
    CheckVerificationFailureCPU("JV966JK-TD-GU-V7T9-JND", "01.00");
    CheckVerificationFailureCPU("JV966JK-TD-BU-V7T9-JND", "01.00");
    CheckVerificationFailureCPU("JR574JK-TD-D0-BSI", "03.10");
    CheckVerificationFailureCPU("JR825JK-TD", "03.13");
    CheckVerificationFailureEERPOMVer("JR574JK-TD-D0-BSI", "03.15", "01.99");
    CheckVerificationFailureEERPOMVer("JR825JK-TD", "03.14", "01.99");

    std::printf("Testing EEPROM patch operation on bit level\n");
    for (const char* patch : {selftest_files::kPatch1, selftest_files::kPatch2}) {
        for (const char* model : {"JV966JK-TD-G", "JV966JK-TD-B"}) {
            CheckEepromPatchOperation(patch, model, "03.03");
        }
    }

    TestCherryPickUpgrade();
}
