#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "run_internal_tests.h"
#include "suite_dir.h"
#include "updater_error.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

const std::string kNotice = "Bootloader updating is disabled. Not needed.\n";

bool ProgramEvaluation(const BootloaderRequirements& requirements)
{
    return requirements.IsUpgradeOfBootloaderNeeded();
}

TEST(BootloaderAssociation, DisabledEvaluationPassesEveryCheck)
{
    CaptureStdout();
    TestBootloaderAssociation(ProgramEvaluation);
    EXPECT_EQ(GetCapturedStdout(), "1a. Bootloader association checking..." + kNotice +
                                       "Camera model error reported [OK]\n" + kNotice +
                                       "Invalid camera bootloader was reported [OK]\n" + kNotice + kNotice +
                                       "Bootloader upgrade was evaluated as not needed [OK]\n");
}

TEST(BootloaderAssociation, AnUpdateAskedForFailsItsCheck)
{
    struct Case {
        int trueOnCall;     // the one evaluation (1-4) that answers "needed"
        const char* error;  // empty: passes
        size_t okLines;     // checks reported as passed
    };
    const Case cases[] = {
        {1, "Camera model is not defined, but not detected", 0},
        {2, "Invalid camera bootloader should be reported, but not detected", 1},
        {3, "", 3},  // the first evaluation of the current bootloader is not looked at
        {4, "Bootloader upgrade was evaluated as needed, but it is not needed", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trueOnCall);
        int calls = 0;
        std::string error;
        CaptureStdout();
        try {
            TestBootloaderAssociation([&](const BootloaderRequirements&) { return ++calls == c.trueOnCall; });
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(error, c.error);
        size_t okLines = 0;
        for (size_t at = out.find("[OK]\n"); at != std::string::npos; at = out.find("[OK]\n", at + 1)) {
            ++okLines;
        }
        EXPECT_EQ(okLines, c.okLines) << out;
    }
}

TEST(BootloaderAssociation, ARefusalOfTheModelIsPrintedAndPasses)
{
    int calls = 0;
    CaptureStdout();
    TestBootloaderAssociation([&](const BootloaderRequirements& r) -> bool {
        if (++calls <= 2) {
            throw UpdaterError("Unknown camera model id " + std::to_string(r.CameraModelId()));
        }
        return false;
    });
    EXPECT_EQ(GetCapturedStdout(),
              "1a. Bootloader association checking...Unknown camera model id 0\nCamera model error reported [OK]\n"
              "Unknown camera model id 2354\nInvalid camera bootloader was reported [OK]\n"
              "Bootloader upgrade was evaluated as not needed [OK]\n");
}

using SuiteRun = selftest_test::SuiteDirTest;

TEST_F(SuiteRun, AChangedBootloaderByteEndsTheSuiteBeforeTheAssociationStep)
{
    for (uint32_t fromEnd : {1u, 16u}) {
        SCOPED_TRACE(fromEnd);
        std::array<FirmwareBinary, 8> table = firmware_binaries;
        std::vector<uint8_t> image(table[2].image, table[2].image + table[2].size);
        image[image.size() - fromEnd] ^= 1;
        table[2].image = image.data();

        CaptureStdout();
        try {
            RunInternalTests(table, ProgramEvaluation);
            FAIL() << "a changed image passed";
        } catch (const UpdaterError& e) {
            EXPECT_STREQ(e.what(),
                         "Firmware checksum error. Please update version and cheksum in structure firmware_binaries");
        }
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(
            out.rfind("1. Testing firmware consistency...\nChecksum of firmware type 3, version 0x30161 calculated", 0),
            0u)
            << out;
        EXPECT_EQ(out.find("1a."), std::string::npos) << out;
    }
}

TEST(CdsBootloaderTypeAssociation, TheJV966CameraIsIdentified)
{
    CaptureStdout();
    TestCdsBootloaderTypeAssociation();
    EXPECT_EQ(GetCapturedStdout(),
              "1b. CDS bootloader type association checking...Scientific camera identified [OK]\n");
}

}  // namespace
