// Single faults at every camera call of whole runs of the built program.
//
// Each run below is first made without a fault while the emulator traces
// every call of the camera API library. Then each kind of fault is put on
// each call of that trace in turn: an error code, an answer of success that
// did nothing, a write cut at its start, half way and one byte before its
// end, a read that delivers one wrong byte (at its start, middle and end, and
// at the bytes that decide what is done: the partition table's magic, the
// update-in-progress mark, the data version bytes and the firmware-ok mark),
// and the camera gone after its reset. For every case:
//   - the faulted run says "All OK" exactly when it ends with status 0, and
//     only with the camera as the run without the fault left it;
//   - the same command again, and the rest of the run after it, leave the
//     camera exactly as the run without a fault did, or, with the command
//     refused with an error, as it was before the command.
// The camera is compared by its flash files (its operation log aside) and
// the versions it runs. Every run's waits are virtual.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "file_io.h"
#include "fw_operation_log.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Args = std::vector<std::string>;
using zvtest::EmuDir;

constexpr const char* kJV966 = eeprom_test::kJV966;
constexpr const char* kJR574 = "JR574XX-D0-BSI-1";
constexpr std::int32_t kCalibratedVrd = 2300;
constexpr const char* kLogFile = "FwOperationLog.zip";
// An error code the camera API answers when a call fails.
constexpr int kErrorCode = 20;
// Gone after the reset for longer than any run waits for it.
constexpr int kGoneForOpens = 1000;

fs::path BinDir()
{
    return fs::path(e2e::ProgramPath()).parent_path();
}

// What a camera holds that its user cares about: its flash files (the
// operation log aside, whose lines carry times) and the versions it runs.
struct CameraState {
    std::map<std::string, Bytes> files;
    std::map<std::string, std::string> versions;
    bool operator==(const CameraState&) const = default;
};

// One call of a clean run, as the trace lists it.
struct TracedCall {
    std::size_t number = 0;  // in its process, from 1
    std::string line;
    std::string param;
    std::string file;  // the flash file selected on its handle
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    bool ok = false;
};

std::string FieldOf(const std::string& line, const std::string& key)
{
    const std::string tag = " " + key + "=";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + tag.size();
    return line.substr(from, line.find(' ', from) - from);
}

std::uint64_t NumberOf(const std::string& line, const std::string& key)
{
    const std::string text = FieldOf(line, key);
    return text.empty() ? 0 : std::stoull(text);
}

std::vector<TracedCall> ParseTrace(const std::vector<std::string>& lines)
{
    std::vector<TracedCall> calls;
    std::map<std::string, std::string> selected;  // handle -> flash file
    for (const std::string& line : lines) {
        TracedCall call;
        call.number = calls.size() + 1;
        call.line = line;
        call.param = FieldOf(line, "param");
        call.ok = FieldOf(line, "rc") == "0";
        const std::string handle = FieldOf(line, "handle");
        if (call.param == "ffs_file_name" && call.ok) {
            selected[handle] = FieldOf(line, "value");
        }
        call.file = selected[handle];
        call.size = NumberOf(line, "size");
        call.offset = NumberOf(line, "offset");
        calls.push_back(call);
    }
    return calls;
}

struct Fault {
    std::string hook;
    bool onCamera = false;  // a hook of camera 0, else library-wide
};

// The faults put on one call: every call fails with an error and answers
// success without doing anything; writes are cut; reads deliver a wrong
// byte.
std::vector<Fault> FaultsAt(const TracedCall& call)
{
    const std::string at = "callno=" + std::to_string(call.number);
    std::vector<Fault> faults = {{"fail " + at + " code=" + std::to_string(kErrorCode)}, {"fail " + at + " code=0"}};
    if (call.param == "write_file_ffs" && call.ok && call.size > 0) {
        for (std::uint64_t bytes : std::set<std::uint64_t>{0, call.size / 2, call.size - 1}) {
            faults.push_back({"cut " + at + " bytes=" + std::to_string(bytes)});
        }
    }
    if (call.param == "read_file_ffs" && call.ok && call.size > 0) {
        std::set<std::uint64_t> offsets = {call.offset, call.offset + call.size / 2, call.offset + call.size - 1};
        std::vector<std::uint64_t> deciding;
        if (call.file == "File_EEPROM1") {
            deciding = {eeprom_test::kTableOffset, eeprom_test::kFlagOffset, eeprom_test::kStructVersionOffset,
                        eeprom_test::kDefaultsVersionOffset};
        } else if (call.file.starts_with("File_FW_CPU")) {
            deciding = {0x22};
        }
        for (std::uint64_t offset : deciding) {
            if (offset >= call.offset && offset - call.offset < call.size) {
                offsets.insert(offset);
            }
        }
        for (std::uint64_t offset : offsets) {
            faults.push_back({"corrupt " + at + " at=" + std::to_string(offset)});
        }
    }
    return faults;
}

