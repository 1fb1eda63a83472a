// Programming a camera's own CPU firmware with the built program (--zvapi) on
// emulated cameras: the README's main job and what a person tries after it,
// the steps before and after the write (EEPROM data conversion, bootloader
// versions, CPU reset, reopening a "JR" camera), and the EEPROM data put back
// when the firmware does not make it into the camera. Every run's waits are
// virtual (ZVOS_VIRTUAL_SLEEP=1).

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include "file_io.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

using zvtest::ReadFile;
using zvtest::WithoutProgress;

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::TableOf;
using zvtest::EmuDir;
using Bytes = std::vector<std::uint8_t>;

namespace fs = std::filesystem;

constexpr const char* kJV966 = eeprom_test::kJV966;
constexpr const char* kJR574 = "JR574XX-D0-BSI-1";
const std::string kDone = "Done return 0\nAll OK\n";
const std::string kFailed = "Done return 1\n";
const std::string kReset = "Setting firmware magic by resetting CPU ...   \nResetting CPU done   \n";
const std::string kConversion = "Reading EEPROM data...\nReading...\nRead done OK  \n"
                                "Creating EEPROM data backup before update...\n"
                                "Erasing/Writing...\nErase/Write done OK  \n"
                                "Starting EEPROM data update...\n"
                                "Erasing/Writing...\nErase/Write done OK  \n"
                                "EEPROM data update verification...\n"
                                "Reading...\nRead done OK  \n"
                                "EEPROM data update finished...\n";
// Once the firmware reads back, the converted data lose their mark.
const std::string kMarkCleared = "Erasing/Writing...\nErase/Write done OK  \n";
const std::string kBootloader = "Current bootloader version in camera: 00030161, aux: 00000000\n"
                                "Bootloader updating is disabled. Not needed.\n";

fs::path BinDir()
{
    return fs::path(e2e::ProgramPath()).parent_path();
}

std::size_t Count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) {
        ++n;
    }
    return n;
}

class ModelStepsRun : public ::testing::Test {
protected:
    std::vector<std::pair<std::string, std::string>> Env() const
    {
        return {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}, {"ZVOS_VIRTUAL_SLEEP", "1"}};
    }

    e2e::ProgramRun Run(std::vector<std::string> args)
    {
        args.push_back("--zvapi");
        return e2e::RunProgram(args, "", Env());
    }

    e2e::ProgramRun Tool(const std::string& name, const std::vector<std::string>& args)
    {
        const zv::os::ProcessResult r = zv::os::RunProcess((BinDir() / name).string(), args, "", Env());
        return {r.out, r.err, r.timedOut ? -1 : r.exitStatus};
    }

    // A demo CPU firmware file of the version, in the working directory.
    std::string Firmware(const std::string& name, const std::string& version)
    {
        const e2e::ProgramRun made = Tool("zv-demo-firmware", {"--version", version, name});
        EXPECT_EQ(made.status, 0) << made.out;
        return name;
    }

    // A JV966 at CPU 02.50 with data still at 2/1, as the main job's camera.
    void AddDefaultCamera(const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args = {
            "add", "--model", kJV966, "--serial", "ZVEMU21070A0", "--cpu-version", "02.50", "--eeprom-version", "2.1"};
        args.insert(args.end(), more.begin(), more.end());
        const e2e::ProgramRun added = Tool("zvcam-emu", args);
        ASSERT_EQ(added.status, 0) << added.out;
    }

    std::string CpuVersion(unsigned index) const
    {
        const zvemu::CameraRecord r = emu.Camera(index);
        return r.Version(r.CpuVersionParam());
    }

    Bytes Stored(unsigned index, const std::string& file) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), file).value_or(Bytes{});
    }

    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
};

