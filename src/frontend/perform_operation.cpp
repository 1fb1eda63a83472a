#include "perform_operation.h"

#include "cmd_line_params.h"
#include "fw_sel_item.h"
#include "fw_updater.h"
#include "os_console_control.h"
#include "run_error.h"
#include "run_state.h"
#include "text_format.h"
#include "zv_version.h"

#include <cstdio>
#include <iostream>

namespace {

constexpr const char* kProgramVersion = ZV_PROGRAM_VERSION;
constexpr std::size_t kModelTextMax = 99;     // the camera model is read into 100 characters
constexpr std::size_t kShortModelLength = 5;  // the part of it a file name must contain
constexpr std::size_t kAnswerMax = 99;
constexpr std::size_t kVersionTextMax = 99;

int g_lastPercent = 0;

void PrepareInput(FW_Updater& updater, const RunState& run, const CmdLineParams& params)
{
    switch (run.operation) {
    case OP_INFO:
        if (params.ucam_type == 1) {
            updater.SetCameraGeneration(1);
        }
        break;
    case OP_DUMP:
    case OP_EXTRACT:
    case OP_INSERT:
    case OP_FILE_DIFF:
        updater.SetInputFile(run.fileName);
        break;
    case OP_PROG:
    case OP_VERIFY:
        updater.SetInputFile(run.fileName);
        updater.SetFwStart(params.fw_start);
        updater.SetFwStop(params.fw_stop);
        if (params.hexfileformat) {
            updater.SetHexFormat(true);
        }
        if (params.hexfilename) {
            updater.SetNameIsHex(true);
            updater.ClearScrambled();
        } else if (params.snsnefilename) {
            updater.SetNameIsSnSne(true);
            updater.ClearScrambled();
        } else if (params.plain_file) {
            updater.ClearScrambled();
            std::printf("Checksum OK\n");
        } else {
            updater.CheckInputFile();
            std::printf("Checksum OK\n");
        }
        if (params.ucam_type == 1) {
            updater.SetCameraGeneration(1);
        }
        break;
    default:
        break;
    }
}

// On the camera-API path a file for another camera model must not go in
// unnoticed: its name has to contain the camera's short model name, or the
// operator has to confirm it.
void CheckModelName(FW_Updater& updater, const RunState& run, const CmdLineParams& params, std::istream& answers)
{
    std::string model = updater.GetCameraModel();
    if (model.size() > kModelTextMax) {
        model.resize(kModelTextMax);
    }
    const std::string shortModel = model.substr(0, kShortModelLength);
    std::printf("Checking if Filename:%s contains short model name:%s\n", run.fileName.c_str(), shortModel.c_str());
    if (run.fileName.find(shortModel) != std::string::npos) {
        std::printf("Filename contains part of camera model name [OK]\n");
        return;
    }
    std::printf("Warning: Filename does not contain short model name\n");
    if (params.yes) {
        return;
    }
    std::printf("Are you sure to use this file [y/n]\n");
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(answers, answer)) {
        answer.clear();
    }
    if (answer.size() > kAnswerMax) {
        answer.resize(kAnswerMax);
    }
    if (answer.empty() || answer[0] != 'y') {
        FailRun("Operation aborted by user");
    }
}

void LogRunMessage(FW_Updater& updater, const char* format)
{
    FW_Updater::LogOperationMessage(updater, FormatText(format, kProgramVersion));
}

}  // namespace

void PerformOperation(FW_Updater& updater, const RunState& run, const CmdLineParams& params, std::istream& answers)
{
    std::printf("Performing operation %d on firmware type %d\n", run.operation, run.firmwareType);
    updater.SetFirmwareType(run.firmwareType);
    PrepareInput(updater, run, params);

    switch (run.operation) {
    case OP_PROG: {
        if (params.zvapi && run.checkModelName) {
            CheckModelName(updater, run, params, answers);
        }
        std::printf("Programming\n");
        InstallConsoleCtrlHandler();
        LogRunMessage(updater, "Firmware Updater %s started");
        // A failure thrown out of the programming passes through without a
        // further line: the updater logged how far it got.
        updater.UpdateFirmware();
        LogRunMessage(updater, "Firmware Updater %s finished");
        break;
    }
    case OP_VERIFY:
        std::printf("Verify\n");
        updater.VerifyFirmware();
        std::printf("Verify done OK\n");
        break;
    case OP_INFO:
        if (run.firmwareType == FW_TYPE_FLAG_U3V) {
            std::uint8_t flag = 0;
            updater.GetU3VFlag(flag);
            std::printf("FLAG_U3V %d\n", flag);
        } else {
            std::printf("Getting version info\n");
            std::string version = updater.GetCurrentFirmwareVersion();
            if (version.size() > kVersionTextMax) {
                version.resize(kVersionTextMax);
            }
            std::printf("Detected version V%s\n", version.c_str());
        }
        break;
    case OP_RESET:
        std::printf("Reseting\n");
        updater.ResetCamera();
        std::printf("Reset done OK\n");
        break;
    case OP_DUMP:
        updater.DumpFlash();
        std::printf("Dump done OK  \n");
        break;
    case OP_EXTRACT:
        updater.ExtractData();
        break;
    case OP_INSERT:
        updater.SetPatchFile(params.patch_file);
        updater.SetOutputFile(params.output_file_name);
        updater.InsertData();
        break;
    case OP_UPGRADE:
        updater.UpgradeFirmware();
        break;
    case OP_LISTDEVPATHS:
        updater.ListOfCamerasLocations();
        break;
    case OP_DIFF:
    case OP_FILE_DIFF:
        updater.DiffFirmwareContent();
        break;
    default:
        FailRun("Unsupported operation");
    }
}

void PerformOperation(FW_Updater& updater)
{
    PerformOperation(updater, TheRunState(), TheCmdLineParams(), std::cin);
}

void PrintLog(std::string_view text)
{
    std::printf("Log: %.*s\n", static_cast<int>(text.size()), text.data());
}

void PrintProgress(int percent, std::uint32_t)
{
    if (percent == g_lastPercent) {
        return;
    }
    std::printf("%d%%\r", percent);
    g_lastPercent = percent;
    std::fflush(stdout);
}

void ResetProgressPrinter()
{
    g_lastPercent = 0;
}

std::string ConsoleCtrlText(std::uint32_t event)
{
    const char* name = "\nUnknown event";
    switch (event) {
    case zv::os::kConsoleCtrlC:
        name = "\nCtrl-C event";
        break;
    case zv::os::kConsoleCtrlBreak:
        name = "\nCtrl-Break event";
        break;
    case zv::os::kConsoleClose:
        name = "\nCtrl-Close event";
        break;
    case zv::os::kConsoleLogoff:
        name = "\nLogoff event";
        break;
    case zv::os::kConsoleShutdown:
        name = "\nShutdown event";
        break;
    default:
        break;
    }
    return FormatText("Log: %s\nLog: %s\n", name,
                      "The firmware update will continue in order to finish current operation. Please wait...");
}

bool ConsoleCtrlHandler(std::uint32_t event)
{
    const std::string text = ConsoleCtrlText(event);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return true;
}

void InstallConsoleCtrlHandler()
{
    if (!zv::os::InstallConsoleControl(&ConsoleCtrlText)) {
        PrintLog("Failed to register console control handler function");
    }
}
