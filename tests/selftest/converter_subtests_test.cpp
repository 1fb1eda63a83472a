#include "converter_subtests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_io.h"
#include "suite_dir.h"
#include "updater_error.h"

namespace {

using ::testing::HasSubstr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using RandomData = selftest_test::SuiteDirTest;

TEST_F(RandomData, ASeedRepeatsItsRunAndIsPrintedFirst)
{
    const char* const kFiles[] = {
        "test_data/JV966JK-TD-G8-V7T9-JND_02_03_Rand_CSV_Update_original.csv",
        "test_data/JV966JK-TD-G8-V7T9-JND_02_03_Rand_CSV_Update_changed.csv",
        "test_data/JV966JK-TD-G8-V7T9-JND_02_03_Rand_CSV_Update_original_EEPROM.bin",
        "test_data/JV966JK-TD-G8-V7T9-JND_02_03_Rand_CSV_Update_changed_EEPROM.bin",
    };
    const auto run = [&](uint32_t seed) {
        CaptureStdout();
        TestCsvDataUpdateWithRandomData("JV966JK-TD-G8-V7T9-JND", "03.05", 2, 3, true, seed);
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(out, "Random data seed " + std::to_string(seed) + "\n");
        std::vector<std::vector<uint8_t>> files;
        for (const char* file : kFiles) {
            files.push_back(zvtest::ReadFile(file));
            EXPECT_FALSE(files.back().empty()) << file;
        }
        return files;
    };
    const auto first = run(4242);
    EXPECT_EQ(run(4242), first);
    // The values come from the seed: another one writes other data.
    EXPECT_NE(run(4243)[2], first[2]);
    // The table written is the whole camera-modes table of the model.
    EXPECT_EQ(first[2].size(), 0x4000u);
}

using PatchCheck = selftest_test::SuiteDirTest;

TEST_F(PatchCheck, ReadsEveryBitBackAndRefusesRowsItCannotRead)
{
    struct Case {
        const char* what;
        const char* rows;    // after the header line
        const char* error;   // part of the error text; empty: passes
        const char* output;  // part of the output
    };
    const Case cases[] = {
        {"a bit set", "0x5A00, 44 DIG_GAIN::3,1,\n", "",
         "Page 0 field  44 DIG_GAIN bit 3 was updated to 1 correctly\n"},
        {"a bit cleared, blank line skipped", "\n0x5A7F,_TM3::0,0\n", "",
         "Page 127 field _TM3 bit 0 was updated to 0 correctly\n"},
        {"the same bit given both values", "0x5A05,326 TRAIN_DATA::2,1\n0x5A05,326 TRAIN_DATA::2,0\n",
         "Page 5 field 326 TRAIN_DATA bit 2 was NOT updated correctly\n", ""},
        {"a field name instead of a field bit", "0x5A00,VRD,1.500,V\n",
         "patch.csv row 2: the name is not of the form <field>::<bit>", ""},
        {"two cells", "0x5A00, 44 DIG_GAIN::3\n", "line 2", ""},
        {"no page number", "0x5A, 44 DIG_GAIN::3,1\n", "line 2", ""},
        {"a page number that is no number", "0x5AZZ, 44 DIG_GAIN::3,1\n", "line 2", ""},
        {"a bit number that is no number", "0x5A00, 44 DIG_GAIN::b,1\n", "line 2", ""},
        {"a value that is no number", "0x5A00, 44 DIG_GAIN::3,one\n", "line 2", ""},
        {"nothing to check", "", "patch.csv holds no field bit to check", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zvtest::WriteText("patch.csv", std::string("Mode ID,Name,Value,Unit\n") + c.rows);
        const std::string file = (work() / "patch.csv").string();
        std::string error;
        CaptureStdout();
        try {
            CheckEepromPatchOperation(file.c_str(), "JV966JK-TD-B", "03.03");
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        const std::string out = GetCapturedStdout();
        if (*c.error == '\0') {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_THAT(error, HasSubstr(c.error));
        }
        EXPECT_THAT(out, HasSubstr(c.output));
    }

    try {
        CheckEepromPatchOperation((work() / "missing.csv").string().c_str(), "JV966JK-TD-G", "03.03");
        FAIL() << "a missing patch file passed";
    } catch (const UpdaterError& e) {
        EXPECT_THAT(e.what(), HasSubstr("missing.csv"));
    }
}

}  // namespace
