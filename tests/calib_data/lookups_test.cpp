#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "calib_data_structure_converter.h"
#include "cds_version.h"
#include "test_support.h"

using calib_test::DebugCapture;
using calib_test::ErrorText;

namespace {

struct VersionCase {
    const char* text;
    int major;
    int minor;
};

void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << '"' << (c.text != nullptr ? c.text : "(null)") << '"';
}

class CdsVersionParse : public ::testing::TestWithParam<VersionCase> {};

TEST_P(CdsVersionParse, ReadsTwoDecimalNumbers)
{
    const CdsVersion v(GetParam().text);
    EXPECT_EQ(v.major, GetParam().major);
    EXPECT_EQ(v.minor, GetParam().minor);
}

INSTANTIATE_TEST_SUITE_P(Texts, CdsVersionParse,
                         ::testing::Values(VersionCase{"01.30", 1, 30}, VersionCase{"1", 1, 0}, VersionCase{"", 0, 0},
                                           VersionCase{nullptr, 0, 0}, VersionCase{"3.9", 3, 9},
                                           VersionCase{" 2. 5", 2, 5}, VersionCase{"-1.2", -1, 2},
                                           VersionCase{"abc", 0, 0}, VersionCase{"4,5", 4, 0},
                                           VersionCase{"99999999999.1", 2147483647, 1}));

TEST(CdsVersionCompare, MajorFirstThenMinorBothStrict)
{
    EXPECT_TRUE(CdsVersion("3.9") < CdsVersion("03.11"));
    EXPECT_TRUE(CdsVersion("1.3") < CdsVersion("01.30"));
    EXPECT_TRUE(CdsVersion("04.00") > CdsVersion("03.99"));
    EXPECT_FALSE(CdsVersion("02.00") < CdsVersion("2.0"));
    EXPECT_FALSE(CdsVersion("02.00") > CdsVersion("2.0"));
}

struct RangeCase {
    const char* version;
    const char* from;
    const char* to;
    bool inRange;
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << c.version << " in " << c.from << ".." << c.to;
}

class VersionRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(VersionRange, BothBoundsInclusive)
{
    const RangeCase& c = GetParam();
    EXPECT_EQ(CalibDataStructureConverter::IsVersionInRange(c.version, c.from, c.to), c.inRange)
        << c.version << " in " << c.from << ".." << c.to;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionRange,
    ::testing::Values(RangeCase{"02.00", "02.00", "02.00", true}, RangeCase{"3.9", "03.11", "03.99", false},
                      RangeCase{"03.11", "03.11", "03.99", true}, RangeCase{"03.99", "03.11", "03.99", true},
                      RangeCase{"04.00", "03.11", "03.99", false}, RangeCase{"1.3", "01.30", "01.40", false},
                      RangeCase{"unreadable", "01.02", "03.99", false}));

TEST(VersionRange, MissingTextsAreRefused)
{
    EXPECT_EQ(ErrorText([] { CalibDataStructureConverter::IsVersionInRange(nullptr, "1.0", "2.0"); }),
              "IsVersionInRange ERROR - Invalid current version string");
    EXPECT_EQ(ErrorText([] { CalibDataStructureConverter::IsVersionInRange("1.5", nullptr, "2.0"); }),
              "IsVersionInRange ERROR - ThrowCDSError invalid version from string");
    EXPECT_EQ(ErrorText([] { CalibDataStructureConverter::IsVersionInRange("1.5", "1.0", nullptr); }),
              "IsVersionInRange ERROR - Invalid version to string");
}

struct CpuCase {
    const char* model;
    const char* cpu;
    bool found;
    int structVersion;
    int defaultsVersion;
};

void PrintTo(const CpuCase& c, std::ostream* os)
{
    *os << c.model << " CPU " << c.cpu;
}

class FindDataVersions : public ::testing::TestWithParam<CpuCase> {};