TEST_F(ModelStepsRun, TheMainJobAndWhatAPersonTriesAfterIt)
{
    // The README's run command runs this script after building.
    const zv::os::ProcessResult job = zv::os::RunProcess(ZV_SOURCE_DIR "/scripts/main-job",
                                                         {BinDir().string(), (emu.Root() / "job").string()}, "", Env());
    const std::string banner = "Adding the default emulated camera in " + emu.Root().string() + ":\n";
    EXPECT_EQ(job.exitStatus, 0) << job.out;
    EXPECT_EQ(job.err, "");
    const std::string out = WithoutProgress(job.out);
    EXPECT_TRUE(out.starts_with(banner)) << out;
    EXPECT_NE(out.find("JV966_CPU1_V02.60.bin: CPU firmware 02.60, 64512 bytes\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Programming\n"), std::string::npos);
    EXPECT_TRUE(out.ends_with("Device ID:ZVEMU-DEV-0000\n" + kConversion + kBootloader +
                              "Writing FW\nErasing/Writing...\nErase/Write done OK  \n"
                              "Verifying...\nRead done OK  \n"
                              "Firmware_ok_mark on position 0x0022 read:xFF\n"
                              "Firmware_ok_mark shows, that firmware is not yet confirmed to run\n"
                              "Compare done OK  \n" +
                              kMarkCleared + kReset + "Operation done OK  \n" + kDone))
        << out;
    EXPECT_EQ(CpuVersion(0), "02.60");
    const Bytes eeprom = Stored(0, "File_EEPROM1");
    EXPECT_EQ(TableOf(eeprom).structVersion, 2);
    EXPECT_EQ(TableOf(eeprom).defaultsVersion, 3);
    EXPECT_EQ(TableOf(eeprom).flag, 0);
    EXPECT_TRUE(fs::exists(emu.Root() / "job" / "eeprom_backup_JV966JK-TD-G8-V7T9-JND_ZVEMU21070A0.bin"));

    // The same job again: the camera is there, its data already fit.
    const zv::os::ProcessResult again = zv::os::RunProcess(
        ZV_SOURCE_DIR "/scripts/main-job", {BinDir().string(), (emu.Root() / "job").string()}, "", Env());
    EXPECT_EQ(again.exitStatus, 0) << again.out;
    EXPECT_EQ(Count(again.out, "Adding the default"), 0u);
    EXPECT_EQ(Count(again.out, "Starting EEPROM data update"), 0u);
    EXPECT_TRUE(WithoutProgress(again.out).ends_with(kReset + "Operation done OK  \n" + kDone));

    // What a person tries next.
    const std::string firmware = (emu.Root() / "job" / "JV966_CPU1_V02.60.bin").string();
    struct Try {
        std::vector<std::string> args;
        std::string shown;  // on the console, in the run's last lines
    };
    const Try tries[] = {
        {{"verify", "CPU1", firmware}, "Compare done OK  \nOperation done OK  \nVerify done OK\n"},
        {{"info", "CPU1", "--number_of_led_blinks_on_end", "2"}, "Detected version V02.60\n"},
        {{"info", "EEPROM1"}, "Detected version V02.03\n"},
        {{"dump", "CPU1", "cpu1.bin"}, "Read done OK\nOperation done OK  \nDump done OK  \n"},
        {{"dump", "EEPROM1", "eeprom.bin"}, "Operation done OK  \nDump done OK  \n"},
        // The data already are what the running firmware needs.
        {{"upgrade", "EEPROM1"}, "Read done OK  \nOperation done OK  \n"},
        {{"listdevpaths"}, "Device id:0 location: " + emu.Camera(0).locPath + "\n"},
        {{"diff", "EEPROM1"}, "Diff evaluation finished\nNo changes found\n"},
    };
    for (const Try& t : tries) {
        SCOPED_TRACE(t.args[0] + " " + (t.args.size() > 1 ? t.args[1] : ""));
        const e2e::ProgramRun r = Run(t.args);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(WithoutProgress(r.out).ends_with(t.shown + kDone)) << r.out;
    }
    // The dumped CPU firmware is the file's image, confirmed by the camera.
    const Bytes dumped = ReadFile("cpu1.bin");
    ASSERT_EQ(dumped.size(), 0xFC00u);
    EXPECT_EQ(dumped[0x22], 0xA5);
    EXPECT_EQ(dumped[6], 0x02);
    EXPECT_EQ(dumped[5], 0x60);
    EXPECT_EQ(ReadFile("eeprom.bin"), Stored(0, "File_EEPROM1"));
    // Two rounds, off and then on, leave the LEDs on.
    EXPECT_EQ(emu.Camera(0).ledModes, (std::map<int, int>{{1, 8}, {2, 8}}));
}

