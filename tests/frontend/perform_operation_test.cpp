#include "cmd_line_params.h"
#include "emu_dir.h"
#include "fake_updater.h"
#include "fw_operation_log.h"
#include "fw_sel_item.h"
#include "os_console_control.h"
#include "perform_operation.h"
#include "run_state.h"
#include "scramble_for_tests.h"
#include "test_files.h"
#include "updater_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StrictMock;
using testing_support::TempDir;

namespace {

struct Outcome {
    std::string printed;
    std::string error;  // text of the UpdaterError, empty when none
};

class PerformOperationTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProgressPrinter(); }
    void TearDown() override { zv::os::UninstallConsoleControl(); }

    Outcome Perform(std::int32_t operation, std::int32_t type, const std::string& answers = "")
    {
        run.operation = operation;
        run.firmwareType = type;
        run.checkModelName = GetFwSelItemById(type).checkModelName;
        std::istringstream in(answers);
        Outcome outcome;
        testing::internal::CaptureStdout();
        try {
            PerformOperation(updater, run, params, in);
        } catch (const UpdaterError& error) {
            outcome.error = error.what();
        }
        outcome.printed = testing::internal::GetCapturedStdout();
        return outcome;
    }

    std::string ScrambledFile()
    {
        return dir.Write("zvW-123_cpu1.bin", testing_support::Scramble(testing_support::RandomBytes(50, 3)));
    }

    TempDir dir;
    RunState run;
    CmdLineParams params;
    StrictMock<FakeUpdater> updater;
};

// A programming run writes its start and end into the camera's operation
// log; these updaters have no camera selected, so the log says so.
const std::string kLogWithoutCamera = "Unable to open camera for firmware operation logging.\n"
                                      "Unable to open camera for firmware operation logging.\n";

}  // namespace

TEST_F(PerformOperationTest, ProgChecksTheFileThenProgramsIt)
{
    run.fileName = ScrambledFile();
    params.fw_start = 0x100;
    params.fw_stop = 0x200;
    EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
    const Outcome o = Perform(OP_PROG, FW_TYPE_CPU1);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "Performing operation 1 on firmware type 1\nChecksum OK\nProgramming\n" + kLogWithoutCamera);
    EXPECT_EQ(updater.FirmwareType(), FW_TYPE_CPU1);
    EXPECT_EQ(updater.InputFile(), run.fileName);
    EXPECT_EQ(updater.GetFwStart(), 0x100u);
    EXPECT_EQ(updater.GetFwStop(), 0x200u);
    EXPECT_TRUE(updater.Scrambled());
}

TEST_F(PerformOperationTest, ProgOfABadFileStopsBeforeProgramming)
{
    run.fileName = dir.Write("bad.bin", testing_support::RandomBytes(50, 4));
    const Outcome o = Perform(OP_PROG, FW_TYPE_CPU1);  // StrictMock: UpdateFirmware must not run
    EXPECT_EQ(o.error, "Error checksum file");
    EXPECT_EQ(o.printed, "Performing operation 1 on firmware type 1\n");
}

TEST_F(PerformOperationTest, FileFormsOfProgAndVerify)
{
    struct Case {
        const char* name;
        std::function<void(CmdLineParams&)> set;
        bool checksumLine;
        bool nameIsHex;
        bool nameIsSnSne;
        bool hexFormat;
    };
    const Case cases[] = {
        {"hexfilename", [](CmdLineParams& p) { p.hexfilename = true; }, false, true, false, false},
        {"snsnefilename", [](CmdLineParams& p) { p.snsnefilename = true; }, false, false, true, false},
        {"plain", [](CmdLineParams& p) { p.plain_file = true; }, true, false, false, false},
        {"plain hex", [](CmdLineParams& p) { p.plain_file = p.hexfileformat = true; }, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StrictMock<FakeUpdater> u;
        CmdLineParams p;
        c.set(p);
        RunState r;
        r.operation = OP_VERIFY;
        r.firmwareType = FW_TYPE_CPU1;
        r.fileName = "12345678";  // no such file: none of these forms checks one here
        EXPECT_CALL(u, VerifyFirmware()).WillOnce(Return());
        std::istringstream in;
        testing::internal::CaptureStdout();
        PerformOperation(u, r, p, in);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed, std::string("Performing operation 2 on firmware type 1\n") +
                               (c.checksumLine ? "Checksum OK\n" : "") + "Verify\nVerify done OK\n");
        EXPECT_FALSE(u.Scrambled());
        EXPECT_EQ(u.NameIsHex(), c.nameIsHex);
        EXPECT_EQ(u.NameIsSnSne(), c.nameIsSnSne);
        EXPECT_EQ(u.HexFormat(), c.hexFormat);
    }
}

