#include "run_program.h"

#include "file_io.h"
#include <gtest/gtest.h>

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

TEST(CommandLine, DirectUsb3PathReachesTheCameraSelection)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"info", "CPU1"},
             {"prog", "CPU1", "fw.bin", "--camid", "1", "--yes"},
             {"reset"},
         }) {
        const e2e::ProgramRun r = e2e::RunProgram(args);
        EXPECT_EQ(r.out,
                  kBanner + RaisedError("Function SelectCameraOnBus is not implemented for this camera.") + kFailed);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(CommandLine, InternalTestsRunTheSuite)
{
    const e2e::ProgramRun r = e2e::RunProgram({"internal_tests", "ignored", "--words"});
    EXPECT_EQ(r.out,
              kBanner + RaisedError("RunInternalTests - internal tests are not available in this build") + kFailed);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
}