// The README's run command, with stand-ins for the package tools and the
// build (each logs its call): it configures once, shows the build's progress,
// installs only missing packages and stops on a failed build.
TEST_F(ModelStepsRun, TheRunCommandRedoesOnlyWhatIsNeeded)
{
    const fs::path repo = emu.Root() / "repo";
    const fs::path tools = emu.Root() / "tools";
    fs::create_directories(repo / "scripts");
    fs::create_directories(tools);
    for (const char* script : {"run", "install-deps", "main-job"}) {
        fs::copy_file(fs::path(ZV_SOURCE_DIR) / "scripts" / script, repo / "scripts" / script);
        fs::permissions(repo / "scripts" / script, fs::perms::owner_all);
    }
    const fs::path log = emu.Root() / "calls.log";
    const auto tool = [&](const std::string& name, const std::string& body) {
        std::ofstream(tools / name) << "#!/bin/sh\nprintf '%s\\n' \"" << name << " $*\" >> '" << log.string() << "'\n"
                                    << body;
        fs::permissions(tools / name, fs::perms::owner_all);
    };
    // The build links the real programs into build/run/bin.
    std::string link;
    for (const char* program : {"zvcamupdater", "zvcam-emu", "zv-demo-firmware"}) {
        link += "ln -sf '" + (BinDir() / program).string() + "' build/run/bin/\n";
    }
    tool("cmake", "case \"$1\" in\n"
                  "-S) mkdir -p build/run && touch build/run/CMakeCache.txt build/run/build.ninja ;;\n"
                  "--build) [ -n \"$FAIL_BUILD\" ] && { echo 'a.cpp:1: error' >&2; exit 2; }\n"
                  "  echo '[1/2] Building CXX object a.o'; echo '[2/2] Linking CXX executable zvcamupdater'\n"
                  "  mkdir -p build/run/bin\n" +
                      link + ";;\nesac\n");
    tool("dpkg-query", "for p in \"$@\"; do case \"$p\" in -*) ;; $MISSING) ;; *) echo \"$p ii \" ;; esac; done\n");
    tool("apt-get", "");
    tool("sudo", "exec \"$@\"\n");

    const auto run = [&](const std::string& missing = "none", const std::string& failBuild = "") {
        std::vector<std::pair<std::string, std::string>> env = Env();
        env.emplace_back("PATH", tools.string() + ":" + std::getenv("PATH"));
        env.emplace_back("MISSING", missing);
        env.emplace_back("FAIL_BUILD", failBuild);
        return zv::os::RunProcess((repo / "scripts" / "run").string(), {"info", "CPU1", "--zvapi"}, "", env);
    };
    const auto calls = [&] { return zvtest::ReadText(log); };
    const std::string configure =
        "cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZV_BUILD_TESTS=OFF\n";

    // First run: configured, then built with its progress shown.
    const zv::os::ProcessResult first = run();
    EXPECT_EQ(first.exitStatus, 0) << first.out << first.err;
    EXPECT_TRUE(first.out.starts_with("Building the program in build/run (the first build takes a few minutes)...\n"
                                      "[1/2] Building CXX object a.o\n"
                                      "[2/2] Linking CXX executable zvcamupdater\n"))
        << first.out;
    EXPECT_TRUE(first.out.ends_with("Detected version V02.50\n" + kDone)) << first.out;
    EXPECT_NE(first.out.find("\nEmulated cameras: " + emu.Root().string() + "\n"), std::string::npos) << first.out;
    EXPECT_TRUE(
        std::regex_match(calls(), std::regex("dpkg-query .*\n" + configure + "cmake --build build/run -j[0-9]+\n")))
        << calls();

    // Later runs: no configure, no install, only the incremental build.
    fs::remove(log);
    const zv::os::ProcessResult second = run();
    EXPECT_EQ(second.exitStatus, 0) << second.out << second.err;
    EXPECT_EQ(second.out.find("Building the program"), std::string::npos);
    EXPECT_TRUE(second.out.ends_with("Detected version V02.50\n" + kDone)) << second.out;
    EXPECT_TRUE(std::regex_match(calls(), std::regex("dpkg-query .*\ncmake --build build/run -j[0-9]+\n"))) << calls();

    // A build folder configured with another generator is configured anew,
    // keeping what else it holds.
    fs::remove(log);
    fs::remove(repo / "build" / "run" / "build.ninja");
    fs::create_directories(repo / "build" / "run" / "CMakeFiles");
    std::ofstream(repo / "build" / "run" / "keep.txt") << "x";
    EXPECT_EQ(run().exitStatus, 0);
    EXPECT_TRUE(
        std::regex_match(calls(), std::regex("dpkg-query .*\n" + configure + "cmake --build build/run -j[0-9]+\n")))
        << calls();
    EXPECT_FALSE(fs::exists(repo / "build" / "run" / "CMakeFiles"));
    EXPECT_TRUE(fs::exists(repo / "build" / "run" / "keep.txt"));

    // A missing package is installed, and only that one.
    fs::remove(log);
    EXPECT_EQ(run("zip").exitStatus, 0);
    EXPECT_NE(calls().find("apt-get update\n"), std::string::npos) << calls();
    EXPECT_NE(calls().find("apt-get install -y --no-install-recommends zip\n"), std::string::npos) << calls();

    // A failed build shows its error and runs nothing.
    const zv::os::ProcessResult failed = run("none", "1");
    EXPECT_NE(failed.exitStatus, 0);
    EXPECT_EQ(failed.err, "a.cpp:1: error\n");
    EXPECT_EQ(failed.out.find("Detected version"), std::string::npos) << failed.out;
}