// An operation's failure is its thrown error: it passes through the
// dispatcher as it was thrown, without the line that would follow success.
TEST_F(PerformOperationTest, AFailureThrownByAnOperationEndsTheRunAsThrown)
{
    using testing::Throw;
    const UpdaterError failure("Write block error");
    struct Case {
        std::int32_t operation;
        std::function<void(FakeUpdater&)> expect;
        const char* printed;
    };
    const Case cases[] = {
        {OP_PROG, [&](FakeUpdater& u) { EXPECT_CALL(u, UpdateFirmware()).WillOnce(Throw(failure)); },
         "Performing operation 1 on firmware type 50\nChecksum OK\nProgramming\n"
         "Unable to open camera for firmware operation logging.\n"},
        {OP_VERIFY, [&](FakeUpdater& u) { EXPECT_CALL(u, VerifyFirmware()).WillOnce(Throw(failure)); },
         "Performing operation 2 on firmware type 50\nChecksum OK\nVerify\n"},
        {OP_RESET, [&](FakeUpdater& u) { EXPECT_CALL(u, ResetCamera()).WillOnce(Throw(failure)); },
         "Performing operation 4 on firmware type 50\nReseting\n"},
        {OP_DUMP, [&](FakeUpdater& u) { EXPECT_CALL(u, DumpFlash()).WillOnce(Throw(failure)); },
         "Performing operation 5 on firmware type 50\n"},
        {OP_UPGRADE, [&](FakeUpdater& u) { EXPECT_CALL(u, UpgradeFirmware()).WillOnce(Throw(failure)); },
         "Performing operation 8 on firmware type 50\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        StrictMock<FakeUpdater> u;
        c.expect(u);
        RunState r;
        r.operation = c.operation;
        r.firmwareType = FW_TYPE_FLAG_U3V;  // takes no file, so prog and verify get that far
        std::istringstream in;
        std::string error;
        testing::internal::CaptureStdout();
        try {
            PerformOperation(u, r, params, in);
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        zv::os::UninstallConsoleControl();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(error, "Write block error");
    }
}

// A programming that throws leaves the run's "started" line in the camera's
// operation log and no line after it.
TEST(PerformOperationLog, AThrownProgrammingFailureAddsNoLineAfterTheStart)
{
    struct CameraZeroUpdater : FakeUpdater {
        CameraZeroUpdater() { cameraIndex = 0; }
    };
    zvtest::EmuDir emu;
    emu.AddCamera();
    StrictMock<CameraZeroUpdater> u;
    EXPECT_CALL(u, UpdateFirmware()).WillOnce(testing::Throw(UpdaterError("Write block error")));
    RunState r;
    r.operation = OP_PROG;
    r.firmwareType = FW_TYPE_FLAG_U3V;
    CmdLineParams p;
    std::istringstream in;
    std::string error;
    testing::internal::CaptureStdout();
    try {
        PerformOperation(u, r, p, in);
    } catch (const UpdaterError& e) {
        error = e.what();
    }
    zv::os::UninstallConsoleControl();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Performing operation 1 on firmware type 50\nChecksum OK\nProgramming\n");
    EXPECT_EQ(error, "Write block error");

    const auto archive = emu.State().ReadFfsFile(emu.CameraId(0), std::string(kFwLogArchiveName));
    ASSERT_TRUE(archive.has_value());
    testing::internal::CaptureStdout();
    const std::optional<std::string> log = UnpackFwLog(*archive);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(log.has_value());
    const std::size_t started = log->find("] Firmware Updater V2.64 started");
    ASSERT_NE(started, std::string::npos) << *log;
    EXPECT_EQ(log->find('\n', started), std::string::npos) << *log;
}

TEST_F(PerformOperationTest, SuccessfulOperationsPrintTheirLines)
{
    EXPECT_CALL(updater, ResetCamera()).WillOnce(Return());
    EXPECT_EQ(Perform(OP_RESET, 0).printed, "Performing operation 4 on firmware type 0\nReseting\nReset done OK\n");
    EXPECT_CALL(updater, DumpFlash()).WillOnce(Return());
    const Outcome dump = Perform(OP_DUMP, 30);
    EXPECT_EQ(dump.printed, "Performing operation 5 on firmware type 30\nDump done OK  \n");
    EXPECT_CALL(updater, UpgradeFirmware()).WillOnce(Return());
    EXPECT_EQ(Perform(OP_UPGRADE, 16).error, "");
}

TEST_F(PerformOperationTest, InfoReadsTheFlagOrTheVersion)
{
    EXPECT_CALL(updater, GetU3VFlag(_)).WillOnce(SetArgReferee<0>(std::uint8_t{1}));
    EXPECT_EQ(Perform(OP_INFO, FW_TYPE_FLAG_U3V).printed, "Performing operation 3 on firmware type 50\nFLAG_U3V 1\n");
    EXPECT_EQ(updater.CameraGeneration(), 0);

    params.ucam_type = 1;
    EXPECT_CALL(updater, GetCurrentFirmwareVersion()).WillOnce(Return("1.30"));
    EXPECT_EQ(Perform(OP_INFO, FW_TYPE_CPU1).printed,
              "Performing operation 3 on firmware type 1\nGetting version info\nDetected version V1.30\n");
    EXPECT_EQ(updater.CameraGeneration(), 1);
}

TEST_F(PerformOperationTest, FileOperationsGetTheirNames)
{
    run.fileName = "data.bin";
    params.patch_file = "patch.csv";
    EXPECT_CALL(updater, InsertData());
    Perform(OP_INSERT, 15);
    EXPECT_EQ(updater.InputFile(), "data.bin");
    EXPECT_EQ(updater.PatchFile(), "patch.csv");
    EXPECT_EQ(updater.OutputFile(), "");

    StrictMock<FakeUpdater> other;
    EXPECT_CALL(other, ExtractData());
    run.operation = OP_EXTRACT;
    std::istringstream in;
    testing::internal::CaptureStdout();
    PerformOperation(other, run, params, in);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(other.InputFile(), "data.bin");
    EXPECT_FALSE(other.PatchFile().has_value());

    EXPECT_CALL(updater, DiffFirmwareContent()).Times(2);
    Perform(OP_DIFF, 15);
    Perform(OP_FILE_DIFF, 15);
    EXPECT_CALL(updater, ListOfCamerasLocations());
    Perform(OP_LISTDEVPATHS, 0);
}

TEST_F(PerformOperationTest, UnknownOperationCode)
{
    EXPECT_EQ(Perform(42, 1).error, "ERROR: Unsupported operation\n");
}

TEST_F(PerformOperationTest, ModelNameCheckOnTheCameraApiPath)
{
    params.zvapi = true;
    run.fileName = ScrambledFile();  // named after model zvW-1...
    const std::string head = "Performing operation 1 on firmware type 1\nChecksum OK\n";
    const std::string question = "Checking if Filename:" + run.fileName +
                                 " contains short model name:zvE-9\nWarning: Filename does not contain short model "
                                 "name\nAre you sure to use this file [y/n]\n";

    EXPECT_CALL(updater, GetCameraModel()).WillOnce(Return("zvW-123 camera"));
    EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
    EXPECT_EQ(Perform(OP_PROG, FW_TYPE_CPU1).printed,
              head + "Checking if Filename:" + run.fileName +
                  " contains short model name:zvW-1\nFilename contains part of camera model name [OK]\nProgramming\n" +
                  kLogWithoutCamera);

    for (const char* refusal : {"", "Y\n", "n\n", " y\n"}) {
        SCOPED_TRACE(refusal);
        EXPECT_CALL(updater, GetCameraModel()).WillOnce(Return("zvE-999"));
        const Outcome o = Perform(OP_PROG, FW_TYPE_CPU1, refusal);
        EXPECT_EQ(o.error, "ERROR: Operation aborted by user\n");
        EXPECT_EQ(o.printed, head + question);
    }

    EXPECT_CALL(updater, GetCameraModel()).WillOnce(Return("zvE-999"));
    EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
    EXPECT_EQ(Perform(OP_PROG, FW_TYPE_CPU1, "yes please\n").printed,
              head + question + "Programming\n" + kLogWithoutCamera);

    params.yes = true;
    EXPECT_CALL(updater, GetCameraModel()).WillOnce(Return("zvE-999"));
    EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
    const Outcome assumed = Perform(OP_PROG, FW_TYPE_CPU1);
    EXPECT_EQ(assumed.printed.find("Are you sure"), std::string::npos);
    EXPECT_NE(assumed.printed.find("Warning: Filename does not contain short model name\nProgramming\n"),
              std::string::npos);

    // Short and empty model names are compared whole; the empty one matches anything.
    params.yes = false;
    for (const char* model : {"zvW", ""}) {
        EXPECT_CALL(updater, GetCameraModel()).WillOnce(Return(model));
        EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
        EXPECT_NE(Perform(OP_PROG, FW_TYPE_CPU1).printed.find("[OK]"), std::string::npos) << model;
    }
}

TEST_F(PerformOperationTest, NoModelCheckOffTheCameraApiPathOrForTypesWithoutIt)
{
    run.fileName = ScrambledFile();
    EXPECT_CALL(updater, UpdateFirmware()).WillRepeatedly(Return());
    EXPECT_EQ(Perform(OP_PROG, FW_TYPE_CPU1).error, "");  // StrictMock: no GetCameraModel
    params.zvapi = true;
    EXPECT_EQ(Perform(OP_PROG, 302).error, "");  // DEVVER has no model-name check
}

TEST_F(PerformOperationTest, ProgrammingKeepsRunningThroughConsoleEvents)
{
    run.firmwareType = FW_TYPE_FLAG_U3V;
    EXPECT_CALL(updater, UpdateFirmware()).WillOnce(Return());
    Perform(OP_PROG, FW_TYPE_FLAG_U3V);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(zv::os::SimulateConsoleEvent(zv::os::kConsoleCtrlBreak));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Log: \nCtrl-Break event\nLog: The firmware update will continue in order to finish current operation. "
              "Please wait...\n");
}

TEST(ConsoleCtrlHandler, TextsOfEveryEvent)
{
    const std::string tail =
        "Log: The firmware update will continue in order to finish current operation. Please wait...\n";
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "Log: \nCtrl-C event\n"}, {1, "Log: \nCtrl-Break event\n"}, {2, "Log: \nCtrl-Close event\n"},
        {5, "Log: \nLogoff event\n"}, {6, "Log: \nShutdown event\n"},   {3, "Log: \nUnknown event\n"},
    };
    for (const auto& [event, line] : cases) {
        EXPECT_EQ(ConsoleCtrlText(event), line + tail);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(ConsoleCtrlHandler(event));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), line + tail);
    }
}

TEST(PrintProgress, PrintsOnlyChanges)
{
    ResetProgressPrinter();
    testing::internal::CaptureStdout();
    for (const int percent : {0, 5, 5, 10, 150, -1}) {
        PrintProgress(percent, 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "5%\r10%\r150%\r-1%\r");
    testing::internal::CaptureStdout();
    PrintLog("hello");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Log: hello\n");
}