TEST_P(FindDataVersions, LastRowOfTheCpuRangeWins)
{
    const CpuCase& c = GetParam();
    CalibDataStructureConverter converter;
    converter.SetCameraModel(c.model);
    uint8_t s = 77;
    uint8_t d = 77;
    EXPECT_EQ(converter.FindDataVersionsForCpu(c.cpu, &s, &d), c.found);
    EXPECT_EQ(s, c.structVersion);
    EXPECT_EQ(d, c.defaultsVersion);
    EXPECT_EQ(converter.IsCpuFirmwareVersionSupported(c.cpu), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Models, FindDataVersions,
    ::testing::Values(
        CpuCase{"JV966JK-TD-G8-V7T9-JND", "02.50", true, 2, 3}, CpuCase{"JV966JK-TD-B8-V7T9-JND", "01.02", true, 2, 3},
        CpuCase{"JV285VT-TD", "02.50", true, 1, 1}, CpuCase{"JV285VT-TD", "03.50", true, 2, 1},
        CpuCase{"JV285VT-TD", "06.10", true, 2, 1}, CpuCase{"JV285VT-TD", "04.00", false, 77, 77},
        CpuCase{"JR574JK-TD-D0-BSI", "04.00", true, 3, 9}, CpuCase{"JR574JK-TD-D0-BSI", "03.11", true, 2, 1},
        CpuCase{"JR574JK-TD-D0-BSI", "03.99", true, 2, 1}, CpuCase{"JR574JK-TD-D0-BSI", "03.9", false, 77, 77},
        CpuCase{"JR574JK-TD-D88-BSI", "05.10", true, 2, 1}, CpuCase{"JR825VK-TD-BM-TQ", "03.15", true, 2, 1},
        CpuCase{"JR825", "04.00", true, 3, 0}, CpuCase{"TestCam01", "01.30", true, 1, 0},
        CpuCase{"TestCam01", "01.85", true, 2, 0}, CpuCase{"TestCam01", "02.00", true, 3, 0},
        CpuCase{"TestCam01", "01.41", false, 77, 77}, CpuCase{"TestCam02", "02.00", true, 2, 1}));

TEST(FindDataVersions, NoModelMatchesNothing)
{
    CalibDataStructureConverter converter;
    uint8_t s = 5;
    uint8_t d = 6;
    EXPECT_FALSE(converter.FindDataVersionsForCpu("02.00", &s, &d));
    EXPECT_EQ(s, 5);
    EXPECT_EQ(d, 6);
    EXPECT_EQ(ErrorText([&] { converter.IsCpuFirmwareVersionSupported("02.00"); }),
              "IsCpuFirmwareVersionSupported - Model name is not defined");
}

TEST(ModelNames, PatternsAreAnchoredAtTheStart)
{
    EXPECT_TRUE(CalibDataStructureConverter::IsCameraModelKnown("TestCam02"));
    EXPECT_TRUE(CalibDataStructureConverter::IsCameraModelSupported("JV285VT-TD"));
    EXPECT_TRUE(CalibDataStructureConverter::IsCameraModelKnown("JR574JK-TD-D88-BSI"));
    EXPECT_FALSE(CalibDataStructureConverter::IsCameraModelKnown("XJV285"));
    EXPECT_FALSE(CalibDataStructureConverter::IsCameraModelKnown(""));
    EXPECT_FALSE(CalibDataStructureConverter::IsCameraModelKnown(nullptr));
    // D88 patterns need the text D88-BSI.
    EXPECT_FALSE(CalibDataStructureConverter::IsCameraModelKnown("JR574JK-TD-D88"));

    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.SetCameraModel("XJV285"); }), "SetCameraModel - Unknown camera model (XJV285)");
    EXPECT_EQ(ErrorText([&] { converter.SetCameraModel(nullptr); }), "SetCameraModel - Model name is null");
}

TEST(ModelNames, TextsLongerThanTheFieldsAreRefused)
{
    CalibDataStructureConverter converter;
    const std::string fits = "JV285" + std::string(254, 'X');
    converter.SetCameraModel(fits.c_str());
    const std::string tooLong = fits + "X";
    EXPECT_EQ(ErrorText([&] { converter.SetCameraModel(tooLong.c_str()); }),
              "SetCameraModel - Model name is too long (260 characters, at most 259)");
    const std::string longVersion = "03.5" + std::string(256, '0');
    EXPECT_EQ(ErrorText([&] { converter.SetCpuFirmwareVersion(longVersion.c_str()); }),
              "SetCpuFirmwareVersion - Version text is too long (260 characters, at most 259)");
    EXPECT_EQ(ErrorText([&] { converter.SetNewCpuFirmwareVersion(longVersion.c_str()); }),
              "SetNewCpuFirmwareVersion - Version text is too long (260 characters, at most 259)");
    EXPECT_EQ(ErrorText([&] { converter.SetCpuFirmwareVersion(nullptr); }), "SetCpuFirmwareVersion - Version is null");
}

