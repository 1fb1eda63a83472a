// The built program on emulated cameras through the camera API (--zvapi):
// camera selection, the location listing, wrapper errors at the entry and
// the operation log the front end writes into the selected camera.

#include "emu_dir.h"
#include "fw_operation_log.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include "file_io.h"
#include <filesystem>
#include <fstream>
#include <regex>

using zvtest::kBanner;

namespace {

using zvtest::EmuDir;

const std::string kFailed = "Done return 1\n";
const std::string kLogFile = "FwOperationLog.zip";
// The first ten digits of the MD5 digest of the firmware file below (4096
// bytes of 0x5A).
const std::string kDigest = "27f681f02f";
// What one programming run of that file leaves in the camera's log.
const std::vector<std::string> kRunLines = {
    "Firmware Updater V2.64 started", "FW prog of FPGA1 [" + kDigest + "] started",
    "FW prog of FPGA1 [" + kDigest + "] finished", "Firmware Updater V2.64 finished"};

class CameraApiRun : public ::testing::Test {
protected:
    CameraApiRun()
    {
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
        emu.AddCamera("JR574XX-D0-BSI-1", [](zvemu::CameraRecord& r) {
            r.serial = "ABCDE21070AV";
            r.locPath = "PCIROOT(0)#USB(7)";
            r.instPath = "\\\\?\\usb#zvjr#1";
        });
        emu.AddCamera("JV285XX-C");
        firmware = (emu.Root() / "JV966_JR574_JV285_cpu1.bin").string();
        std::ofstream(firmware, std::ios::binary) << std::string(4096, '\x5A');
    }

    e2e::ProgramRun Run(std::vector<std::string> args)
    {
        return e2e::RunProgram(args, "", {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}});
    }

    // A programming run of a file that is no model's CPU firmware, so every
    // camera takes it as it is.
    e2e::ProgramRun Prog(const std::vector<std::string>& selection)
    {
        std::vector<std::string> args = {"prog", "FPGA1", firmware, "--zvapi", "--plain_file", "--yes"};
        args.insert(args.end(), selection.begin(), selection.end());
        return Run(args);
    }

    // The messages of the camera's operation log, time stamps removed.
    std::vector<std::string> LogMessages(unsigned index)
    {
        const auto archive = emu.State().ReadFfsFile(emu.CameraId(index), kLogFile);
        if (!archive) {
            return {};
        }
        testing::internal::CaptureStdout();
        const std::optional<std::string> text = UnpackFwLog(*archive);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        std::vector<std::string> messages;
        std::size_t start = 0;
        while (text && start <= text->size()) {
            const std::size_t end = std::min(text->find('\n', start), text->size());
            const std::string line = text->substr(start, end - start);
            messages.push_back(line.size() > 20 ? line.substr(20) : line);  // after "[YYYY-MM-DD HHMMSS] "
            start = end + 1;
        }
        return messages;
    }

    EmuDir emu;
    std::string firmware;
};