// A run of commands on a camera set up by `setUp`; `hooks` stay on camera 0
// for every command (the camera's own behaviour, not the fault under test).
struct Scenario {
    const char* name;
    int shards;
    std::function<void(EmuDir&)> setUp;
    std::vector<Args> commands;
    std::vector<std::string> hooks;
    // The camera leaving the bus after its reset is how it starts the new
    // firmware: the run has verified it and must say so. (A camera that is
    // reopened after its reset and does not come back fails the run.)
    bool goneAfterResetIsSuccess = false;
};

struct Case {
    std::size_t command = 0;
    Fault fault;
    std::string call;  // the traced call it aims at
};

class FaultMatrix : public ::testing::TestWithParam<std::tuple<const Scenario*, int>> {
protected:
    using Env = std::vector<std::pair<std::string, std::string>>;

    Env Environment() const { return {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}, {"ZVOS_VIRTUAL_SLEEP", "1"}}; }

    e2e::ProgramRun Run(const Args& args) { return e2e::RunProgram(args, "", Environment()); }

    CameraState StateOf() const
    {
        CameraState state;
        const std::string id = emu.CameraId(0);
        for (const auto& [name, size] : emu.State().ListFfsFiles(id)) {
            if (name != kLogFile) {
                state.files[name] = emu.State().ReadFfsFile(id, name).value_or(Bytes{});
            }
        }
        state.versions = emu.Camera(0).versions;
        return state;
    }

    // The emulator's cameras and the working directory, without hooks and trace.
    void Save(const fs::path& to) const
    {
        fs::create_directories(to);
        fs::copy(emu.Root(), to / "emu", fs::copy_options::recursive);
        fs::copy(fs::current_path(), to / "work", fs::copy_options::recursive);
    }
    void Restore(const fs::path& from)
    {
        for (const fs::path& dir : {emu.Root(), fs::current_path()}) {
            for (const auto& entry : fs::directory_iterator(dir)) {
                fs::remove_all(entry.path());
            }
        }
        fs::copy(from / "emu", emu.Root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy(from / "work", fs::current_path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        emu.ClearHooks(-1);
        emu.ClearHooks(0);
        emu.ClearTrace();
        for (const std::string& hook : scenario().hooks) {
            emu.Hook(0, hook);
        }
    }

    // Everything a run of the program starts from: the camera's flash files
    // and record (its log aside) and the files of the working directory (the
    // backups of single conversion steps aside). Runs from equal starts end
    // alike: nothing else feeds them.
    // Whether the camera's operation log can be read (and so continued).
    bool LogReadable() const
    {
        const std::optional<Bytes> archive = emu.State().ReadFfsFile(emu.CameraId(0), kLogFile);
        if (!archive) {
            return true;
        }
        testing::internal::CaptureStdout();  // the reason a log cannot be read
        const bool readable = UnpackFwLog(*archive).has_value();
        testing::internal::GetCapturedStdout();
        return readable;
    }

    std::size_t StartOfRun() const
    {
        std::string all = LogReadable() ? "log\n" : "no log\n";
        const CameraState camera = StateOf();
        for (const auto& [name, bytes] : camera.files) {
            all.append(name).append(1, '\0').append(bytes.begin(), bytes.end());
        }
        for (const auto& [name, version] : camera.versions) {
            all.append(name).append(1, '=').append(version);
        }
        for (const auto& entry : fs::recursive_directory_iterator(fs::current_path())) {
            const fs::path relative = fs::relative(entry.path(), fs::current_path());
            if (entry.is_regular_file() && *relative.begin() != "EEPROM_Backup") {
                const Bytes bytes = zvtest::ReadFile(entry.path());
                all.append(relative.string()).append(1, '\0').append(bytes.begin(), bytes.end());
            }
        }
        return std::hash<std::string>{}(all);
    }

    const Scenario& scenario() const { return *std::get<0>(GetParam()); }

    EmuDir emu;
    zvtest::TempDir files;
    eeprom_test::WorkingDirectory work{files.path() / "work"};
};

bool SaysAllOk(const e2e::ProgramRun& run)
{
    return run.out.ends_with("Done return 0\nAll OK\n");
}

std::string LastLines(const std::string& out, std::size_t count = 4)
{
    std::vector<std::string> lines;
    std::istringstream in(zvtest::WithoutProgress(out));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
        text += "    | " + lines[i] + "\n";
    }
    return text;
}

