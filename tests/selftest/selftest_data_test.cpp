#include "selftest_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "file_io.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::vector<uint8_t>> Contents(const fs::path& base)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), base).string()] = zvtest::ReadFile(entry.path());
        }
    }
    return files;
}

TEST(SelfTestData, TheSameFilesOfTheSuitesSizesEveryTime)
{
    zvtest::TempDir first;
    zvtest::TempDir second;
    const std::vector<fs::path> written = WriteSelfTestData(first.path() / "run" / "work");
    WriteSelfTestData(second.path() / "run" / "work");
    EXPECT_EQ(written.size(), 11u);

    const auto files = Contents(first.path());
    EXPECT_EQ(Contents(second.path()), files);

    const std::map<std::string, size_t> kSizes = {
        {"run/work/test_data/TestCam01.bin", 0x10000},
        {"run/work/test_data/WJ0505-83486.bin", 0x4000},
        {"run/work/test_data/WJ4545G-44.bin", 0x4000},
        {"run/work/test_data/WJ2895-0.bin", 0x4000},
        {"run/work/test_data/JR825_V2_0.bin", 0x10000},
        {"run/work/test_data/JV285VT-TD.bin", 0x10000},
        {"run/work/test_data/WJ0505_cherrypick.bin", 0x10000},
        {"run/data_updaters/TestCam02_calib_data/TestCam02_V2_0.bin", 0x4000},
    };
    for (const auto& [name, size] : kSizes) {
        SCOPED_TRACE(name);
        ASSERT_EQ(files.count(name), 1u);
        EXPECT_EQ(files.at(name).size(), size);
    }
    for (const char* text : {"run/work/test_data/eeprom_patch_test1.csv", "run/work/test_data/eeprom_patch_test2.csv",
                             "run/data_updaters/firmware_and_data_compatibility.xml"}) {
        SCOPED_TRACE(text);
        ASSERT_EQ(files.count(text), 1u);
        EXPECT_FALSE(files.at(text).empty());
    }
    EXPECT_EQ(files.size(), 11u);
}

TEST(SelfTestData, WholeImagesCarryAPartitionTableWithTheirVersions)
{
    zvtest::TempDir dir;
    WriteSelfTestData(dir.path() / "run" / "work");
    struct Image {
        const char* name;
        uint8_t dataStructureVersion;
        uint8_t modeDefaultsVersion;
    };
    const Image kImages[] = {
        {"TestCam01.bin", 1, 0},
        {"JR825_V2_0.bin", 2, 0},
        {"JV285VT-TD.bin", 1, 1},
        {"WJ0505_cherrypick.bin", 2, 0},
    };
    constexpr size_t kTable = 0xFE00;
    for (const Image& image : kImages) {
        SCOPED_TRACE(image.name);
        const std::vector<uint8_t> bytes = zvtest::ReadFile(dir.path() / "run" / "work" / "test_data" / image.name);
        ASSERT_EQ(bytes.size(), 0x10000u);
        EXPECT_EQ(bytes[kTable], 0xCA);
        EXPECT_EQ(bytes[kTable + 1], 0x1B);
        EXPECT_EQ(bytes[kTable + 116], image.dataStructureVersion);
        EXPECT_EQ(bytes[kTable + 117], image.modeDefaultsVersion);
    }
}

}  // namespace
