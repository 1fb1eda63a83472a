#include "selftest_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_dir.h"
#include "updater_error.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

TEST(CompareBuffers, EqualBuffersPrintNothing)
{
    const std::vector<uint8_t> bytes = {1, 2, 3};
    CaptureStdout();
    EXPECT_TRUE(CompareBuffers(bytes.data(), bytes.data(), bytes.size()));
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(CompareBuffers, EveryDifferingOffsetIsPrinted)
{
    std::vector<uint8_t> expected(70001, 0x11);
    std::vector<uint8_t> found = expected;
    found[3] = 0xA0;
    found[70000] = 0x0B;
    CaptureStdout();
    EXPECT_FALSE(CompareBuffers(found.data(), expected.data(), found.size()));
    EXPECT_EQ(GetCapturedStdout(), "ERROR, data buffer content does not match:\n"
                                   "Offset[000003]: found 0xA0 expected 0x11\n"
                                   "Offset[070000]: found 0x0B expected 0x11\n");
}

TEST(CompareFiles, SimilarOnlyWithTheSameBytesAndLength)
{
    zvtest::TempDir dir;
    const std::vector<uint8_t> sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    std::vector<uint8_t> longer = sixteen;
    longer.push_back(16);
    std::vector<uint8_t> lastDiffers = sixteen;
    lastDiffers.back() ^= 1;
    const std::string a = dir.Write("a.bin", sixteen);
    const std::string same = dir.Write("same.bin", sixteen);
    const std::string prefixOfLonger = dir.Write("longer.bin", longer);
    const std::string other = dir.Write("other.bin", lastDiffers);
    const std::string empty = dir.Write("empty.bin", std::vector<uint8_t>{});
    const std::string missing = dir.File("missing.bin");

    struct Case {
        const char* what;
        std::string second;
        FileComparison how;
        const char* error;  // null: similar
        bool sizesPrinted;
    };
    const Case cases[] = {
        {"same bytes", same, FileComparison::Whole, nullptr, false},
        {"a prefix of the second", prefixOfLonger, FileComparison::Whole, "Compared files are not similar", true},
        {"last common byte differs", other, FileComparison::Whole, "Compared files are not similar", false},
        {"second is empty", empty, FileComparison::Whole, "Compared files are not similar", true},
        {"second is missing", missing, FileComparison::Whole, "Failed to open files for comparison", false},
        {"table at the start of an image", prefixOfLonger, FileComparison::FirstIsPrefix, nullptr, false},
        {"table and a shorter image", empty, FileComparison::FirstIsPrefix, "Compared files are not similar", true},
        {"table and an image that differs", other, FileComparison::FirstIsPrefix, "Compared files are not similar",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CaptureStdout();
        std::string error;
        try {
            CompareFiles(a.c_str(), c.second.c_str(), c.how);
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(error, c.error != nullptr ? c.error : "");
        EXPECT_EQ(out.find("Compared files differ in size: " + a + " has 16 bytes") == 0, c.sizesPrinted) << out;
    }
    // The sizes of both files are shown.
    CaptureStdout();
    EXPECT_THROW(CompareFiles(prefixOfLonger.c_str(), a.c_str()), UpdaterError);
    EXPECT_EQ(GetCapturedStdout(),
              "Compared files differ in size: " + prefixOfLonger + " has 17 bytes, " + a + " has 16 bytes\n");
    // An empty first file compares nothing, whatever the second holds.
    CaptureStdout();
    EXPECT_THROW(CompareFiles(empty.c_str(), a.c_str(), FileComparison::FirstIsPrefix), UpdaterError);
    GetCapturedStdout();
}

TEST(ParseVersionString, SplitsAtTheFirstPoint)
{
    struct Case {
        const char* text;
        uint8_t major;
        uint8_t minor;
    };
    const Case cases[] = {
        {"01.99", 1, 99}, {"0199", 7, 7},      // no point: both stay
        {"3.", 3, 7},                          // nothing after the point: minor stays
        {"2.1.5", 2, 1},  {"259.300", 3, 44},  // kept to 8 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t major = 7;
        uint8_t minor = 7;
        ParseVersionString(c.text, &major, &minor);
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
    }
}

TEST(SaveBufferToFile, WritesTheBytesOrFailsToOpen)
{
    zvtest::TempDir dir;
    const std::vector<uint8_t> bytes = {0xCA, 0x1B, 0x00, 0xFF};
    const std::string file = dir.File("saved.bin");
    dir.Write("saved.bin", std::vector<uint8_t>(100, 1));  // replaced, not patched
    SaveBufferToFile(file.c_str(), bytes.data(), bytes.size());
    EXPECT_EQ(zvtest::ReadFile(file), bytes);

    try {
        SaveBufferToFile(dir.File("no/such/folder.bin").c_str(), bytes.data(), bytes.size());
        FAIL() << "saved into a missing folder";
    } catch (const UpdaterError& e) {
        EXPECT_STREQ(e.what(), "Failed to open files for writing");
    }
}

}  // namespace