TEST(CurrentCalibInfo, AnswersTheLastMatchingRow)
{
    CdsDefinition def;
    ASSERT_TRUE(CalibDataStructureConverter::GetCurrentCalibInfo(&def, "TestCam01", 2, 0));
    // Row 2: the CPU 01.80-01.90 copy without a default image but with the CSV.
    EXPECT_STREQ(def.cpu_fw_min, "01.80");
    EXPECT_EQ(def.mode_defaults_image, nullptr);
    EXPECT_NE(def.mode_defaults_csv, nullptr);

    ASSERT_TRUE(CalibDataStructureConverter::GetCurrentCalibInfo(&def, "JV285VT-TD", 2, 1));
    EXPECT_STREQ(def.cpu_fw_min, "06.00");
}

TEST(CurrentCalibInfo, MissIsReportedNotThrown)
{
    DebugCapture debug;
    CdsDefinition def;
    def.pages_count = 42;
    EXPECT_FALSE(CalibDataStructureConverter::GetCurrentCalibInfo(&def, "TestCam01", 1, 5));
    EXPECT_EQ(def.pages_count, 42u);
    EXPECT_EQ(CdsLastErrorText(), "GetCurrentCalibInfo - CDS definition not available (TestCam01 01.05)");
    EXPECT_EQ(debug.texts, std::vector<std::string>{CdsLastErrorText()});

    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetCurrentCalibInfo(&def, "", 1, 0); }),
              "GetCurrentCalibInfo - Model name is not defined");
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetCurrentCalibInfo(nullptr, "TestCam01", 1, 0); }),
              "GetCurrentCalibInfo - Invalid input parameters");
}

TEST(VersionsForCurrentCpu, DeriveFromTheModelAndCpu)
{
    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.GetEepromDataStructVersionForCurrentCpu(); }),
              "GetEepromDataStructVersionForCurrentCpu - Model name is not defined");
    converter.SetCameraModel("TestCam02");
    EXPECT_EQ(ErrorText([&] { converter.GetEepromDataStructVersionForCurrentCpu(); }),
              "GetEepromDataStructVersionForCurrentCpu - Current firmware version is not defined");
    EXPECT_EQ(ErrorText([&] { converter.GetCameraModeDefaultsVersionForCurrentCpu(); }),
              "GetCameraModeDefaultsVersionForCurrentCpu - Current firmware version is not defined");
    converter.SetCpuFirmwareVersion("02.00");
    EXPECT_EQ(converter.GetEepromDataStructVersionForCurrentCpu(), 2);
    EXPECT_EQ(converter.GetCameraModeDefaultsVersionForCurrentCpu(), 1);

    CalibDataStructureConverter jr574;
    jr574.SetCameraModel("JR574JK-TD-D0-BSI");
    EXPECT_EQ(ErrorText([&] { jr574.SetCpuFirmwareVersion("03.9"); }),
              "GetEepromDataStructVersionForCurrentCpu - Missing EEPROM data structure definition "
              "(JR574JK-TD-D0-BSI and current CPU firmware 03.9)");
}

TEST(VersionsForCurrentCpu, FailedVersionKeepsTheVersionBytes)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel("TestCam01");
    converter.SetCpuFirmwareVersion("01.30");  // 1 / 0
    converter.SetNewCpuFirmwareVersion("01.30");
    EXPECT_EQ(ErrorText([&] { converter.SetCpuFirmwareVersion("01.41"); }),
              "GetEepromDataStructVersionForCurrentCpu - Missing EEPROM data structure definition "
              "(TestCam01 and current CPU firmware 01.41)");
    // The text is stored, the bytes still name version 1.0 (165 records of 128 bytes).
    EXPECT_EQ(converter.GetPackedPageSize(), 128u);
    EXPECT_FALSE(converter.IsCpuFirmwareVersionSupported("01.41"));
}

