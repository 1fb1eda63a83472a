// Bad input and failing cameras on the direct USB3 path: refusals that come
// before anything is erased, interrupted programming and its rerun, the info
// partition that is never lost, and two runs on one camera.

#include "usb3_e2e_support.h"

#include <gmock/gmock.h>

#include "os_named_lock.h"
#include "u3_device.h"

#include <cstdlib>
#include <thread>

namespace {

using namespace usb3e2e;
using ::testing::HasSubstr;

constexpr std::uint32_t kInfo = 0x50000;
const std::string kInUse = "The camera is in use by another run of the updater, waiting for it to finish...\n";
const std::string kStillInUse = "\n******** Error: The camera is still in use by another run of the updater; nothing "
                                "was written. Run the command again once the other run has finished\n";

TEST_F(Usb3Test, BadInputIsRefusedBeforeAnythingIsErased)
{
    const unsigned camera = AddUsb3(1, [](zvemu::Usb3Seed& s) { s.face.ccd = true; });
    const auto before = Memories(camera);
    Bytes cpu3 = Payload(0x200);
    cpu3[1] = 0x02;  // 0x201 bytes to program from a file of 0x200
    cpu3[2] = 0x01;
    struct Row {
        std::vector<std::string> args;
        std::string error;
    };
    const Row rows[] = {
        // The camera keeps a generation-1 map: generation 0 would write FPGA1 and XMLMAN elsewhere.
        {{"prog", "FPGA1", FirmwareFile("fpga1.bin", Payload(0x1000))},
         "The camera's memory map keeps FPGA1 at x60000 size x300000, camera generation 0 at x60000 size xa0000: "
         "wrong camera generation option (--u3v_cam, --ucam_type1 to --ucam_type4); nothing written"},
        {{"prog", "XMLMAN", FirmwareFile("xml.bin", Payload(0x100)), "--ucam_type3"},
         "The camera's memory map keeps XMLMAN at x560000 size x80000, camera generation 3 at x300000 size x40000: "
         "wrong camera generation option (--u3v_cam, --ucam_type1 to --ucam_type4); nothing written"},
        {{"prog", "CPU1", FirmwareFile("big.bin", Payload(0x40001)), "--u3v_cam"},
         "Error invalid file size for selected firmware"},
        {{"prog", "CPU3", FirmwareFile("cpu3.bin", cpu3), "--u3v_cam", "--ccd"},
         "Error invalid CPU3 firmware length: it runs past the end of the file"},
        {{"prog", "FLAG_U3V", "yes", "--u3v_cam"}, "Invalid flag value 'yes': 0 or 1 expected"},
        {{"prog", "FLAG_U2F", "2", "--u3v_cam"}, "Invalid flag value '2': 0 or 1 expected"},
        {{"prog", "CPU4", FirmwareFile("cpu4.bin", Payload(0x1000)), "--fw_start", "800", "--fw_stop", "1001",
          "--u3v_cam"},
         "Error invalid firmware window x800-x1001 for a file of x1000 bytes"},
        {{"prog", "CPU4", FirmwareFile("cpu4.bin", Payload(0x1000)), "--fw_start", "900", "--fw_stop", "800",
          "--u3v_cam"},
         "Error invalid firmware window x800-x800 for a file of x1000 bytes"},
        {{"prog", "CPU1", work.File("missing.bin"), "--u3v_cam"}, "LoadFile - Can not open fw file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        const e2e::ProgramRun r = RunQuiet(row.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr("\n******** Error: " + row.error + "\n" + kFailed));
        EXPECT_THAT(r.out, ::testing::Not(HasSubstr("FW flash erasing")));
    }
    EXPECT_EQ(Memories(camera), before);
}

TEST_F(Usb3Test, StuckFlashAndSilentCamerasFailClearly)
{
    const unsigned camera = AddUsb3(0);
    const std::string fpga = FirmwareFile("fpga1.bin", Payload(0x1000));
    emu.Hook(static_cast<int>(camera), "u3busy");
    e2e::ProgramRun r = RunQuiet({"prog", "FPGA1", fpga});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("FW flash erasing - sect:0\n\n******** Error: SectorErase does not respond\n"));

    emu.ClearHooks(static_cast<int>(camera));
    emu.Hook(static_cast<int>(camera), "u3silent nth=40");
    r = RunQuiet({"prog", "FPGA1", fpga});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("******** Error: "));
    EXPECT_THAT(r.out, HasSubstr(kFailed));