TEST_F(CameraApiRun, ListsTheLocationOfEveryCamera)
{
    const e2e::ProgramRun r = Run({"listdevpaths", "--zvapi"});
    EXPECT_EQ(r.out, kBanner + "Performing operation 9 on firmware type 0\n"
                               "Device id:0 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)\n"
                               "Device id:1 location: PCIROOT(0)#USB(7)\n"
                               "Device id:2 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)\n"
                               "Done return 0\nAll OK\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(CameraApiRun, EachSelectionReachesItsCameraAndItsLog)
{
    const std::string jr = "Camera SN:ABCDE21070AV, Model:JR574XX-D0-BSI-1, FPGA1:V01.00\nDevice ID:ZVEMU-DEV-0001\n";
    struct Case {
        std::vector<std::string> selection;
        std::string identification;
        unsigned camera;
    };
    const Case cases[] = {
        {{}, "Camera SN:ZVEMU21000A0, Model:JV966JK-TD-G8-V7T9-JND, FPGA1:V01.00\nDevice ID:ZVEMU-DEV-0000\n", 0},
        {{"--camid", "2"}, "Camera SN:ZVEMU21020A0, Model:JV285XX-C, FPGA1:V01.00\nDevice ID:ZVEMU-DEV-0002\n", 2},
        {{"--campath", "\\\\?\\usb#zvjr#1"}, jr, 1},
        {{"--camsn", "ABCDE21070AV"}, jr, 1},
        {{"--camlocation", "PCIROOT(0)#USB(7)"}, jr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection.empty() ? "default" : c.selection[0]);
        const std::vector<std::string> before = LogMessages(c.camera);
        const e2e::ProgramRun r = Prog(c.selection);
        EXPECT_NE(r.out.find("Checksum OK\n" + c.identification + "Checking if Filename:"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Filename contains part of camera model name [OK]\nProgramming\n"), std::string::npos);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        std::vector<std::string> after = before;
        after.insert(after.end(), kRunLines.begin(), kRunLines.end());
        EXPECT_EQ(LogMessages(c.camera), after);
    }
    EXPECT_EQ(LogMessages(1).size(), 3 * kRunLines.size());
}

TEST_F(CameraApiRun, TwoRunsLeaveTheirLinesInOrder)
{
    Prog({});
    Prog({});
    std::vector<std::string> twice = kRunLines;
    twice.insert(twice.end(), kRunLines.begin(), kRunLines.end());
    EXPECT_EQ(LogMessages(0), twice);
    const auto archive = emu.State().ReadFfsFile(emu.CameraId(0), kLogFile);
    ASSERT_TRUE(archive);
    testing::internal::CaptureStdout();
    const std::optional<std::string> text = UnpackFwLog(*archive);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(text);
    const std::string stamp = R"(\[\d{4}-\d{2}-\d{2} \d{6}\] )";
    const std::string run = stamp + "Firmware Updater V2\\.64 started\n" + stamp + "FW prog of FPGA1 \\[" + kDigest +
                            "\\] started\n" + stamp + "FW prog of FPGA1 \\[" + kDigest + "\\] finished\n" + stamp +
                            "Firmware Updater V2\\.64 finished";
    EXPECT_TRUE(std::regex_match(*text, std::regex(run + "\n" + run))) << *text;
}

// A log torn by an earlier run does not stop logging: its bytes stay on the
// computer, the camera gets a new log with this run's lines.
TEST_F(CameraApiRun, AnUnreadableLogIsKeptAndANewOneStarted)
{
    const std::vector<std::uint8_t> junk = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    emu.State().WriteFfsFile(emu.CameraId(0), kLogFile, junk);
    // The program runs in a directory of the test's own.
    const zvtest::TempDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const e2e::ProgramRun r = Prog({});
    std::filesystem::current_path(previous);
    const std::string kept = "FwOperationLog_damaged_JV966JK-TD-G8-V7T9-JND_ZVEMU21000A0.zip";
    EXPECT_NE(r.out.find("Programming\nFW_Updater::UnpackFwLog ERROR: Failed to open firmware logs archive file.\n"
                         "The operation log in the camera cannot be read: its bytes are kept in " +
                         kept + ", a new log is started.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(zvtest::ReadFile(dir.path() / kept), junk);
    EXPECT_EQ(LogMessages(0), kRunLines);
}

TEST_F(CameraApiRun, CameraErrorsEndTheRunWithStatus1)
{
    struct Case {
        std::vector<std::string> selection;
        std::string printed;  // after "Checksum OK"
    };
    const Case cases[] = {
        // The wrapper's own error reaches the entry.
        {{"--camsn", "ZZZZZ99999ZZ"}, "\n******** Error zvAPI: No Devices Found (zvAPIplus_Camera::OpenBySN)\n"},
        {{"--camid", "7"}, "\n******** Error zvAPI: No Devices Found (zvAPIplus_Camera::OpenByID)\n"},
        {{"--campath", "\\\\?\\usb#zvjr#1", "--forced_model_sne", "ABCDE21070AV"},
         "\n******** Error: Model force is not supported for other, than first camera or --camid selector.\n"},
        {{"--camid", "1", "--forced_model_sne", "bad"},
         "zvSetDeviceInfoString model_forced_sne bad\n"
         "\n******** Error: Error on setting forced SNE after zvSetDeviceInfoString. E.g. incorrect SNE entered on "
         "--forced_model_sne\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection[1]);
        const e2e::ProgramRun r = Prog(c.selection);
        EXPECT_EQ(r.out, kBanner + "Performing operation 1 on firmware type 10\nChecksum OK\n" + c.printed + kFailed);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
    for (unsigned camera = 0; camera < 3; ++camera) {
        EXPECT_TRUE(LogMessages(camera).empty());
    }
}

TEST_F(CameraApiRun, AForcedSerialStandsForTheCamerasOwnDuringTheRun)
{
    const e2e::ProgramRun r = Prog({"--camid", "2", "--forced_model_sne", "FGHIJ21070AV"});
    EXPECT_NE(r.out.find("Checksum OK\nzvSetDeviceInfoString model_forced_sne FGHIJ21070AV\n"
                         "Camera SN:FGHIJ21070AV, Model:JV285XX-C, FPGA1:V01.00\n"),
              std::string::npos)
        << r.out;
    // The camera keeps its own serial.
    EXPECT_EQ(emu.Camera(2).serial, "ZVEMU21020A0");
}

TEST_F(CameraApiRun, AllCamerasNeedsAtLeastOne)
{
    emu.Hook(-1, "nocameras");
    const e2e::ProgramRun r = Run({"info", "CPU1", "--zvapi", "--allcameras"});
    EXPECT_EQ(r.out, kBanner + "\n******** Error: No camera connected\n" + kFailed);
    EXPECT_EQ(r.status, 1);
}

}  // namespace