TEST_P(FaultMatrix, EverySingleFaultIsRecoveredAndNeverReportedAsSuccess)
{
    const Scenario& s = scenario();
    const int shard = std::get<1>(GetParam());
    s.setUp(emu);

    // The run without a fault: its statuses, the camera before and after
    // every command, and the calls of every command.
    const std::size_t n = s.commands.size();
    std::vector<fs::path> before(n + 1);
    std::vector<CameraState> states(n + 1);
    std::vector<int> statuses(n);
    std::vector<std::vector<TracedCall>> traces(n);
    for (std::size_t k = 0; k <= n; ++k) {
        before[k] = files.path() / ("before" + std::to_string(k));
        Save(before[k]);
        Restore(before[k]);
        states[k] = StateOf();
        if (k == n) {
            break;
        }
        emu.StartTrace();
        const e2e::ProgramRun run = Run(s.commands[k]);
        statuses[k] = run.status;
        traces[k] = ParseTrace(emu.Trace());
        ASSERT_EQ(SaysAllOk(run), run.status == 0) << run.out;
    }

    std::vector<Case> cases;
    for (std::size_t k = 0; k < n; ++k) {
        bool reset = false;
        for (const TracedCall& call : traces[k]) {
            for (const Fault& fault : FaultsAt(call)) {
                cases.push_back({k, fault, call.line});
            }
            reset = reset || (call.param == "device_reset" && call.ok);
        }
        if (reset) {
            cases.push_back({k, {"vanish opens=" + std::to_string(kGoneForOpens), true}, "after the reset"});
        }
    }

    // What the rerun from each start seen so far came to: "" when it ended
    // as it must, else what went wrong.
    std::vector<std::map<std::size_t, std::string>> rerunFrom(n);
    std::set<std::size_t> refusedFrom;
    for (std::size_t k = 0; k < n; ++k) {
        Restore(before[k]);
        rerunFrom[k][StartOfRun()] = "";
    }

    std::size_t ran = 0;
    std::size_t refused = 0;
    std::vector<std::string> failures;
    for (std::size_t index = static_cast<std::size_t>(shard); index < cases.size();
         index += static_cast<std::size_t>(s.shards)) {
        const Case& c = cases[index];
        ++ran;
        const std::string what = "command " + std::to_string(c.command + 1) + " (" + s.commands[c.command][0] + " " +
                                 s.commands[c.command][1] + "), " + c.fault.hook + " at: " + c.call + "\n";
        Restore(before[c.command]);
        emu.Hook(c.fault.onCamera ? 0 : -1, c.fault.hook);
        const e2e::ProgramRun faulted = Run(s.commands[c.command]);
        if (SaysAllOk(faulted) != (faulted.status == 0)) {
            failures.push_back(what + "  status " + std::to_string(faulted.status) +
                               " disagrees with its last lines\n" + LastLines(faulted.out));
            continue;
        }
        if (SaysAllOk(faulted) && (statuses[c.command] != 0 || !(StateOf() == states[c.command + 1]))) {
            failures.push_back(what + "  \"All OK\" in a wrong state\n" + LastLines(faulted.out));
            continue;
        }
        if (c.fault.hook.starts_with("vanish") && s.goneAfterResetIsSuccess && !SaysAllOk(faulted)) {
            failures.push_back(what + "  a verified programming reported as a failure\n" + LastLines(faulted.out));
            continue;
        }

        emu.ClearHooks(-1);
        emu.ClearHooks(0);
        for (const std::string& hook : s.hooks) {
            emu.Hook(0, hook);
        }
        // A start already seen for this command was already rerun (the run
        // without a fault is one of them).
        const std::size_t start = StartOfRun();
        if (const auto seen = rerunFrom[c.command].find(start); seen != rerunFrom[c.command].end()) {
            if (!seen->second.empty()) {
                failures.push_back(what + "  faulted run: status " + std::to_string(faulted.status) + "\n" +
                                   LastLines(faulted.out) + seen->second);
            }
            refused += seen->second.empty() && refusedFrom.contains(start) ? 1 : 0;
            continue;
        }
        std::string broken;
        bool refusedAgain = false;
        for (std::size_t k = c.command; k < n && broken.empty() && !refusedAgain; ++k) {
            const e2e::ProgramRun again = Run(s.commands[k]);
            if (again.status == statuses[k]) {
                continue;
            }
            // A refusal that leaves the camera as it was before the command.
            refusedAgain = k == c.command && again.status == 1 &&
                           again.out.find("\n******** Error") != std::string::npos && StateOf() == states[c.command];
            if (!refusedAgain) {
                broken = "  the command again (" + s.commands[k][0] + ") ended with status " +
                         std::to_string(again.status) + "\n" + LastLines(again.out);
            }
        }
        if (broken.empty() && !refusedAgain && !(StateOf() == states[n])) {
            broken = "  the camera differs from the run without a fault after the rerun\n" + LastLines(faulted.out);
        }
        // One torn log write must not stop all later logging.
        if (broken.empty() && !refusedAgain && !LogReadable()) {
            broken = "  the camera's operation log cannot be read after the rerun\n";
        }
        if (!broken.empty()) {
            failures.push_back(what + "  faulted run: status " + std::to_string(faulted.status) + "\n" +
                               LastLines(faulted.out) + broken);
        }
        rerunFrom[c.command][start] = broken;
        if (refusedAgain) {
            refusedFrom.insert(start);
            ++refused;
        }
    }

    std::printf("Fault matrix %s, part %d of %d: %zu cases of %zu (%zu recovered, %zu refused with the camera "
                "unchanged, %zu failed)\n",
                s.name, shard + 1, s.shards, ran, cases.size(), ran - refused - failures.size(), refused,
                failures.size());
    std::string report;
    for (std::size_t i = 0; i < failures.size() && i < 40; ++i) {
        report += failures[i];
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << ran << " cases failed:\n" << report;
}

// Two events in a row on the main job: a write of the update cut half way,
// then what an operator does next: the same command from another folder, a
// read of the camera, another camera in the same port, or the recovery with a
// second write cut half way. Whatever comes next says "All OK" only with the
// camera as an undisturbed run leaves it, fails otherwise with nothing
// written, and the command again from the first folder then finishes the job.
class FaultSequence : public FaultMatrix {
protected:
    Bytes Eeprom() const
    {
        return emu.State().ReadFfsFile(emu.CameraId(0), "File_EEPROM1").value_or(Bytes{});
    }
};

TEST_P(FaultSequence, WhatAnOperatorDoesNextAfterACutWrite)
{
    const Scenario& s = scenario();
    ASSERT_EQ(s.commands.size(), 1u);
    const Args& command = s.commands[0];
    const int shard = std::get<1>(GetParam());
    s.setUp(emu);
    const fs::path start = files.path() / "start";
    Save(start);
    Restore(start);
    const CameraState initial = StateOf();
    const zvemu::CameraRecord cameraA = emu.Camera(0);
    const std::string backupA = std::string("eeprom_backup_") + cameraA.model + "_" + cameraA.serial + ".bin";

    // The writes of a run (its log aside), as cut faults of the same calls.
    const auto cutsOf = [&](const std::vector<std::string>& trace) {
        std::vector<std::string> cuts;
        for (const TracedCall& call : ParseTrace(trace)) {
            if (call.param == "write_file_ffs" && call.ok && call.size > 0 && call.file != kLogFile) {
                cuts.push_back("cut callno=" + std::to_string(call.number) + " bytes=" + std::to_string(call.size / 2));
            }
        }
        return cuts;
    };
    emu.StartTrace();
    ASSERT_EQ(Run(command).status, 0);
    const CameraState done = StateOf();
    const std::vector<std::string> cuts = cutsOf(emu.Trace());
    ASSERT_FALSE(cuts.empty());

    std::vector<std::string> failures;
    std::string what;
    // A run's outcome: "All OK" only as the undisturbed run ends, else a
    // failure with the camera as `unchanged`.
    const auto check = [&](const std::string& step, const e2e::ProgramRun& r, const CameraState& unchanged) {
        if (SaysAllOk(r) != (r.status == 0)) {
            failures.push_back(what + step + ": status disagrees with its last lines\n" + LastLines(r.out));
        } else if (r.status == 0 && !(StateOf() == done)) {
            failures.push_back(what + step + ": \"All OK\" in a wrong state\n" + LastLines(r.out));
        } else if (r.status != 0 && !(StateOf() == unchanged)) {
            failures.push_back(what + step + ": failed after changing the camera\n" + LastLines(r.out));
        }
    };
    const auto finish = [&](const std::string& step) {
        const e2e::ProgramRun r = Run(command);
        if (r.status != 0 || !(StateOf() == done)) {
            failures.push_back(what + step + ", then the command again: status " + std::to_string(r.status) + "\n" +
                               LastLines(r.out));
        }
    };

    std::size_t ran = 0;
    for (std::size_t i = static_cast<std::size_t>(shard); i < cuts.size(); i += static_cast<std::size_t>(s.shards)) {
        ++ran;
        what = cuts[i] + ": ";
        const fs::path after = files.path() / ("after" + std::to_string(i));
        Restore(start);
        emu.Hook(0, cuts[i]);
        const e2e::ProgramRun faulted = Run(command);
        emu.ClearHooks(0);
        if (SaysAllOk(faulted) && !(StateOf() == done)) {
            failures.push_back(what + "\"All OK\" in a wrong state\n" + LastLines(faulted.out));
            continue;
        }
        Save(after);
        const CameraState cut = StateOf();
        const Bytes eeprom = Eeprom();
        const bool marked = eeprom.size() == eeprom_test::kImageSize && eeprom_test::TableOf(eeprom).flag == 1;

        // The same command from another folder, which holds no backup.
        {
            Restore(after);
            const fs::path other = files.path() / "other";
            fs::remove_all(other);
            fs::create_directories(other);
            fs::copy_file(command[2], other / command[2]);
            e2e::ProgramRun r;
            {
                const eeprom_test::WorkingDirectory there(other);
                r = Run(command);
            }
            check("from another folder", r, cut);
            if (marked && r.status == 0) {
                failures.push_back(what + "from another folder: an interrupted update finished without its backup\n");
            }
            finish("from another folder");
        }

        // Reads of the camera: nothing written, an interrupted update named.
        for (const Args& read : {Args{"dump", "EEPROM1", "read.bin", "--zvapi"}, Args{"info", "EEPROM1", "--zvapi"}}) {
            Restore(after);
            const e2e::ProgramRun r = Run(read);
            const bool named = r.status == 1 && r.out.find("was interrupted") != std::string::npos;
            if (!(StateOf() == cut) || (marked ? !named : r.status != 0)) {
                failures.push_back(what + read[0] + ": status " + std::to_string(r.status) + "\n" + LastLines(r.out));
            }
            finish(read[0]);
        }

        // Another camera in the same port: its own data, its own backup;
        // the first camera's backup stays for it.
        {
            Restore(after);
            const std::optional<Bytes> keptA =
                fs::exists(backupA) ? std::optional<Bytes>(zvtest::ReadFile(backupA)) : std::nullopt;
            zvemu::CameraRecord cameraB = cameraA;
            cameraB.serial = "ZVEMU2OTHER0";
            cameraB.versions = initial.versions;
            emu.State().SaveCamera(emu.CameraId(0), cameraB);
            for (const auto& [name, bytes] : initial.files) {
                emu.State().WriteFfsFile(emu.CameraId(0), name, bytes);
            }
            Args byPort = command;
            byPort.insert(byPort.end(), {"--camlocation", cameraA.locPath});
            const e2e::ProgramRun r = Run(byPort);
            if (r.status != 0 || !(StateOf() == done)) {
                failures.push_back(what + "another camera in the port: status " + std::to_string(r.status) + "\n" +
                                   LastLines(r.out));
            }
            const std::optional<Bytes> nowA =
                fs::exists(backupA) ? std::optional<Bytes>(zvtest::ReadFile(backupA)) : std::nullopt;
            if (nowA != keptA) {
                failures.push_back(what + "another camera in the port: the first camera's backup changed\n");
            }
            Restore(after);
            finish("the first camera back");
        }

        // The recovery cut at each of its writes, then the command again.
        Restore(after);
        emu.StartTrace();
        const e2e::ProgramRun recovery = Run(command);
        const std::vector<std::string> recoveryCuts = cutsOf(emu.Trace());
        emu.ClearHooks(-1);
        if (recovery.status != 0 || !(StateOf() == done)) {
            failures.push_back(what + "the recovery: status " + std::to_string(recovery.status) + "\n" +
                               LastLines(recovery.out));
        }
        for (const std::string& second : recoveryCuts) {
            Restore(after);
            emu.Hook(0, second);
            const e2e::ProgramRun r = Run(command);
            emu.ClearHooks(0);
            if (SaysAllOk(r) && !(StateOf() == done)) {
                failures.push_back(what + "recovery " + second + ": \"All OK\" in a wrong state\n" + LastLines(r.out));
            }
            finish("recovery " + second);
        }
    }

    std::printf("Fault sequences %s, part %d of %d: %zu cut writes\n", s.name, shard + 1, s.shards, ran);
    std::string report;
    for (std::size_t i = 0; i < failures.size() && i < 40; ++i) {
        report += failures[i];
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures:\n" << report;
}

// ---- the runs ---------------------------------------------------------------

// The model's defaults at data version (s, d) with one field calibrated.
Bytes CalibratedImage(const char* model, const char* cpu, std::uint8_t s, std::uint8_t d)
{
    return eeprom_test::DefaultsImage(model, cpu, s, d, [&](CalibDataStructureConverter& c) {
        if (std::string_view(model) == kJR574) {
            eeprom_test::SetField(c, 0, "V_VREF", 37);
        } else {
            eeprom_test::SetField(c, 0, "VRD", kCalibratedVrd);
        }
    });
}

void AddCamera(EmuDir& emu, const char* model, const char* cpuParam, const char* cpu, const Bytes& eeprom)
{
    emu.AddCamera(model, [&](zvemu::CameraRecord& r) { r.versions[cpuParam] = cpu; });
    emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1", eeprom);
}

void DemoFirmware(const std::string& version, const std::string& name)
{
    const zv::os::ProcessResult made =
        zv::os::RunProcess((BinDir() / "zv-demo-firmware").string(), {"--version", version, name}, "", {});
    ASSERT_EQ(made.exitStatus, 0) << made.out;
}

// The main job: data at 2.1 converted to 2.3 for CPU firmware 02.60.
void MainJobCamera(EmuDir& emu)
{
    AddCamera(emu, kJV966, "version_mcu1", "02.50", CalibratedImage(kJV966, "02.50", 2, 1));
    DemoFirmware("02.60", "JV966_CPU1_V02.60.bin");
}

// A calibrated camera whose listing is patched: the patch sets VRD anew.
void PatchedCamera(EmuDir& emu)
{
    const Bytes image = CalibratedImage(kJV966, "02.50", 2, 3);
    AddCamera(emu, kJV966, "version_mcu1", "02.50", image);
    zvtest::WriteFile("JV966_listed.bin", image);
    const e2e::ProgramRun listed = e2e::RunProgram({"extract", "EEPROM1", "JV966_listed.bin", "--zvapi", "--model",
                                                    kJV966, "--new_fw_ver", "02.50", "--eeprom_ver", "02.03"},
                                                   "", {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}});
    ASSERT_EQ(listed.status, 0) << listed.out;
    const std::string csv = zvtest::ReadText(std::string("JV966_listed.bin_") + kJV966 + "_V02.03.csv");
    const std::string patched = std::regex_replace(csv, std::regex(",VRD,[0-9.]+,"), ",VRD,2.350,");
    ASSERT_NE(patched, csv);
    zvtest::WriteText("JV966_patch.csv", patched);
}

const Args kMainJob = {"prog", "CPU1", "JV966_CPU1_V02.60.bin", "--zvapi"};

const Scenario kScenarios[] = {
    {"MainJob", 8, MainJobCamera, {kMainJob}, {}, true},
    {"MainJobFirmwareWriteFails", 8, MainJobCamera, {kMainJob}, {"fail param=write_file_ffs code=8 file=File_FW_CPU1"}},
    {"UpgradeJR574Through11Steps",
     3,
     [](EmuDir& emu) { AddCamera(emu, kJR574, "version_mcu2", "04.00", CalibratedImage(kJR574, "04.00", 2, 0)); },
     {{"upgrade", "EEPROM1", "--zvapi"}},
     {}},
    {"DumpExtractInsertProg",
     3,
     PatchedCamera,
     {{"dump", "EEPROM1", "JV966_dump.bin", "--zvapi"},
      {"extract", "EEPROM1", "JV966_dump.bin", "--zvapi", "--model", kJV966, "--new_fw_ver", "02.50", "--eeprom_ver",
       "02.03"},
      {"insert", "EEPROM1", "JV966_dump.bin", "--zvapi", "--model", kJV966, "--cur_fw_ver", "02.50", "--patch_file",
       "JV966_patch.csv", "--output_file_name", "JV966_inserted.bin"},
      {"prog", "EEPROM1", "JV966_inserted.bin", "--plain_file", "--zvapi"}},
     {}},
    {"ProgJR574Cpu2WithReopen",
     3,
     // Its data already fit the new firmware: the run is about the write, the
     // reset and the reopening (the main job covers a conversion before them).
     [](EmuDir& emu) {
         CalibDataStructureConverter versions;
         versions.SetCameraModel(kJR574);
         versions.SetCpuFirmwareVersion("04.00");
         AddCamera(emu, kJR574, "version_mcu2", "04.00",
                   CalibratedImage(kJR574, "04.00", versions.GetEepromDataStructVersionForCurrentCpu(),
                                   versions.GetCameraModeDefaultsVersionForCurrentCpu()));
         DemoFirmware("04.10", "JR574_CPU2_V04.10.bin");
     },
     {{"prog", "CPU2", "JR574_CPU2_V04.10.bin", "--zvapi"}},
     {"vanish opens=2"}},
};

const Scenario kMainJobSequence = {"MainJob", 4, MainJobCamera, {kMainJob}, {}, true};

std::vector<std::tuple<const Scenario*, int>> Parts()
{
    std::vector<std::tuple<const Scenario*, int>> parts;
    for (const Scenario& s : kScenarios) {
        for (int shard = 0; shard < s.shards; ++shard) {
            parts.emplace_back(&s, shard);
        }
    }
    return parts;
}

// The main job, in parts of its own.
std::vector<std::tuple<const Scenario*, int>> SequenceParts()
{
    std::vector<std::tuple<const Scenario*, int>> parts;
    for (int shard = 0; shard < kMainJobSequence.shards; ++shard) {
        parts.emplace_back(&kMainJobSequence, shard);
    }
    return parts;
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSequence, ::testing::ValuesIn(SequenceParts()),
                         [](const ::testing::TestParamInfo<std::tuple<const Scenario*, int>>& info) {
                             return std::string(std::get<0>(info.param)->name) + "_part" +
                                    std::to_string(std::get<1>(info.param) + 1);
                         });

INSTANTIATE_TEST_SUITE_P(Runs, FaultMatrix, ::testing::ValuesIn(Parts()),
                         [](const ::testing::TestParamInfo<std::tuple<const Scenario*, int>>& info) {
                             return std::string(std::get<0>(info.param)->name) + "_part" +
                                    std::to_string(std::get<1>(info.param) + 1);
                         });

}  // namespace