TEST_F(ModelStepsRun, TheStepsAroundTheWriteAsTheFileAndOptionsAsk)
{
    struct Case {
        const char* what;
        std::vector<std::string> add;   // more zvcam-emu add options
        std::string version;            // of the demo firmware
        std::vector<std::string> args;  // after "prog"
        std::vector<std::string> shown;
        std::vector<std::string> absent;
        std::string runs;     // CPU version afterwards
        int defaultsVersion;  // of the data afterwards
        int status = 0;
    };
    const std::string noSteps[] = {"EEPROM data", "ootloader", "resetting"};
    const Case cases[] = {
        {"another file of the model",
         {},
         "02.60",
         {"FPGA1", "JV966_fpga.bin", "--plain_file"},
         {"Compare done OK  \nOperation done OK  \n"},
         {noSteps[0], noSteps[1], noSteps[2]},
         "02.50",
         1},
        {"the data left alone",
         {},
         "02.60",
         {"CPU1", "JV966_cpu.bin", "--skip_eeprom_upgrade"},
         {kBootloader + "Writing FW\n", kReset},
         {noSteps[0]},
         "02.60",
         1},
        // Bytes 5 and 6 of 0x20 and 0x03: the new version is 03.20.
        {"the version in the image",
         {},
         "03.20",
         {"CPU1", "JV966_cpu.bin"},
         {kConversion + kBootloader + "Writing FW\n", kReset},
         {},
         "03.20",
         3},
        {"no main bootloader version",
         {"--bootloader", "0", "--aux-bootloader", "0x30101"},
         "02.60",
         {"CPU1", "JV966_cpu.bin", "--skip_eeprom_upgrade"},
         {"Current bootloader version in camera: 00000000, aux: 00030101\n"},
         {},
         "02.60",
         1},
        {"another --new_fw_ver than the image's",
         {},
         "03.20",
         {"CPU1", "JV966_cpu.bin", "--new_fw_ver", "03.30"},
         {"Device ID:ZVEMU-DEV-0000\n\n******** Error: 03.20\n" + kFailed},
         {"Reading EEPROM", "Writing FW"},
         "02.50",
         1,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmuDir fresh;
        const auto env = std::vector<std::pair<std::string, std::string>>{{"ZVAPI_EMULATOR_DIR", fresh.Root().string()},
                                                                          {"ZVOS_VIRTUAL_SLEEP", "1"}};
        std::vector<std::string> add = {"add", "--model", kJV966, "--cpu-version", "02.50", "--eeprom-version", "2.1"};
        add.insert(add.end(), c.add.begin(), c.add.end());
        ASSERT_EQ(zv::os::RunProcess((BinDir() / "zvcam-emu").string(), add, "", env).exitStatus, 0);
        Firmware(c.args[1], c.version);

        std::vector<std::string> args = {"prog"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--zvapi");
        const e2e::ProgramRun r = e2e::RunProgram(args, "", env);
        const std::string out = WithoutProgress(r.out);
        EXPECT_EQ(r.status, c.status) << out;
        for (const std::string& piece : c.shown) {
            EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n---\n" << out;
        }
        for (const std::string& piece : c.absent) {
            EXPECT_EQ(out.find(piece), std::string::npos) << piece << "\n---\n" << out;
        }
        const zvemu::CameraRecord camera = fresh.Camera(0);
        EXPECT_EQ(camera.Version("version_mcu1"), c.runs);
        EXPECT_EQ(
            TableOf(fresh.State().ReadFfsFile(fresh.CameraId(0), "File_EEPROM1").value_or(Bytes{})).defaultsVersion,
            c.defaultsVersion);
    }
}

TEST_F(ModelStepsRun, AJrCameraIsOpenedAgainAfterItsReset)
{
    // Its own family decides, whatever --model names; back after three
    // seconds (gone for two opens).
    emu.AddCamera(kJR574, [](zvemu::CameraRecord& r) { r.versions["version_mcu2"] = "03.50"; });
    emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1", DefaultsImage(kJR574, "03.50", 2, 1));
    emu.Hook(0, "vanish opens=2");
    const std::string file = Firmware("JR574_CPU2_V04.00.bin", "04.00");
    const e2e::ProgramRun r = Run({"prog", "CPU2", file, "--model", kJV966});
    EXPECT_EQ(r.status, 0) << r.out;
    const zvemu::CameraRecord jr = emu.Camera(0);
    EXPECT_TRUE(WithoutProgress(r.out).ends_with("Compare done OK  \n" + kMarkCleared + kReset +
                                                 "Reopening USB cameras...\n"
                                                 "Trying to reopen...(20)\n"
                                                 "Trying to reopen...(19)\n"
                                                 "Trying to reopen...(18)\n"
                                                 "Camera SN:" +
                                                 jr.serial + ", Model:" + kJR574 +
                                                 ", FPGA1:V01.00\nDevice ID:ZVEMU-DEV-0000\n"
                                                 "Reopened OK\nOperation done OK  \n" +
                                                 kDone))
        << r.out;
    EXPECT_NE(r.out.find("Current bootloader version in camera: 00030161, aux: 00000000\n"), std::string::npos);
    EXPECT_EQ(jr.Version("version_mcu2"), "04.00");
    EXPECT_EQ(TableOf(Stored(0, "File_EEPROM1")).structVersion, 3);
}

TEST_F(ModelStepsRun, ConvertedDataAreRestoredWhenTheFirmwareFails)
{
    struct Case {
        std::string hook;
        std::string error;
    };
    const Case cases[] = {
        {"fail param=write_file_ffs code=8 file=File_FW_CPU1",
         "Write block error (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)"},
        {"corrupt at=300 file=File_FW_CPU1", "Verifying of written file failed (different content)."},
    };
    AddDefaultCamera();
    const Bytes original = Stored(0, "File_EEPROM1");
    const std::string file = Firmware("JV966_CPU1_V02.60.bin", "02.60");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hook);
        emu.ClearHooks(0);
        emu.Hook(0, c.hook);
        const e2e::ProgramRun r = Run({"prog", "CPU1", file});
        EXPECT_EQ(r.status, 1);
        const std::string out = WithoutProgress(r.out);
        EXPECT_NE(out.find("EEPROM data update finished...\n"), std::string::npos) << out;
        // The converted data still carry their mark: the backup goes in, is
        // read back, then the backup's own table takes the mark away.
        EXPECT_NE(out.find("CPU firmware was not programmed, restoring EEPROM data from before the update...\n"
                           "Erasing/Writing...\nErase/Write done OK  \n"
                           "Reading...\nRead done OK  \n"
                           "Erasing/Writing...\nErase/Write done OK  \n"
                           "EEPROM data restored from eeprom_backup_JV966JK-TD-G8-V7T9-JND_ZVEMU21070A0.bin\n"
                           "\n******** Error: " +
                           c.error + "\n" + kFailed),
                  std::string::npos)
            << out;
        EXPECT_EQ(Count(out, "resetting"), 0u);
        EXPECT_EQ(Stored(0, "File_EEPROM1"), original);
        EXPECT_EQ(CpuVersion(0), "02.50");
    }
}

TEST_F(ModelStepsRun, TheDiffOfACameraUsesItsOwnModel)
{
    AddDefaultCamera();
    const e2e::ProgramRun r = Run({"diff", "EEPROM1", "--model", "JR574XX-D0-BSI-1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(
        r.out.find("Camera model JV966JK-TD-G8-V7T9-JND is used for the camera's EEPROM data, not "
                   "JR574XX-D0-BSI-1\n"
                   "Using camera JV966JK-TD-G8-V7T9-JND current CPU firmware version 02.50 for diff operation.\n"),
        std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::exists("JV966JK-TD-G8-V7T9-JND_CPU_02.50_EEPROM_02_03_diff.txt"));
}

}  // namespace
