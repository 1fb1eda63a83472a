// The program on USB3 drivers that behave as real ones may: a driver that
// reports no byte counts for bulk transfers, one that ignores the cancel of
// a pending read, a camera whose identity is its device path, and a file name
// beyond Latin-1.

#include "usb3_e2e_support.h"

#include <gmock/gmock.h>

#include <chrono>

namespace {

using namespace usb3e2e;
using ::testing::HasSubstr;

using Env = std::vector<std::pair<std::string, std::string>>;

class Usb3DriverTest : public Usb3Test {
protected:
    // Programs and verifies FPGA1 and dumps the memory map descriptor under
    // `env`: the memory and the dump hold what they should.
    void ProgramVerifyDumpWith(unsigned camera, const Env& env)
    {
        const Bytes payload = Payload(0x1000);
        const std::string file = FirmwareFile("fpga1.bin", payload);
        e2e::ProgramRun r = RunQuiet({"prog", "FPGA1", file}, env);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_THAT(r.out, HasSubstr(kDone));
        EXPECT_EQ(Slice(Memory(camera, Usb3Memory::Spi), 0x60000, payload.size()), payload);
        r = RunQuiet({"verify", "FPGA1", file}, env);
        EXPECT_EQ(r.status, 0) << r.out;
        const std::string dump = work.File("mmdesc.bin");
        r = RunQuiet({"dump", "MMDESC", dump}, env);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(zvtest::ReadFile(dump), Slice(Memory(camera, Usb3Memory::Spi), 0x40000, 0x10000));
    }
};

TEST_F(Usb3DriverTest, ADriverThatReportsNoCountsServesEveryOperation)
{
    const unsigned camera = AddUsb3(0);
    ProgramVerifyDumpWith(camera, {{"ZVEMU_USB3_DRIVER", "counts=zero"}});
}

// The camera goes silent half way: with a driver that never ends a cancelled
// read, the pipe abort ends it, and the run fails as it does on a driver that
// honours the cancel, within seconds.
TEST_F(Usb3DriverTest, ADriverThatIgnoresTheCancelEndsTheRunWithTheSameFailure)
{
    const unsigned camera = AddUsb3(0);
    const std::string fpga = FirmwareFile("fpga1.bin", Payload(0x1000));
    const auto before = Memories(camera);
    emu.Hook(static_cast<int>(camera), "u3silent nth=40");
    const e2e::ProgramRun honoured = RunQuiet({"prog", "FPGA1", fpga});
    ASSERT_EQ(honoured.status, 1);
    for (const auto& [name, memory] : before) {
        SetMemory(camera, name, 0, memory);
    }
    const auto start = std::chrono::steady_clock::now();
    const e2e::ProgramRun ignored = RunQuiet({"prog", "FPGA1", fpga}, {{"ZVEMU_USB3_DRIVER", "cancel=ignore"}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(ignored.status, 1);
    EXPECT_EQ(ignored.out, honoured.out);
    EXPECT_THAT(ignored.out, HasSubstr(kFailed));
}

// A camera whose device path carries no serial number: its identity, and so
// the name of its run lock, is the whole device path with its backslashes.
TEST_F(Usb3DriverTest, ACameraKnownByItsDevicePathAloneIsProgrammed)
{
    const unsigned camera = AddUsb3(0, [](zvemu::Usb3Seed& s) {
        s.face.usb3Path = "\\\\?\\usb#vid_20f7&pid_3001#{ae18aa60-7f6a-11d4-97dd-00010229b959}";
    });
    ProgramVerifyDumpWith(camera, {});
}

// A dump is written under a temporary name and renamed at the end: both
// calls must read a name beyond Latin-1 ('€', 'œ', 'Ž', all in the Western
// ANSI code page) alike.
TEST_F(Usb3DriverTest, ADumpNamedBeyondLatin1IsRenamedInPlace)
{
    const unsigned camera = AddUsb3(0);
    const std::string dump = work.File("mmdesc-\u20ac\u0153\u017d.bin");
    const e2e::ProgramRun r = RunQuiet({"dump", "MMDESC", dump});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Dump done OK  \n" + kDone));
    EXPECT_EQ(zvtest::ReadFile(dump), Slice(Memory(camera, Usb3Memory::Spi), 0x40000, 0x10000));
    EXPECT_FALSE(std::filesystem::exists(dump + ".partial"));
}

}  // namespace
