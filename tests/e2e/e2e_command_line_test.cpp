#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "file_io.h"
#include "selftest_run.h"
#include "temp_dir.h"

using zvtest::kBanner;

namespace {

const std::string kUsage =
    "usage: zvcamupdater <prog|verify|info|reset|dump|extract|insert|upgrade|diff|file_diff> "
    "<CPU1|CPU2|CPU3|CPU4|CPU5|FPGA1|FPGA2|MCU1|XMLMAN|MMDESC|FLAG_U3V|FLAG_U2F|REST_INFO> <filename|flag_value> "
    "[--campath <path>] [--camsn <serial>] [--camid <id>] [--allcameras] [--plain_file] [--zvapi] [--hexfilename] "
    "[--snsnefilename] [--key] [--u3v_cam] [--cpu4_start] [--cpu4_stop] [--file_size] [--ccd][--hexfileformat]\n";

// The error line of a front-end error: its text already ends in a line feed.
std::string FrontEndError(const std::string& text)
{
    return "\n******** Error: ERROR: " + text + "\n\n";
}

std::string RaisedError(const std::string& text)
{
    return "\n******** Error: " + text + "\n";
}

const std::string kFailed = "Done return 1\n";

}  // namespace

TEST(CommandLine, NoWordsAtAll)
{
    const e2e::ProgramRun r = e2e::RunProgram({});
    EXPECT_EQ(r.out, kBanner + kUsage + "\n******** Error: ERROR: No operation entered\n\nDone return 1\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
}

TEST(CommandLine, EveryCommandLineErrorEndsTheRunWithStatus1)
{
    struct Case {
        std::vector<std::string> args;
        std::string printed;  // between the banner and "Done return 1"
    };
    const std::string longName(300, 'f');
    const Case cases[] = {
        {{"PROG", "CPU1", "fw.bin"}, kUsage + FrontEndError("Unknown operation")},
        {{"--zvapi", "prog"}, kUsage + FrontEndError("Unknown operation")},
        {{"prog"}, kUsage + FrontEndError("No type entered")},
        {{"prog", "cpu1", "fw.bin"}, kUsage + FrontEndError("Invalid firmware type")},
        {{"prog", "--zvapi", "CPU1"}, kUsage + FrontEndError("Invalid firmware type")},
        {{"prog", "CPU1"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"verify", "FPGA1"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"prog", "FLAG_U3V"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"prog", "FLAG_U2F"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"prog", "REST_INFO"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"verify", "FLAG_U3V"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"dump", "MMDESC"}, kUsage + FrontEndError("Filename missing, but required")},
        {{"prog", "CPU1", longName}, kUsage + FrontEndError("Filename too long")},
        {{"info", "CPU1", "fw.bin"},
         "Invalid wait_param setr 0 / fw.bin\n" + kUsage + FrontEndError("Error in parameters")},
        {{"reset", "CPU1"}, "Invalid wait_param setr 0 / CPU1\n" + kUsage + FrontEndError("Error in parameters")},
        {{"prog", "FLAG_U3V", "1", "2"},
         "Invalid wait_param setr 0 / 2\n" + kUsage + FrontEndError("Error in parameters")},
        {{"info", "CPU1", "--file_size"},
         "Unknown parameter --file_size\n" + kUsage + FrontEndError("Error in parameters")},
        {{"info", "CPU1", "--campath"},
         "Missing value for parameter --campath\n" + kUsage + FrontEndError("Error in parameters")},
        {{"info", "CPU1", "--camid", "one"},
         "Invalid value one for parameter --camid\n" + kUsage + FrontEndError("Error in parameters")},
        {{"info", "CPU1", "--model", std::string(200, 'm')},
         "Value of parameter --model is too long (at most 199 characters)\n" + kUsage +
             FrontEndError("Error in parameters")},
        {{"info", "CPU1", "--forced_model_sne", "ABCDE21070AV"},
         FrontEndError("Legacy (USB3) cameras updating does not support --forced_model_sne")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "" : c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const e2e::ProgramRun r = e2e::RunProgram(c.args);
        EXPECT_EQ(r.out, kBanner + c.printed + kFailed);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(CommandLine, DirectUsb3PathWithoutACameraFailsAtItsOpen)
{
    const std::string empty = (std::filesystem::temp_directory_path() / "zvtest-no-usb3-cameras").string();
    std::filesystem::create_directories(empty);
    struct Case {
        std::vector<std::string> args;
        std::string printed;  // between the banner and the error
    };
    const Case cases[] = {
        {{"info", "CPU1"}, "Performing operation 3 on firmware type 1\nGetting version info\n"},
        {{"reset", "--camid", "1"}, "Performing operation 4 on firmware type 0\nReseting\nResetting Camera\n"},
    };
    for (const Case& c : cases) {
        const e2e::ProgramRun r = e2e::RunProgram(c.args, {}, {{"ZVAPI_EMULATOR_DIR", empty}});
        EXPECT_EQ(r.out, kBanner + c.printed + RaisedError("Can not open USB3 device using zavro driver") + kFailed);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(CommandLine, InternalTestsRunTheSuiteOnTheGeneratedData)
{
    zvtest::TempDir dir;
    const std::filesystem::path work = e2e::WriteSuiteData(dir.path());
    const std::string notice = "Bootloader updating is disabled. Not needed.\n";
    const std::string opening = kBanner + "1. Testing firmware consistency...\nChecksum of all 8 firmwares are OK\n" +
                                "1a. Bootloader association checking..." + notice +
                                "Camera model error reported [OK]\n" + notice +
                                "Invalid camera bootloader was reported [OK]\n" + notice + notice +
                                "Bootloader upgrade was evaluated as not needed [OK]\n" +
                                "1b. CDS bootloader type association checking...Scientific camera identified [OK]\n" +
                                "2. Testing if structure updaters works as expected...\n" +
                                "Testing basic CalibDataStructureConverter functionality\n";
    const char* const kSections[] = {
        "Testing pack/unpack operation\n",
        "Testing upgrade needed/possible flags\n",
        "Testing upgrade between versions 1->2\n",
        "Testing upgrade between versions 2->3\n",
        "Testing upgrade between versions 1->3\n",
        "Testing calibration data extraction for all models\n",
        "Testing calibration data update from .csv file for all models\n",
        "Testing calibration data update from .csv file with random data\n",
        "Testing calibration data update from .csv on JR574JK-TD-D88-BSI cpu 05.00 ver 02.01\nRandom data seed ",
        "Testing calibration data update from .csv on JV285VT-TD cpu 06.00 ver 02.01\nRandom data seed ",
        "Testing mode defaults update operation\n",
        "Testing EEPROM verification configurations that should fail\n",
        "Testing EEPROM patch operation on bit level\n",
        "Testing cherry-pick patch operation\n",
        "CherryPick upgrade passed, page 1 field HDR_GAIN contains 3000\n",
    };
    // The second run finds the outputs of the first in place.
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        // Words after the command are not looked at.
        const e2e::ProgramRun r = e2e::RunSuiteIn(work, {"ignored", "--words"});
        EXPECT_EQ(r.out.rfind(opening, 0), 0u) << r.out;
        size_t at = opening.size();
        for (const char* section : kSections) {
            at = r.out.find(section, at);
            ASSERT_NE(at, std::string::npos) << section << "\n" << r.out;
        }
        const std::string closing = "Structure updaters tests passed OK\nAll internal tests OK\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), closing.size())), closing) << r.out;
        EXPECT_EQ(r.out.find("Done return"), std::string::npos);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_TRUE(std::filesystem::is_directory(work / "EEPROM_Backup"));
    EXPECT_TRUE(std::filesystem::is_regular_file(work / "test_data" / "CamTest_temp_raw.bin"));
}
