#pragma once

#include <array>
#include <cstdint>

// The input files of the self-test suite, named as the suite opens them
// (relative to its working directory), and what the suite expects of the
// ones whose content it checks field by field. The test-data generator
// (tools/selftest_data) writes these files from the same names.
namespace selftest_files {

inline constexpr const char* kTestCam01 = "test_data\\TestCam01.bin";
inline constexpr const char* kJV966Modes = "test_data\\WJ0505-83486.bin";
inline constexpr const char* kJR574Modes = "test_data\\WJ4545G-44.bin";
inline constexpr const char* kJR825Modes = "test_data\\WJ2895-0.bin";
inline constexpr const char* kJR825V20 = "test_data\\JR825_V2_0.bin";
inline constexpr const char* kJV285 = "test_data\\JV285VT-TD.bin";
inline constexpr const char* kCherryPick = "test_data\\WJ0505_cherrypick.bin";
inline constexpr const char* kPatch1 = "test_data\\eeprom_patch_test1.csv";
inline constexpr const char* kPatch2 = "test_data\\eeprom_patch_test2.csv";
inline constexpr const char* kTestCam02V20 = "..\\data_updaters\\TestCam02_calib_data\\TestCam02_V2_0.bin";
inline constexpr const char* kCompatibilityXml = "../data_updaters/firmware_and_data_compatibility.xml";

inline constexpr std::array<const char*, 11> kAll = {
    kTestCam01,  kJV966Modes, kJR574Modes, kJR825Modes,   kJR825V20,         kJV285,
    kCherryPick, kPatch1,     kPatch2,     kTestCam02V20, kCompatibilityXml,
};

// The folder every output of the suite goes to.
inline constexpr const char* kOutputFolder = "test_data";

// The TestCam02 V2.0 table: page 2 holds this field at this index, and the
// upgrade to V2.1 must change its value.
inline constexpr uint32_t kUpgradedPage = 2;
inline constexpr uint32_t kUpgradedFieldIndex = 4;
inline constexpr const char* kUpgradedFieldName = "375 SAMP_READ_EN";

// Fields that the TestCam03 upgrade from V2.0 to V2.1 carries over from the
// camera's pages, and the values the cherry-pick image holds in them.
struct CherryPickValue {
    int page;
    const char* field;  // exactly as the field table names it, blanks included
    int value;          // engineering value
};

inline constexpr std::array<CherryPickValue, 7> kCherryPickValues = {{
    {0, " 51 VRAMP_SLOPE", 45},
    {0, "269 CNT_INT_T", -1000},
    {0, " 96 CNT_INT_B", -1000},
    {0, "134 I_DRIV_CLIP", 3},
    {1, "VDRL", 1000},
    {1, "318 SER_BIN_EN", 0},
    {1, "HDR_GAIN", 3000},
}};

}  // namespace selftest_files