    // A dump that fails half way leaves no file that looks complete.
    emu.ClearHooks(static_cast<int>(camera));
    emu.Hook(static_cast<int>(camera), "u3ack answer=error req=0xE6 nth=500");
    const std::string dump = work.File("mmdesc.bin");
    r = RunQuiet({"dump", "MMDESC", dump});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("******** Error: Read device_info fails\n"));
    EXPECT_FALSE(std::filesystem::exists(dump));
    EXPECT_FALSE(std::filesystem::exists(dump + ".partial"));
}

TEST_F(Usb3Test, EndlessRepliesOfTheCcdBootLoaderEndTheRun)
{
    const unsigned camera = AddUsb3(0, [](zvemu::Usb3Seed& s) { s.face.ccd = true; });
    Bytes cpu3 = Payload(0x400);
    cpu3[1] = 0x04;
    cpu3[2] = 0x00;
    const std::string file = FirmwareFile("cpu3.bin", cpu3);
    for (const char* hook : {"u3c51 replies=endless", "u3c51 replies=empty"}) {
        SCOPED_TRACE(hook);
        emu.ClearHooks(static_cast<int>(camera));
        emu.Hook(static_cast<int>(camera), hook);
        const e2e::ProgramRun r = RunQuiet({"prog", "CPU3", file, "--ccd"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_THAT(r.out, HasSubstr(kFailed));
    }
}

TEST_F(Usb3Test, AMcuThatDoesNotComeBackFailsTheRun)
{
    struct Row {
        std::string type;
        std::function<void(zvemu::Usb3Seed&)> seed;
        Bytes payload;
    };
    Bytes cpu3 = Payload(0x400);
    cpu3[1] = 0x04;
    cpu3[2] = 0x00;
    const Row rows[] = {{"CPU3", {}, cpu3}, {"CPU5", {}, Payload(0x400)}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        emu.State().RemoveAll();
        const unsigned camera = AddUsb3(0, row.seed);
        emu.Hook(static_cast<int>(camera), "vanish opens=40");
        const e2e::ProgramRun r = RunQuiet({"prog", row.type, FirmwareFile("mcu.bin", row.payload)});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_THAT(r.out, HasSubstr("******** Error: Couldn't not open camera, might be damaged\n" + kFailed));
    }
}

TEST_F(Usb3Test, BackupOfAnUnfinishedRewriteIsRestoredFirstAndABadOneRefused)
{
    const unsigned camera = AddUsb3(0);
    const Bytes seeded = Memory(camera, Usb3Memory::Spi);
    // A run that ended after erasing the partition: its backup is all that is left.
    emu.Hook(static_cast<int>(camera), "u3silent nth=300");  // while writing
    EXPECT_EQ(RunQuiet({"prog", "FLAG_U3V", "1"}).status, 1);
    emu.ClearHooks(static_cast<int>(camera));
    std::vector<std::filesystem::path> backups;
    for (const auto& entry : std::filesystem::directory_iterator(work.path())) {
        if (entry.path().filename().string().starts_with("info_backup_")) {
            backups.push_back(entry.path());
        }
    }
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(zvtest::ReadFile(backups[0]), Slice(seeded, kInfo, 0x10000));

    // A backup cut short is refused and nothing is written.
    const Bytes kept = zvtest::ReadFile(backups[0]);
    zvtest::WriteFile(backups[0], Slice(kept, 0, 0x8000));
    const Bytes before = Memory(camera, Usb3Memory::Spi);
    e2e::ProgramRun r = RunQuiet({"prog", "FLAG_U3V", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("is not a whole info partition of a known format; nothing written\n"));
    EXPECT_EQ(Memory(camera, Usb3Memory::Spi), before);

    zvtest::WriteFile(backups[0], kept);
    r = RunQuiet({"prog", "FLAG_U3V", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("InfoPartition backup " + backups[0].filename().string() +
                                 " of an unfinished rewrite found: restoring it\n"));
    EXPECT_FALSE(std::filesystem::exists(backups[0]));
    const Bytes now = Memory(camera, Usb3Memory::Spi);
    EXPECT_EQ(now[kInfo + 288] & 1, 1);
    EXPECT_TRUE(OnlyChanged(seeded, now, kInfo + 288, 1));
}

// A programming run that fails at any erase or write: status 1, CPU1 never
// left bootable half-written, the info partition never lost nor left looking
// whole when it is not, and a rerun once the fault is gone leaves every
// memory as an uninterrupted run. Between the fault and that rerun come what
// an operator may do next: a read of the camera, the same command failing
// again during the recovery, and the same command from another folder.
struct Interrupted {
    std::string name;
    std::string type;
    std::size_t fileSize;   // 0: the flag value "1" instead of a file
    std::uint32_t erases;   // 64 KB sectors erased
    std::uint32_t writes;   // 64-byte writes (0xE8) of the rewritten region
    bool headLast = false;  // the region's first piece is written once more at the end
};

class Usb3Interrupted : public Usb3Test, public ::testing::WithParamInterface<Interrupted> {};

// An info partition whose format word is still erased: its rewrite was cut off.
bool InfoUnfinished(const Bytes& spi)
{
    return Slice(spi, kInfo, 4) == Bytes(4, 0xFF);
}

TEST_P(Usb3Interrupted, AtEveryEraseAndWriteThenRerun)
{
    const Interrupted& c = GetParam();
    const unsigned camera = AddUsb3(0);
    // Bytes unique to the camera all through its info partition, so that
    // losing any of them shows.
    SetMemory(camera, Usb3Memory::Spi, kInfo + 300, Payload(0x10000 - 300, 0xC3));
    const auto seeded = Memories(camera);
    const std::vector<std::string> args = {"prog", c.type,
                                           c.fileSize == 0 ? "1" : FirmwareFile("fw.bin", Payload(c.fileSize))};
    const auto reseed = [&] {
        for (const auto& [memory, bytes] : seeded) {
            SetMemory(camera, memory, 0, bytes);
        }
    };
    ASSERT_EQ(RunQuiet(args).status, 0);
    const auto wanted = Memories(camera);
    const std::filesystem::path elsewhere = work.path() / "elsewhere";
    std::filesystem::create_directory(elsewhere);

    // Each sector erase sends 0x06, 0xD8, four status reads (three busy) and
    // 0x04 as 0xB0 requests; the erase itself is the second.
    std::vector<std::string> hooks;
    for (std::uint32_t j = 0; j < c.erases; ++j) {
        hooks.push_back("u3ack answer=error req=0xB0 nth=" + std::to_string(7 * j + 2));
    }
    for (std::uint32_t first = 1; first <= c.writes; first += 1024) {
        const std::uint32_t last = std::min(first + 1023, c.writes);
        for (const std::uint32_t n : {first, (first + last) / 2, last}) {
            hooks.push_back("u3ack answer=error req=0xE8 nth=" + std::to_string(n));
        }
    }
    if (c.headLast) {
        hooks.push_back("u3ack answer=error req=0xE8 nth=" + std::to_string(c.writes + 1));
    }
    // The device going silent half way through the writes.
    hooks.push_back("u3ack answer=none req=0xE8 times=all nth=" + std::to_string(c.writes / 2));

    for (const std::string& hook : hooks) {
        SCOPED_TRACE(hook);
        reseed();
        emu.Hook(static_cast<int>(camera), hook);
        const e2e::ProgramRun failed = RunQuiet(args);
        EXPECT_EQ(failed.status, 1) << failed.out;
        EXPECT_THAT(failed.out, HasSubstr(kFailed));
        Bytes spi = Memory(camera, Usb3Memory::Spi);
        if (c.type == "CPU1" && hook != "u3ack answer=error req=0xB0 nth=2") {
            EXPECT_EQ(spi[0], 0xFF);
            EXPECT_EQ(spi[1], 0xFF);
        }
        const Bytes info = Slice(spi, kInfo, 0x10000);
        EXPECT_TRUE(info == Slice(seeded.at(Usb3Memory::Spi), kInfo, 0x10000) ||
                    info == Slice(wanted.at(Usb3Memory::Spi), kInfo, 0x10000) || InfoUnfinished(spi))
            << "an info partition that reads whole but is not";
        emu.ClearHooks(static_cast<int>(camera));

        // A read of the camera writes nothing and takes an unfinished
        // partition for nothing else.
        const auto interrupted = Memories(camera);
        const e2e::ProgramRun read = RunQuiet({"info", "FLAG_U3V"});
        EXPECT_EQ(read.status, InfoUnfinished(spi) ? 1 : 0) << read.out;
        EXPECT_THAT(read.out, InfoUnfinished(spi) ? HasSubstr("An update of this camera's info partition was "
                                                              "interrupted and its backup info_backup_")
                                                  : HasSubstr("\nFLAG_U3V 0\n"));
        EXPECT_EQ(Memories(camera), interrupted);

        // A second fault during the recovery: the backup, when one is
        // needed, stays until a recovery has gone through.
        const bool neededBackup = InfoUnfinished(spi);
        emu.Hook(static_cast<int>(camera), "u3ack answer=error req=0xE8 nth=3");
        EXPECT_EQ(RunQuiet(args).status, 1);
        emu.ClearHooks(static_cast<int>(camera));
        spi = Memory(camera, Usb3Memory::Spi);
        if (neededBackup) {
            EXPECT_TRUE(InfoUnfinished(spi));
            EXPECT_EQ(InfoBackups(work.path()).size(), 1u);
        }

        // The same command from another folder: refused with nothing written
        // while the partition waits for its backup, else a whole run.
        const auto before = Memories(camera);
        const e2e::ProgramRun other = RunQuietIn(elsewhere, args);
        if (InfoUnfinished(spi)) {
            EXPECT_EQ(other.status, 1) << other.out;
            EXPECT_THAT(other.out, HasSubstr("is not in this directory: run the same command in the directory that "
                                             "holds info_backup_"));
            EXPECT_EQ(Memories(camera), before);
        } else {
            EXPECT_EQ(other.status, 0) << other.out;
            EXPECT_EQ(Memories(camera), wanted);
        }
        EXPECT_TRUE(InfoBackups(elsewhere).empty());

        const e2e::ProgramRun rerun = RunQuiet(args);
        EXPECT_EQ(rerun.status, 0) << rerun.out;
        EXPECT_EQ(Memories(camera), wanted);
        EXPECT_TRUE(InfoBackups(work.path()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Usb3, Usb3Interrupted,
                         ::testing::Values(Interrupted{"Cpu1", "CPU1", 0x20000, 4, 2048, true},
                                           Interrupted{"Fpga1", "FPGA1", 0x12000, 10, 1152},
                                           Interrupted{"FlagU3v", "FLAG_U3V", 0, 1, 1024, true},
                                           Interrupted{"Cpu2BootLoaderRequest", "CPU2", 0x4000, 1, 1024, true}),
                         [](const auto& info) { return info.param.name; });

// Requests of a run, counted in the device's trace up to and including the
// first one of `code`: a u3silent hook one further silences the camera right
// after it.
std::uint32_t RequestsUpToFirst(zvtest::EmuDir& emu, const std::string& code)
{
    std::uint32_t count = 0;
    for (const std::string& line : emu.TraceWith("usb3 request id=")) {
        ++count;
        if (line.find(" req=" + code + " ") != std::string::npos) {
            return count;
        }
    }
    ADD_FAILURE() << "no request " << code;
    return 0;
}

class Usb3CutOff : public Usb3Test {
protected:
    // A camera that goes silent right after the first 64-byte write of
    // `args`: answers what an uninterrupted run leaves in the SPI flash, and
    // leaves the camera as the silent run did.
    Bytes CutAfterFirstWrite(unsigned camera, const std::vector<std::string>& args)
    {
        const Bytes seeded = Memory(camera, Usb3Memory::Spi);
        emu.StartTrace();
        EXPECT_EQ(RunQuiet(args).status, 0);
        const std::uint32_t silentFrom = RequestsUpToFirst(emu, "0xE8") + 1;
        emu.ClearHooks(-1);
        emu.ClearTrace();
        const Bytes uninterrupted = Memory(camera, Usb3Memory::Spi);
        SetMemory(camera, Usb3Memory::Spi, 0, seeded);
        emu.Hook(static_cast<int>(camera), "u3silent nth=" + std::to_string(silentFrom));
        const e2e::ProgramRun cut = RunQuiet(args);
        EXPECT_EQ(cut.status, 1) << cut.out;
        emu.ClearHooks(static_cast<int>(camera));
        return uninterrupted;
    }
    // The same for a rewrite of the info partition, whose kept partition
    // cannot be written back either.
    Bytes TearInfoRewrite(unsigned camera, const std::vector<std::string>& args)
    {
        const Bytes uninterrupted = CutAfterFirstWrite(camera, args);
        EXPECT_TRUE(InfoUnfinished(Memory(camera, Usb3Memory::Spi)));
        return uninterrupted;
    }
};

TEST_F(Usb3CutOff, AnotherFolderIsRefusedReadsSayWhatIsLeftAndTheFirstFolderRestores)
{
    const unsigned camera = AddUsb3(0);
    // A partition filled all through: nothing of it may be lost.
    SetMemory(camera, Usb3Memory::Spi, kInfo + 300, Payload(0x10000 - 300, 0xC3));
    const Bytes seeded = Memory(camera, Usb3Memory::Spi);
    const std::vector<std::string> args = {"prog", "FLAG_U3V", "1"};
    const Bytes uninterrupted = TearInfoRewrite(camera, args);
    const Bytes torn = Memory(camera, Usb3Memory::Spi);
    EXPECT_TRUE(InfoUnfinished(torn));
    const auto backups = InfoBackups(work.path());
    ASSERT_EQ(backups.size(), 1u);
    const std::string name = backups[0].filename().string();
    EXPECT_EQ(zvtest::ReadFile(backups[0]), Slice(seeded, kInfo, 0x10000));

    zvtest::TempDir other;
    struct Row {
        std::filesystem::path directory;
        std::vector<std::string> args;
        std::string error;
    };
    const std::string waits = "An update of this camera's info partition was interrupted and its backup " + name +
                              " in this directory waits to be restored: run the interrupted command (or prog "
                              "REST_INFO 0 with the same camera options) again in this directory";
    const Row rows[] = {
        {other.path(), args,
         "An update of this camera's info partition was interrupted and its backup " + name +
             " is not in this directory: run the same command in the directory that holds " + name +
             "; nothing written"},
        {other.path(), {"info", "FLAG_U3V"},
         "An update of this camera's info partition was interrupted: run the interrupted command (or prog REST_INFO "
         "0 with the same camera options) again in the directory that holds its backup " +
             name},
        {work.path(), {"info", "FLAG_U3V"}, waits},
        {work.path(), {"verify", "FLAG_U3V", "1"}, waits},
        {work.path(), {"verify", "FLAG_U3V", "0"}, waits},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.directory.string() + " " + row.args[0]);
        const e2e::ProgramRun r = RunQuietIn(row.directory, row.args);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_THAT(r.out, HasSubstr("\n******** Error: " + row.error + "\n" + kFailed));
        EXPECT_THAT(r.out, ::testing::Not(HasSubstr("FLAG_U3V 0")));
        EXPECT_THAT(r.out, ::testing::Not(HasSubstr("FLAG_U3V 1")));
        EXPECT_EQ(Memory(camera, Usb3Memory::Spi), torn);
        EXPECT_TRUE(InfoBackups(other.path()).empty());
        EXPECT_EQ(InfoBackups(work.path()), backups);
    }

    // The same command in the first folder, choosing the camera by the
    // serial that its partition lost: restored, then rewritten.
    const e2e::ProgramRun r = RunQuiet({"prog", "FLAG_U3V", "1", "--camsn", emu.Camera(camera).serial});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("InfoPartition backup " + name + " of an unfinished rewrite found: restoring it\n"));
    EXPECT_EQ(Memory(camera, Usb3Memory::Spi), uninterrupted);
    EXPECT_TRUE(InfoBackups(work.path()).empty());
}

TEST_F(Usb3CutOff, AnotherCameraInTheSamePortKeepsItsPartitionAndTheBackupWaitsForItsCamera)
{
    const unsigned first = AddUsb3(0);
    const std::string port = emu.Camera(first).locPath;
    const unsigned second = AddUsb3(0);
    {
        zvemu::CameraRecord record = emu.Camera(second);
        record.locPath = port;
        emu.State().SaveCamera(emu.CameraId(second), record);
    }
    // One camera in the port at a time.
    const auto plug = [this](unsigned camera, bool in) {
        const std::filesystem::path face = emu.Root() / emu.CameraId(camera) / "usb3.txt";
        const std::filesystem::path away = emu.Root() / emu.CameraId(camera) / "usb3.away";
        std::filesystem::rename(in ? away : face, in ? face : away);
    };
    plug(second, false);
    const std::vector<std::string> args = {"prog", "FLAG_U3V", "1"};
    const Bytes uninterrupted = TearInfoRewrite(first, args);
    const auto backups = InfoBackups(work.path());
    ASSERT_EQ(backups.size(), 1u);
    const Bytes kept = zvtest::ReadFile(backups[0]);

    plug(first, false);
    plug(second, true);
    const Bytes secondBefore = Memory(second, Usb3Memory::Spi);
    // Neither a verify nor a rewrite gives it the first camera's partition.
    e2e::ProgramRun r = RunQuiet({"verify", "FLAG_U3V", "0"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Memory(second, Usb3Memory::Spi), secondBefore);
    r = RunQuiet(args);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("restoring")));
    const Bytes secondAfter = Memory(second, Usb3Memory::Spi);
    EXPECT_TRUE(OnlyChanged(secondBefore, secondAfter, kInfo + 288, 1));
    EXPECT_EQ(secondAfter[kInfo + 288] & 1, 1);
    EXPECT_EQ(InfoBackups(work.path()), backups);
    EXPECT_EQ(zvtest::ReadFile(backups[0]), kept);

    // Back in its port, the first camera gets its own partition back.
    plug(second, false);
    plug(first, true);
    r = RunQuiet(args);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Memory(first, Usb3Memory::Spi), uninterrupted);
    EXPECT_TRUE(InfoBackups(work.path()).empty());
}

// The memory map's first word is written last too: a map cut off after its
// first piece is no map (the generation's own is used) until a rerun.
TEST_F(Usb3CutOff, AMemoryMapCutOffHalfWayIsNoMap)
{
    const unsigned camera = AddUsb3(0);
    SetMemory(camera, Usb3Memory::Spi, 0x40000, Bytes(96, 0xFF));
    const Bytes uninterrupted = CutAfterFirstWrite(camera, {"prog", "MMDESC"});
    const Bytes cut = Memory(camera, Usb3Memory::Spi);
    EXPECT_EQ(Slice(cut, 0x40000, 4), Bytes(4, 0xFF));
    EXPECT_EQ(Slice(cut, 0x40040, 32), Bytes(32, 0xFF));
    // Nothing takes the rest of it for the camera's map.
    const e2e::ProgramRun fpga2 = RunQuiet({"prog", "FPGA2", FirmwareFile("fpga2.bin", Payload(0x100))});
    EXPECT_EQ(fpga2.status, 0) << fpga2.out;
    EXPECT_EQ(RunQuiet({"prog", "MMDESC"}).status, 0);
    EXPECT_EQ(Slice(Memory(camera, Usb3Memory::Spi), 0x40000, 0x10000), Slice(uninterrupted, 0x40000, 0x10000));
}

TEST_F(Usb3Test, DifferingReadingsOfTheInfoPartitionStopTheRewriteBeforeAnyWrite)
{
    const unsigned camera = AddUsb3(0);
    SetMemory(camera, Usb3Memory::Spi, kInfo + 300, Payload(0x10000 - 300, 0xC3));
    const Bytes before = Memory(camera, Usb3Memory::Spi);
    // The camera's map is the first 0xE6 read, then the partition comes in
    // 69 pieces per reading: one piece of the first or of the second
    // reading arrives wrong under a valid acknowledgement.
    for (const int nth : {10, 80}) {
        SCOPED_TRACE(nth);
        emu.ClearHooks(static_cast<int>(camera));
        emu.Hook(static_cast<int>(camera), "u3ack answer=corrupt req=0xE6 nth=" + std::to_string(nth));
        const e2e::ProgramRun r = RunQuiet({"prog", "FLAG_U3V", "1"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_THAT(r.out, ::testing::ContainsRegex("\n\\*{8} Error: InfoPartition reads differently twice \\(first "
                                                    "at x[0-9a-f]+\\): the connection to the camera is not reliable; "
                                                    "nothing written\n"));
        EXPECT_THAT(r.out, ::testing::Not(HasSubstr("FW flash erasing")));
        EXPECT_EQ(Memory(camera, Usb3Memory::Spi), before);
        EXPECT_TRUE(InfoBackups(work.path()).empty());
    }
}

TEST_F(Usb3Test, ErasedOrUnknownInfoPartitionWithoutBackupIsRefused)
{
    const unsigned camera = AddUsb3(0);
    struct Row {
        Bytes head;  // the partition's first bytes
        std::string error;
    };
    const Row rows[] = {
        {Bytes(0x10000, 0xFF), "An update of this camera's info partition was interrupted and its backup info_backup_"},
        {Bytes{7, 0, 0, 0}, "******** Error: Format of current partition is not supported\n"},
    };
    for (const Row& row : rows) {
        SetMemory(camera, Usb3Memory::Spi, kInfo, row.head);
        const Bytes erased = Memory(camera, Usb3Memory::Spi);
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"prog", "FLAG_U3V", "0"},
                                                   {"prog", "REST_INFO", "0"},
                                                   {"prog", "CPU2", FirmwareFile("cpu2.bin", Payload(0x100))}}) {
            SCOPED_TRACE(args[1]);
            const e2e::ProgramRun refused = RunQuiet(args);
            EXPECT_EQ(refused.status, 1);
            EXPECT_THAT(refused.out, HasSubstr(row.error));
            EXPECT_EQ(Memory(camera, Usb3Memory::Spi), erased);
        }
    }
}

TEST_F(Usb3Test, TwoRunsOnOneCameraNeverInterleave)
{
    const unsigned camera = AddUsb3(1);
    const Bytes a = Payload(0x30000, 0x0A);
    const Bytes b = Payload(0x30000, 0x0B);
    const std::string fileA = FirmwareFile("a.bin", a);
    const std::string fileB = FirmwareFile("b.bin", b);
    e2e::ProgramRun first;
    e2e::ProgramRun second;
    std::thread other([&] { second = RunQuiet({"prog", "FPGA1", fileB, "--u3v_cam"}); });
    first = RunQuiet({"prog", "FPGA1", fileA, "--u3v_cam"});
    other.join();
    // Each run either programmed and verified the whole image or failed
    // clearly before writing; the flash holds one image whole.
    for (const e2e::ProgramRun* r : {&first, &second}) {
        if (r->status != 0) {
            EXPECT_THAT(r->out, HasSubstr(kStillInUse));
        }
    }
    EXPECT_TRUE(first.status == 0 || second.status == 0);
    const Bytes region = Slice(Memory(camera, Usb3Memory::Spi), 0x60000, 0x30000);
    EXPECT_TRUE(region == a || region == b);
    EXPECT_EQ(RunQuiet({"verify", "FPGA1", region == a ? fileA : fileB, "--u3v_cam"}).status, 0);
}

// Another run holds the camera, by its serial number, or its device: this
// run says once why it waits, then fails with nothing written.
TEST_F(Usb3Test, ACameraInUseByAnotherRunIsLeftAlone)
{
    if (e2e::DrivesAnotherProgram()) {
        GTEST_SKIP() << "the locks are held here, as this build takes them";
    }
    const unsigned camera = AddUsb3(1);
    const std::string file = FirmwareFile("a.bin", Payload(0x3000, 0x0A));
    const auto face = zvemu::LoadUsb3Face(emu.State(), emu.CameraId(camera));
    ASSERT_TRUE(face);
    const std::string path = zvemu::Usb3InterfacePath(emu.State(), emu.CameraId(camera), emu.Camera(camera), *face);
    EXPECT_EQ(U3DeviceSerial(path), emu.Camera(camera).serial);
    const auto before = Memories(camera);
    // The lock folder of the runs, for the locks held here.
    ::setenv("ZVOS_LOCK_DIR", work.File("locks").c_str(), 1);
    struct Holder {
        const char* what;
        std::string name;
        std::string error;
    };
    const Holder holders[] = {
        {"camera", "zvcamupdater-camera-" + emu.Camera(camera).serial, kStillInUse + kFailed},
        {"device", U3MutexName(path), "\n******** Error: "},
    };
    for (const Holder& h : holders) {
        SCOPED_TRACE(h.what);
        const auto other = zv::os::NamedLock::Open(h.name);
        ASSERT_TRUE(other);
        ASSERT_EQ(other->Wait(0), zv::os::LockWait::Acquired);
        const e2e::ProgramRun r = RunQuiet({"prog", "FPGA1", file, "--u3v_cam"});
        other->Release();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(kInUse), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(kInUse), r.out.rfind(kInUse));
        EXPECT_THAT(r.out, HasSubstr(h.error));
        EXPECT_TRUE(Memories(camera) == before);
    }
    // The camera's lock leaves no file behind once its runs end.
    EXPECT_EQ(RunQuiet({"prog", "FPGA1", file, "--u3v_cam"}).status, 0);
    for (const auto& entry : std::filesystem::directory_iterator(work.File("locks"))) {
        EXPECT_EQ(entry.path().filename().string().find("zvcamupdater"), std::string::npos) << entry.path();
    }
}

}  // namespace
