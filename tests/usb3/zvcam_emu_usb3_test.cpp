// zvcam-emu and the USB3 face: cameras of every generation that the USB3
// transport then finds and reads, their settings, and their memories.

#include <gtest/gtest.h>

#include <sstream>

#include "sne_record.h"
#include "temp_dir.h"
#include "u3_mcu_tunnel.h"
#include "usb3_fixture.h"
#include "zvcam_emu/cli.h"

namespace usb3test {
namespace {

struct Result {
    int status;
    std::string out;
};

class ZvcamEmuUsb3 : public Usb3Test {
protected:
    Result Emu(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--dir", emu_.Root().string()});
        std::ostringstream out;
        const int status = zvcam_emu::Run(args, out);
        return {status, out.str()};
    }
    // Bytes of a memory read through the transport.
    std::vector<std::uint8_t> ReadSpi(U3DeviceContext& c, std::uint32_t address, int length)
    {
        std::uint8_t block[8] = {0x03, static_cast<std::uint8_t>(address >> 16),
                                 static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 32};
        std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
        EXPECT_EQ(u3VrReq(c, 0xE4, 0, 0, block, 8, 1, 1), 0);
        EXPECT_EQ(u3VrReq(c, 0xE6, 0, 0, data.data(), length, 0, 1), 0);
        return data;
    }
    zvtest::TempDir temp_;
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST_F(ZvcamEmuUsb3, EveryGenerationIsACameraOfTheTransport)
{
    for (int generation = 0; generation <= 4; ++generation) {
        SCOPED_TRACE(generation);
        ASSERT_EQ(Emu({"add", "--model", "JV966", "--usb3", std::to_string(generation)}).out,
                  std::to_string(generation) + "\n");
        auto context = OpenDeviceUSB30(static_cast<unsigned>(generation));
        ASSERT_TRUE(context);
        EXPECT_EQ(ReadSpi(*context, 0x40000, 96), zvemu::Usb3FlashMapDescriptor(generation));
        const auto info = ReadSpi(*context, 0x50000, 300);
        EXPECT_EQ(Le32(info, 0), 3u);
        std::array<std::uint8_t, 8> sne{};
        std::copy(info.begin() + 292, info.begin() + 300, sne.begin());
        EXPECT_EQ(EncodeSNE(SNERecord::FromBytes(sne)), emu_.Camera(static_cast<unsigned>(generation)).serial);
        // The SPI flash: 8 MiB in generation 1, else 4 MiB.
        const std::string last = generation == 1 ? "0x7FFFFF" : "0x3FFFFF";
        const std::string past = generation == 1 ? "0x800000" : "0x400000";
        EXPECT_EQ(Emu({"read", std::to_string(generation), "spi", last, "1", temp_.File("b")}).status, 0);
        EXPECT_EQ(Emu({"read", std::to_string(generation), "spi", past, "1", temp_.File("b")}).status, 1);
    }
    const auto list = Emu({"list"}).out;
    EXPECT_NE(list.find("usb3 gen 1 maker 5.2 super"), std::string::npos) << list;
}

TEST_F(ZvcamEmuUsb3, SettingsOfTheFace)
{
    ASSERT_EQ(Emu({"add",
                   "--model",
                   "JR5",
                   "--usb3",
                   "2",
                   "--controller-version",
                   "2.6",
                   "--speed",
                   "high",
                   "--public",
                   "--older-serial",
                   "0x00C0FFEE",
                   "--info-format",
                   "1",
                   "--flags",
                   "5",
                   "--stm32-version",
                   "0x0304",
                   "--ccd",
                   "--mcu-bus",
                   "c2"})
                  .status,
              0);
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->fwVersion[1], 2);
    EXPECT_EQ(context->fwVersion[0], 6);
    EXPECT_EQ(context->highSpeed, 1u);
    EXPECT_NE(context->devicePath.find("{ae18aa60-"), std::string::npos);
    std::uint8_t frame[10] = {};
    std::uint8_t reply[260] = {};
    ASSERT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 0);
    EXPECT_EQ(reply[8] | (reply[9] << 8), 0x0304);
    const auto info = Memory(0, zvemu::Usb3Memory::Spi, 0x50000, 300);
    EXPECT_EQ(Le32(info, 0), 1u);
    EXPECT_EQ(Le32(info, 4), 304u);
    EXPECT_EQ(Le32(info, 12), 0x00C0FFEEu);
    EXPECT_EQ(Le32(info, 288), 5u);
    EXPECT_EQ(Le32(info, 292), 0xFFFFFFFFu);
    const auto show = Emu({"show", "0"}).out;
    for (const char* row : {"interface class     public", "controller          2.6", "ccd                 yes",
                            "mcu bus             c2", "serial              older form 0x00C0FFEE",
                            "device flags        0x00000005", "memory spi          spi.bin, 4194304 bytes"}) {
        EXPECT_NE(show.find(row), std::string::npos) << row << "\n" << show;
    }
    // Info partitions differ between cameras beyond their serial.
    ASSERT_EQ(Emu({"add", "--model", "JR5", "--usb3", "2"}).status, 0);
    EXPECT_NE(Memory(0, zvemu::Usb3Memory::Spi, 0x50000 + 400, 64),
              Memory(1, zvemu::Usb3Memory::Spi, 0x50000 + 400, 64));
}

TEST_F(ZvcamEmuUsb3, ReadAndWriteMemories)
{
    ASSERT_EQ(Emu({"add", "--model", "JV966", "--usb3", "0"}).status, 0);
    temp_.Write("in", std::vector<std::uint8_t>{1, 2, 3, 4});
    struct Case {
        const char* memory;
        const char* offset;
        zvemu::Usb3Memory which;
        std::uint32_t at;
    };
    for (const Case& c :
         {Case{"spi", "0x123456", zvemu::Usb3Memory::Spi, 0x123456},
          Case{"cpu2", "0x7FFFC", zvemu::Usb3Memory::Cpu2, 0x7FFFC}, Case{"cpu3", "16", zvemu::Usb3Memory::Cpu3, 16},
          Case{"cpu4", "0xFFFC", zvemu::Usb3Memory::Cpu4, 0xFFFC},
          Case{"mcu1", "0x1FFC", zvemu::Usb3Memory::Mcu1, 0x1FFC}}) {
        SCOPED_TRACE(c.memory);
        ASSERT_EQ(Emu({"write", "0", c.memory, c.offset, temp_.File("in")}).status, 0);
        EXPECT_EQ(Memory(0, c.which, c.at, 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
        ASSERT_EQ(Emu({"read", "0", c.memory, c.offset, "4", temp_.File("out")}).status, 0);
        EXPECT_EQ(zvtest::ReadFile(temp_.File("out")), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    }
    // What is refused, with a message.
    const std::vector<std::vector<std::string>> refused = {
        {"write", "0", "mcu1", "0x1FFD", temp_.File("in")},
        {"read", "0", "eeprom", "0", "4", temp_.File("out")},
        {"read", "0", "spi", "0", temp_.File("out")},
        {"read", "1", "spi", "0", "4", temp_.File("out")},
        {"add", "--model", "X", "--usb3", "5"},
        {"add", "--model", "X", "--speed", "high"},
        {"add", "--model", "X", "--usb3", "0", "--info-format", "4"},
        {"add", "--model", "X", "--serial", "OLD1", "--usb3", "0"},
        {"fault", "0", "u3ack", "answer=maybe"},
        {"fault", "all", "u3busy"},
    };
    for (const auto& args : refused) {
        const auto r = Emu(args);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
        EXPECT_EQ(r.out.rfind("zvcam-emu: ", 0), 0u) << r.out;
    }
    EXPECT_EQ(Emu({"list"}).out.find("1  X"), std::string::npos);  // nothing half made
    ASSERT_EQ(Emu({"add", "--model", "JV966", "--usb3", "0"}).status, 0);
    EXPECT_EQ(Emu({"fault", "0", "u3ack", "answer=none", "req=0xE8", "nth=3"}).out,
              "hook added: u3ack answer=none req=0xE8 nth=3\n");
}

}  // namespace
}  // namespace usb3test
