#include "updater_main.h"

#include "cmd_line_params.h"
#include "fw_sel_item.h"
#include "run_error.h"
#include "run_internal_tests.h"
#include "run_state.h"
#include "updater_setup.h"
#include "zv_version.h"
#include "zvapiplus_exception.h"

#include <array>
#include <cstdint>
#include <exception>
#include <string_view>

namespace {

struct CommandWord {
    std::string_view word;
    UpdaterOperation operation;
    bool takesType;
    bool takesFile;  // when the type's needsFile flag is set as well
};

constexpr std::array<CommandWord, 11> kCommandWords{{
    {"prog", OP_PROG, true, true},
    {"verify", OP_VERIFY, true, true},
    {"info", OP_INFO, true, false},
    {"reset", OP_RESET, false, false},
    {"dump", OP_DUMP, true, true},
    {"extract", OP_EXTRACT, true, true},
    {"insert", OP_INSERT, true, true},
    {"upgrade", OP_UPGRADE, true, false},
    {"listdevpaths", OP_LISTDEVPATHS, false, false},
    {"diff", OP_DIFF, true, false},
    {"file_diff", OP_FILE_DIFF, true, true},
}};

constexpr std::string_view kInternalTestsWord = "internal_tests";
// The camera API's error texts are at most 199 characters.

[[noreturn]] void FailWithUsage(const char* text)
{
    PrintCommandUsage();
    FailRun(text);
}

// Whether the operation on this type takes a file word. prog of a flag type
// takes its flag value there (and verify too, so that it checks what prog
// set) and dump MMDESC its output file, as the usage line promises, although
// those types take no file otherwise.
bool TakesFileWord(const CommandWord& command, const FwSelItem& type)
{
    if ((command.operation == OP_PROG || command.operation == OP_VERIFY) &&
        (type.id == FW_TYPE_FLAG_U3V || type.id == FW_TYPE_FLAG_U2F || type.id == FW_TYPE_REST_INFO)) {
        return true;
    }
    if (command.operation == OP_DUMP && type.id == FW_TYPE_MMDESC) {
        return true;
    }
    return command.takesFile && type.needsFile;
}

// Steps of a run up to the operation; returns false when internal_tests ran
// and passed (the run then ends without the closing lines).
bool RunCommand(int argc, const char* const* argv, const UpdaterSetup& setup)
{
    RunState& run = TheRunState();
    CmdLineParams& params = TheCmdLineParams();
    if (argc < 2) {
        FailWithUsage("No operation entered");
    }

    const std::string_view commandWord = argv[1];
    if (commandWord == kInternalTestsWord) {
        RunInternalTests();
        std::printf("All internal tests OK\n");
        return false;
    }
    const CommandWord* command = nullptr;
    for (const CommandWord& candidate : kCommandWords) {
        if (candidate.word == commandWord) {
            command = &candidate;
            break;
        }
    }
    if (command == nullptr) {
        FailWithUsage("Unknown operation");
    }
    run.operation = command->operation;

    int next = 2;
    bool takesFile = command->takesFile;
    if (command->takesType) {
        if (next >= argc) {
            FailWithUsage("No type entered");
        }
        const FwSelItem type = GetFwSelItemByName(argv[next]);
        if (type.id == 0) {
            FailWithUsage("Invalid firmware type");
        }
        ++next;
        run.firmwareType = type.id;
        run.checkModelName = type.checkModelName;
        takesFile = TakesFileWord(*command, type);
    }
    if (takesFile) {
        if (next >= argc) {
            FailWithUsage("Filename missing, but required");
        }
        const std::string_view fileWord = argv[next];
        // A cut name would open another file, or with --hexfilename write
        // other bytes than the ones typed.
        if (fileWord.size() > kMaxFileWordLength) {
            FailWithUsage("Filename too long");
        }
        run.fileName.assign(fileWord);
        ++next;
    }

    params.Parse(argc - next, argv + next);
    if (params.errorFlag != 0) {
        FailWithUsage("Error in parameters");
    }

    RunUpdaters(params, setup);
    return true;
}

}  // namespace

void PrintCommandUsage()
{
    std::printf("usage: zvcamupdater <prog|verify|info|reset|dump|extract|insert|upgrade|diff|file_diff> "
                "<CPU1|CPU2|CPU3|CPU4|CPU5|FPGA1|FPGA2|MCU1|XMLMAN|MMDESC|FLAG_U3V|FLAG_U2F|REST_INFO> "
                "<filename|flag_value> [--campath <path>] [--camsn <serial>] [--camid <id>] [--allcameras] "
                "[--plain_file] [--zvapi] [--hexfilename] [--snsnefilename] [--key] [--u3v_cam] [--cpu4_start] "
                "[--cpu4_stop] [--file_size] [--ccd][--hexfileformat]\n");
}

int RunZvCamUpdater(int argc, const char* const* argv)
{
    return RunZvCamUpdater(argc, argv, DefaultUpdaterSetup());
}

int RunZvCamUpdater(int argc, const char* const* argv, const UpdaterSetup& setup)
{
    std::printf("-----------------------------------\n");
    std::printf("ZAVRO Camera Firmware Updater " ZV_PROGRAM_VERSION "\n");
    std::printf("-----------------------------------\n");

    RunState& run = TheRunState();
    // Whatever goes wrong ends the run with an error line and status 1; the
    // updaters are destroyed before the line is printed.
    try {
        if (!RunCommand(argc, argv, setup)) {
            std::fflush(stdout);
            return 0;
        }
    } catch (const std::exception& error) {
        std::printf("\n******** Error: %s\n", error.what());
        run.exitStatus = 1;
    } catch (const zvAPIplus_Exception& error) {
        // The camera API wrapper's failures are not std::exceptions; the
        // operations that do not turn them into texts let them reach here.
        std::printf("\n******** Error zvAPI: %s\n", error.Description().c_str());
        run.exitStatus = 1;
    } catch (...) {
        std::printf("\n******** Error: %s\n", "Unknown error");
        run.exitStatus = 1;
    }
    std::printf("Done return %d\n", run.exitStatus);
    if (run.exitStatus == 0) {
        std::printf("All OK\n");
    }
    std::fflush(stdout);
    return run.exitStatus;
}
