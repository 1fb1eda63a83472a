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
// left bootable half-written, the info partition never lost, and a rerun
// once the fault is gone leaves every memory as an uninterrupted run.
struct Interrupted {
    std::string name;
    std::string type;
    std::size_t fileSize;    // 0: the flag value "1" instead of a file
    std::uint32_t erases;    // 64 KB sectors erased
    std::uint32_t writes;    // 64-byte writes (0xE8) of the rewritten region
    bool bootBytes = false;  // CPU1: the first two bytes stay erased
};

class Usb3Interrupted : public Usb3Test, public ::testing::WithParamInterface<Interrupted> {};

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
    if (c.bootBytes) {
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
        const Bytes spi = Memory(camera, Usb3Memory::Spi);
        if (c.bootBytes && hook != "u3ack answer=error req=0xB0 nth=2") {
            EXPECT_EQ(spi[0], 0xFF);
            EXPECT_EQ(spi[1], 0xFF);
        }
        emu.ClearHooks(static_cast<int>(camera));
        const e2e::ProgramRun rerun = RunQuiet(args);
        EXPECT_EQ(rerun.status, 0) << rerun.out;
        EXPECT_EQ(Memories(camera), wanted);
    }
}

INSTANTIATE_TEST_SUITE_P(Usb3, Usb3Interrupted,
                         ::testing::Values(Interrupted{"Cpu1", "CPU1", 0x20000, 4, 2048, true},
                                           Interrupted{"Fpga1", "FPGA1", 0x12000, 10, 1152},
                                           Interrupted{"FlagU3v", "FLAG_U3V", 0, 1, 1024},
                                           Interrupted{"Cpu2BootLoaderRequest", "CPU2", 0x4000, 1, 1024}),
                         [](const auto& info) { return info.param.name; });

TEST_F(Usb3Test, ErasedInfoPartitionWithoutBackupIsRefused)
{
    const unsigned camera = AddUsb3(0);
    SetMemory(camera, Usb3Memory::Spi, kInfo, Bytes(0x10000, 0xFF));
    const Bytes erased = Memory(camera, Usb3Memory::Spi);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"prog", "FLAG_U3V", "0"},
                                               {"prog", "REST_INFO", "0"},
                                               {"prog", "CPU2", FirmwareFile("cpu2.bin", Payload(0x100))}}) {
        const e2e::ProgramRun refused = RunQuiet(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.out, HasSubstr("******** Error: Format of current partition is not supported\n"));
        EXPECT_EQ(Memory(camera, Usb3Memory::Spi), erased);
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
        bool removeWhenFree;
        std::string error;
    };
    const Holder holders[] = {
        {"camera", "zvcamupdater-camera-" + emu.Camera(camera).serial, true, kStillInUse + kFailed},
        {"device", U3MutexName(path), false, "\n******** Error: "},
    };
    for (const Holder& h : holders) {
        SCOPED_TRACE(h.what);
        const auto other = zv::os::NamedLock::Open(h.name, h.removeWhenFree);
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