TEST(VersionsForCurrentCpu, StructureAndDefaultsPairsOfTheCpuRange)
{
    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.IsEEPROMStructModeDefaultsVersionSupported(2, 0); }),
              "IsEEPROMStructModeDefaultsVersionSupported - Model name is not defined");
    converter.SetCameraModel("JR574JK-TD-D0-BSI");
    EXPECT_EQ(ErrorText([&] { converter.IsEEPROMStructModeDefaultsVersionSupported(2, 0); }),
              "IsEEPROMStructModeDefaultsVersionSupported - Current firmware version is not defined");
    converter.SetCpuFirmwareVersion("03.15");
    EXPECT_TRUE(converter.IsEEPROMStructModeDefaultsVersionSupported(2, 0));
    EXPECT_TRUE(converter.IsEEPROMStructModeDefaultsVersionSupported(2, 1));
    EXPECT_FALSE(converter.IsEEPROMStructModeDefaultsVersionSupported(1, 99));
    EXPECT_FALSE(converter.IsEEPROMStructModeDefaultsVersionSupported(3, 0));
}

struct AssociationCase {
    const char* model;
    uint32_t fwType;
    uint32_t zvFwType;
    uint32_t devUnitSelector;
    const char* ffsName;
};

void PrintTo(const AssociationCase& c, std::ostream* os)
{
    *os << c.model;
}

class Associations : public ::testing::TestWithParam<AssociationCase> {};

TEST_P(Associations, FirstMatchingRowAnswers)
{
    const AssociationCase& c = GetParam();
    uint32_t value = 0;
    CalibDataStructureConverter::GetAssociatedFwType(c.model, &value);
    EXPECT_EQ(value, c.fwType);
    CalibDataStructureConverter::GetAssocZvFwType(c.model, &value);
    EXPECT_EQ(value, c.zvFwType);
    CalibDataStructureConverter::GetAccocDevUnitSelector(c.model, &value);
    EXPECT_EQ(value, c.devUnitSelector);
    char name[260] = {};
    CalibDataStructureConverter::GetAssocFfsFileName(c.model, name, sizeof(name));
    EXPECT_STREQ(name, c.ffsName);
}

INSTANTIATE_TEST_SUITE_P(Models, Associations,
                         ::testing::Values(AssociationCase{"TestCam01", 1, 2, 6, "File_FW_CPU1"},
                                           AssociationCase{"JV966JK-TD-G", 1, 2, 6, "File_FW_CPU1"},
                                           AssociationCase{"JR574JK-TD-D0-BSI", 2, 3, 7, "File_FW_CPU2"},
                                           AssociationCase{"JR574JT-TD-D88-BSI", 2, 3, 7, "File_FW_CPU2"},
                                           AssociationCase{"JR825JT", 2, 3, 7, "File_FW_CPU2"},
                                           AssociationCase{"JV285VT-TD", 1, 2, 6, "File_FW_CPU1"}));

TEST(Associations, UnknownModelsAndBadArgumentsAreRefused)
{
    uint32_t value = 0;
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetAssociatedFwType("XJV285", &value); }),
              "GetAssociatedFwType - Value is not defined.");
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetAssocZvFwType(nullptr, &value); }),
              "GetAssocZvFwType - Input value is not valid.");
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetAccocDevUnitSelector("TestCam01", nullptr); }),
              "GetAccocDevUnitSelector - Input value is not valid.");
    char name[16];
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetAssocFfsFileName("TestCam01", name, 0); }),
              "GetAssocFfsFileName - Input value is not valid.");
}

TEST(Associations, FileNameNeedsRoomForItsTerminator)
{
    char name[16];
    std::memset(name, '#', sizeof(name));
    // "File_FW_CPU1" has 12 characters: 12 bytes leave no room for the zero.
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::GetAssocFfsFileName("TestCam01", name, 12); }),
              "GetAssocFfsFileName - Input buffer is too small.");
    EXPECT_EQ(name[0], '#');
    CalibDataStructureConverter::GetAssocFfsFileName("TestCam01", name, 13);
    EXPECT_STREQ(name, "File_FW_CPU1");
}

}  // namespace
