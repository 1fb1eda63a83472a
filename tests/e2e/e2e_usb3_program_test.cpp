// prog, verify, info, reset and dump on emulated USB3 cameras of every
// generation: what each type writes where, and that nothing else changes.

#include "usb3_e2e_support.h"

#include <gmock/gmock.h>

#include <regex>

namespace {

using namespace usb3e2e;
using ::testing::HasSubstr;

std::vector<std::string> GenerationOption(int generation)
{
    switch (generation) {
    case 1:
        return {"--u3v_cam"};
    case 2:
        return {"--ucam_type2"};
    case 3:
        return {"--ucam_type3"};
    case 4:
        return {"--ucam_type4"};
    default:
        return {};
    }
}

std::vector<std::string> Args(std::vector<std::string> words, const std::vector<std::string>& more)
{
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

// Regions of the SPI flash types per generation (start, size).
struct SpiRegions {
    std::uint32_t fpga1Start, fpga1Size, xmlStart, fpga2Start, fpga2Size;
};
SpiRegions RegionsOf(int generation)
{
    switch (generation) {
    case 1:
        return {0x60000, 0x300000, 0x560000, 0x60000, 0x300000};
    case 3:
        return {0x60000, 0xA0000, 0x300000, 0, 0};
    case 4:
        return {0, 0, 0x200000, 0, 0};
    default:
        return {0x60000, 0xA0000, 0x200000, 0x240000, 0xA0000};
    }
}

constexpr std::uint32_t kInfo = 0x50000;

// One programming case: the words after "prog"/"verify", the camera it needs,
// and where its payload must land.
struct Case {
    std::string name;
    std::vector<std::string> words;  // type, file (filled in), options
    Bytes payload;                   // empty: content not from a file
    Usb3Memory memory;
    std::uint32_t at;       // where the payload lands in the memory file
    std::uint32_t written;  // bytes that may change
    std::function<void(zvemu::Usb3Seed&)> seed = {};
    bool infoFlagsMayChange = false;  // CPU2 sets its boot-loader request first
};

class Usb3Generations : public Usb3Test, public ::testing::WithParamInterface<int> {};

TEST_P(Usb3Generations, ProgramAndVerifyEveryTypeTouchingOnlyItsRegion)
{
    const int generation = GetParam();
    const SpiRegions spi = RegionsOf(generation);
    Bytes cpu3 = Payload(0x1800, 0x51);
    cpu3[1] = 0x18;  // the C51 boot loader programs the length in bytes 1-2
    cpu3[2] = 0x00;
    const Bytes cpu4 = Payload(0x10000, 0x44);
    std::vector<Case> cases = {
        {"CPU1", {"CPU1"}, Payload(0x3000, 0x11), Usb3Memory::Spi, 0, 0x40000},
        {"XMLMAN", {"XMLMAN"}, Payload(0x900, 0x77), Usb3Memory::Spi, spi.xmlStart, 0x40000},
    };
    // The MCUs lie outside the SPI flash map, so their programming takes the
    // same path on every generation; only generation 1 puts the STM32 into
    // its reset state before the reset that starts CPU2's boot loader.
    if (generation <= 1) {
        cases.push_back({"CPU2", {"CPU2"}, Payload(0x9000, 0x22), Usb3Memory::Cpu2, 0, 0x80000, {}, true});
    }
    if (generation == 0) {
        cases.push_back({"CPU3", {"CPU3"}, cpu3, Usb3Memory::Cpu3, 0, 0x1800});
        cases.push_back(
            {"CPU3 --ccd", {"CPU3", "", "--ccd"}, cpu3, Usb3Memory::Cpu3, 0, 0x1800, [](zvemu::Usb3Seed& s) {
                 s.face.ccd = true;
             }});
        cases.push_back({"CPU4 window",
                         {"CPU4", "", "--fw_start", "100", "--fw_stop", "300"},
                         cpu4,
                         Usb3Memory::Cpu4,
                         0x100,
                         0x200});
        cases.push_back({"CPU5", {"CPU5"}, Payload(0x5000, 0x55), Usb3Memory::Cpu2, 0, 0x80000});
        // Shorter than the C2 flash: all 16 pages are erased, only the file written.
        cases.push_back({"MCU1", {"MCU1"}, Payload(0x1300, 0x66), Usb3Memory::Mcu1, 0, 0x2000, [](zvemu::Usb3Seed& s) {
                             s.face.c2Bus = true;
                         }});
    }
    if (spi.fpga1Size != 0) {
        Bytes fpga1 = Payload(0x12345, 0x88);
        fpga1[0x10] = 0x09;  // the version register's word after a reset: 01.09
        fpga1[0x11] = 0x01;
        fpga1[0x12] = 0x00;
        fpga1[0x13] = 0x00;
        cases.push_back({"FPGA1", {"FPGA1"}, fpga1, Usb3Memory::Spi, spi.fpga1Start, spi.fpga1Size});
    }
    if (spi.fpga2Size != 0) {
        cases.push_back({"FPGA2", {"FPGA2"}, Payload(0x10040, 0x99), Usb3Memory::Spi, spi.fpga2Start, spi.fpga2Size});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name + " on generation " + std::to_string(generation));
        emu.State().RemoveAll();
        const unsigned camera = AddUsb3(generation, c.seed);
        // Every memory but the C51's is erased over the type's whole region
        // first: old content there must not survive past the new image.
        const bool erasesRegion = c.memory != Usb3Memory::Cpu3 && c.memory != Usb3Memory::Cpu4;
        if (erasesRegion) {
            SetMemory(camera, c.memory, c.at, Bytes(c.written, 0x00));
        }
        const auto before = Memories(camera);
        c.words.resize(std::max<std::size_t>(c.words.size(), 2));
        c.words[1] = FirmwareFile(c.name.substr(0, 4) + ".bin", c.payload);
        const auto args = Args(c.words, GenerationOption(generation));

        const e2e::ProgramRun prog = RunQuiet(Args({"prog"}, args));
        EXPECT_EQ(prog.status, 0) << prog.out;
        EXPECT_THAT(prog.out, HasSubstr("Checksum OK\nProgramming\n"));
        EXPECT_THAT(prog.out, HasSubstr(kDone));
        const auto after = Memories(camera);
        const Bytes& memory = after.at(c.memory);
        const std::uint32_t landed =
            c.memory == Usb3Memory::Cpu4 ? c.written : static_cast<std::uint32_t>(c.payload.size());
        EXPECT_EQ(Slice(memory, c.at, landed), Slice(c.payload, c.memory == Usb3Memory::Cpu4 ? c.at : 0, landed));
        if (erasesRegion) {
            EXPECT_EQ(Slice(memory, c.at + landed, c.written - landed), Bytes(c.written - landed, 0xFF));
        }
        for (const auto& [which, bytes] : after) {
            if (which == c.memory) {
                EXPECT_TRUE(OnlyChanged(before.at(which), bytes, c.at, c.written));
            } else if (which == Usb3Memory::Spi && c.infoFlagsMayChange) {
                EXPECT_TRUE(OnlyChanged(before.at(which), bytes, kInfo + 288, 4));
            } else {
                EXPECT_EQ(bytes, before.at(which)) << "another memory changed";
            }
        }

        const e2e::ProgramRun verify = RunQuiet(Args({"verify"}, args));
        EXPECT_EQ(verify.status, 0) << verify.out;
        EXPECT_THAT(verify.out, HasSubstr("Verify\n"));
        EXPECT_THAT(verify.out, HasSubstr("Verify done OK\n" + kDone));

        if (c.name == "FPGA1") {
            // Each generation reads the FPGA version register its own way.
            EXPECT_EQ(RunQuiet(Args({"reset"}, GenerationOption(generation))).status, 0);
            EXPECT_THAT(RunQuiet(Args({"info", "FPGA1"}, GenerationOption(generation))).out,
                        HasSubstr("Detected version V01.09\n" + kDone));
        }
    }
}

// The info partition has one place in every generation's map: the flag types
// take the same path on each.
TEST_F(Usb3Test, FlagTypesRewriteOnlyTheirBitsOfTheInfoPartition)
{
    const unsigned camera = AddUsb3(0, [](zvemu::Usb3Seed& s) {
        s.infoFormat = 1;
        s.flags = 0x6;
    });
    const Bytes seeded = Memory(camera, Usb3Memory::Spi);
    const auto word = [this, camera](std::uint32_t at) {
        const Bytes spi = Memory(camera, Usb3Memory::Spi);
        return static_cast<std::uint32_t>(spi[at] | spi[at + 1] << 8 | spi[at + 2] << 16 | spi[at + 3] << 24);
    };

    // A format-1 partition is upgraded and its flags cleared before the bit
    // is set; the piece with the format word is written again last.
    e2e::ProgramRun r = RunQuiet({"prog", "FLAG_U3V", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("InfoPartition format version 1\nInfoPartition format auto upgrade to version 2\n"
                                 "Setting device flag to 1\nFW flash erasing\nFW flash erasing - sect:0\n"
                                 "FW flash erased - sect:0 [OK]\nFW flash programming\n"
                                 "FW flash verifying size:x10000\nFW flash verifying size:x40\n"));
    EXPECT_EQ(word(kInfo), 2u);
    EXPECT_EQ(word(kInfo + 4), 304u);
    EXPECT_EQ(word(kInfo + 288), 1u);
    EXPECT_TRUE(OnlyChanged(seeded, Memory(camera, Usb3Memory::Spi), kInfo, 0x120 + 4));
    EXPECT_EQ(RunQuiet({"verify", "FLAG_U3V", "1"}).status, 0);
    EXPECT_EQ(RunQuiet({"verify", "FLAG_U3V", "0"}).status, 1);
    r = RunQuiet({"info", "FLAG_U3V"});
    EXPECT_THAT(r.out, HasSubstr("FLAG_U3V 1\n"));

    for (const auto& [type, value, flags] : std::vector<std::tuple<std::string, std::string, std::uint32_t>>{
             {"FLAG_U2F", "1", 3}, {"FLAG_U3V", "0", 2}, {"REST_INFO", "1", 2}}) {
        SCOPED_TRACE(type + " " + value);
        r = RunQuiet({"prog", type, value});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_THAT(r.out, HasSubstr("InfoPartition format version 2\n"));
        EXPECT_EQ(word(kInfo + 288), flags);
        EXPECT_EQ(RunQuiet({"verify", type, value}).status, 0);
    }
    EXPECT_THAT(RunQuiet({"info", "FLAG_U3V"}).out, HasSubstr("FLAG_U3V 0\n"));
    // Every byte of the partition that is not format or flags stayed.
    const Bytes now = Memory(camera, Usb3Memory::Spi);
    EXPECT_EQ(Slice(now, kInfo + 8, 280), Slice(seeded, kInfo + 8, 280));
    EXPECT_EQ(Slice(now, kInfo + 292, 0x10000 - 292), Slice(seeded, kInfo + 292, 0x10000 - 292));
    for (const auto& entry : std::filesystem::directory_iterator(work.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("info_backup_")) << "a backup was left behind";
    }
}

// The descriptor: programmed from the generation's map, dumped whole.
TEST_P(Usb3Generations, MemoryMapDescriptorIsProgrammedAndDumpedWhole)
{
    const int generation = GetParam();
    const unsigned camera = AddUsb3(generation);
    const auto option = GenerationOption(generation);
    SetMemory(camera, Usb3Memory::Spi, 0x40000, Bytes(96, 0xFF));
    const Bytes before = Memory(camera, Usb3Memory::Spi);
    e2e::ProgramRun r = RunQuiet(Args({"prog", "MMDESC"}, option));
    EXPECT_EQ(r.status, 0) << r.out;
    const Bytes after = Memory(camera, Usb3Memory::Spi);
    EXPECT_EQ(Slice(after, 0x40000, 96), zvemu::Usb3FlashMapDescriptor(generation));
    EXPECT_TRUE(OnlyChanged(before, after, 0x40000, 0x10000));
    EXPECT_EQ(RunQuiet(Args({"verify", "MMDESC"}, option)).status, 0);
    const std::string dump = work.File("mmdesc.bin");
    r = RunQuiet(Args({"dump", "MMDESC", dump}, option));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("FW flash size:x10000\nDump done OK  \n" + kDone));
    EXPECT_EQ(zvtest::ReadFile(dump), Slice(Memory(camera, Usb3Memory::Spi), 0x40000, 0x10000));
}

INSTANTIATE_TEST_SUITE_P(AllGenerations, Usb3Generations, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "Generation" + std::to_string(info.param); });

// The controller's three request families program the SPI flash alike.
TEST_F(Usb3Test, EveryControllerFamilyProgramsCpu1AndFpga1)
{
    struct Family {
        const char* name;
        std::uint8_t major, minor;
        bool highSpeed;
    };
    const Family families[] = {{"old", 2, 6, true}, {"middle", 4, 33, false}, {"new", 4, 34, true}};
    for (const Family& f : families) {
        SCOPED_TRACE(f.name);
        emu.State().RemoveAll();
        const unsigned camera = AddUsb3(0, [&](zvemu::Usb3Seed& s) {
            s.face.controllerMajor = f.major;
            s.face.controllerMinor = f.minor;
            s.face.highSpeed = f.highSpeed;
        });
        const Bytes before = Memory(camera, Usb3Memory::Spi);
        const Bytes cpu1 = Payload(0x1041, 0x13);
        const Bytes fpga1 = Payload(0x2003, 0x27);
        for (const auto& [type, payload, start, size] :
             std::vector<std::tuple<std::string, Bytes, std::uint32_t, std::uint32_t>>{
                 {"CPU1", cpu1, 0, 0x40000}, {"FPGA1", fpga1, 0x60000, 0xA0000}}) {
            const std::string file = FirmwareFile(type + ".bin", payload);
            EXPECT_EQ(RunQuiet({"prog", type, file}).status, 0);
            EXPECT_EQ(RunQuiet({"verify", type, file}).status, 0);
            const Bytes after = Memory(camera, Usb3Memory::Spi);
            EXPECT_EQ(Slice(after, start, payload.size()), payload);
            EXPECT_EQ(Slice(after, start + payload.size(), size - payload.size()), Bytes(size - payload.size(), 0xFF));
        }
        EXPECT_TRUE(OnlyChanged(before, Memory(camera, Usb3Memory::Spi), 0, 0x100000));
    }
}

TEST_F(Usb3Test, ProgrammingCpu1ShowsEveryStep)
{
    AddUsb3(0);
    const std::string file = FirmwareFile("cpu1.bin", Payload(0x20000));
    const e2e::ProgramRun r = RunQuiet({"prog", "CPU1", file});
    std::string expected = zvtest::kBanner + "Performing operation 1 on firmware type 1\nChecksum OK\nProgramming\n"
                                             "FW flash erasing\n";
    for (int j = 0; j < 4; ++j) {
        expected += "FW flash erasing - sect:" + std::to_string(j) + "\nFW flash erased - sect:" + std::to_string(j) +
                    " [OK]\n";
    }
    expected += "FW flash programming\nFW flash verifying size:x20000\nFW flash verifying size:x40\n" + kDone;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.status, 0);
    // Progress runs 0-33 erasing, 33-66 writing, 67-99 verifying and ends at 100.
    const e2e::ProgramRun raw = Run({"prog", "CPU1", file});
    EXPECT_THAT(raw.out, HasSubstr("24%\rFW flash programming\n33%\r34%\r"));
    EXPECT_THAT(raw.out, HasSubstr("65%\rFW flash verifying size:x20000\n67%\r68%\r"));
    EXPECT_THAT(raw.out, HasSubstr("99%\rFW flash verifying size:x40\n67%\r100%\rDone return 0\n"));
}

// The requests a programming, a verify and a dump send, counted in the
// device's trace by code and length: speed work must not change them.
TEST_F(Usb3Test, RequestCountsOfProgrammingVerifyingAndDumping)
{
    AddUsb3(0);
    const auto counts = [this] {
        std::map<std::string, int> found;
        const std::regex request("req=(0x[0-9A-F]{2}) .*len=([0-9]+)");
        for (const std::string& line : emu.TraceWith("request id=")) {
            std::smatch m;
            if (std::regex_search(line, m, request)) {
                ++found[m[1].str() + "/" + m[2].str()];
            }
        }
        emu.ClearTrace();
        return found;
    };
    const std::string file = FirmwareFile("fpga1.bin", Payload(65 * 64));
    emu.StartTrace();
    ASSERT_EQ(RunQuiet({"prog", "FPGA1", file}).status, 0);
    std::map<std::string, int> seen = counts();
    EXPECT_EQ(seen["0xB0/4"], 10) << "one erase command per sector of the region";
    EXPECT_EQ(seen["0xE8/64"], 65) << "one write per 64 bytes";
    EXPECT_EQ(seen["0xE6/64"], 65) << "one read per 64 bytes verified";
    EXPECT_EQ(seen["0xE6/96"], 1) << "the camera's map, read once";
    EXPECT_EQ(seen["0xE4/8"], 131) << "a set-up before each write and read";

    ASSERT_EQ(RunQuiet({"verify", "FPGA1", file}).status, 0);
    seen = counts();
    EXPECT_EQ(seen["0xE6/64"], 65);
    EXPECT_EQ(seen["0xE8/64"], 0);

    ASSERT_EQ(RunQuiet({"dump", "MMDESC", work.File("mmdesc.bin")}).status, 0);
    EXPECT_EQ(counts()["0xE6/64"], 1024);

    ASSERT_EQ(RunQuiet({"prog", "FLAG_U3V", "1"}).status, 0);
    seen = counts();
    EXPECT_EQ(seen["0xE6/960"], 2 * 68) << "the partition read twice in the largest pieces";
    EXPECT_EQ(seen["0xE6/256"], 2);
    EXPECT_EQ(seen["0xE8/64"], 1025) << "the piece with the format word once more, last";
    EXPECT_EQ(seen["0xE6/64"], 1025) << "every piece verified, that one again";
}

// After programming and a reset, every row of the version query shows what
// the programmed images carry.
TEST_F(Usb3Test, InfoAfterResetShowsTheProgrammedVersions)
{
    AddUsb3(0);
    const auto image = [](std::size_t size, std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
        Bytes payload = Payload(size);
        for (const auto& [at, value] : bytes) {
            payload[at] = value;
        }
        return payload;
    };
    struct Step {
        std::string type;
        Bytes payload;
    };
    const Step steps[] = {
        {"CPU1", image(0x1000, {{0, 'C'}, {1, 'Y'}, {0x10, 0x12}, {0x11, 0x04}})},
        {"CPU3", image(0x800, {{1, 0x08}, {2, 0x00}, {5, 0x27}, {6, 0x03}})},
        {"CPU4", image(0x10000, {{0xFC0E, 0x45}, {0xFC0F, 0x02}})},
        {"FPGA1", image(0x2000, {{0x10, 0x09}, {0x11, 0x01}, {0x12, 0}, {0x13, 0}})},
        {"XMLMAN", image(0x100, {{8, 0x07}, {9, 0x00}, {10, 0x03}, {11, 0x02}})},
        {"CPU2", image(0x1000, {{0x10, 0x31}, {0x11, 0x06}})},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(RunQuiet({"prog", step.type, FirmwareFile(step.type + ".bin", step.payload)}).status, 0) << step.type;
    }
    ASSERT_EQ(RunQuiet({"reset"}).out, zvtest::kBanner +
                                           "Performing operation 4 on firmware type 0\nReseting\n"
                                           "Resetting Camera\nReset done OK\n" +
                                           kDone);
    const std::pair<std::string, std::string> rows[] = {
        {"CPU1", "04.12"}, {"CPU2", "06.31"},  {"CPU5", "06.31"},  {"CPU3", "03.27"},
        {"CPU4", "02.45"}, {"FPGA1", "01.09"}, {"FPGA2", "01.09"}, {"XMLMAN", "02.03.07"},
    };
    for (const auto& [type, version] : rows) {
        const e2e::ProgramRun r = RunQuiet({"info", type});
        EXPECT_EQ(r.status, 0) << type;
        EXPECT_THAT(r.out, HasSubstr("Getting version info\nDetected version V" + version + "\n" + kDone)) << type;
    }
    // The identifiers: the register sequence's three words, the MCU's twelve bytes.
    EXPECT_THAT(RunQuiet({"info", "SID1"}).out, ::testing::ContainsRegex("Detected version V[0-9a-f]{12}\n"));
    EXPECT_THAT(RunQuiet({"info", "SID2"}).out, ::testing::ContainsRegex("Detected version V[0-9a-f]{24}\n"));
    EXPECT_THAT(RunQuiet({"info", "FLAG_U3V"}).out, HasSubstr("FLAG_U3V 0\n"));
}

// REST_INFO rewrites the partition as it is, upgrading a format-1 one.
TEST_F(Usb3Test, RestInfoUpgradesAFormat1Partition)
{
    const unsigned camera = AddUsb3(0, [](zvemu::Usb3Seed& s) {
        s.infoFormat = 1;
        s.flags = 5;
    });
    const Bytes seeded = Memory(camera, Usb3Memory::Spi);
    const e2e::ProgramRun r = RunQuiet({"prog", "REST_INFO", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("InfoPartition format version 1\nInfoPartition format auto upgrade to version 2\n"
                                 "Setting device flag to 0\n"));
    const Bytes now = Memory(camera, Usb3Memory::Spi);
    EXPECT_EQ(Slice(now, kInfo, 8), Bytes({2, 0, 0, 0, 0x30, 1, 0, 0}));
    EXPECT_EQ(Slice(now, kInfo + 288, 4), Bytes(4, 0));
    EXPECT_TRUE(OnlyChanged(seeded, now, kInfo, 292));
    EXPECT_EQ(Slice(now, kInfo + 8, 280), Slice(seeded, kInfo + 8, 280));
    EXPECT_EQ(RunQuiet({"verify", "REST_INFO", "0"}).status, 0);
}

// Commands the direct path does not offer, and types it cannot program.
TEST_F(Usb3Test, RefusedCommandsAndTypes)
{
    AddUsb3(4);
    const std::string file = FirmwareFile("any.bin", Payload(0x100));
    struct Row {
        std::vector<std::string> args;
        std::string error;
    };
    const Row rows[] = {
        {{"upgrade", "CPU1"}, "FW_Updater_USB30::UpgradeFirmware ERROR: Operation is not supported"},
        {{"extract", "EEPROM1", work.File("x.csv")}, "Function ExtractData is not implemented for this camera."},
        {{"insert", "EEPROM1", file}, "Function InsertData is not implemented for this camera."},
        {{"diff", "EEPROM1"}, "Function DiffFirmwareContent is not implemented. Try --zvapi"},
        {{"file_diff", "EEPROM1", file}, "Function DiffFirmwareContent is not implemented. Try --zvapi"},
        {{"listdevpaths"}, "Function ListOfCamerasLocations is not implemented. Try --zvapi"},
        {{"prog", "EEPROM1", file}, "Unsupported firmware type"},
        {{"prog", "FACTORYSETS", file}, "Unsupported firmware type"},
        {{"dump", "CPU1", work.File("cpu1.bin")}, "Invalid file type"},
        {{"info", "USET1"}, "GetCurrentFirmwareVersion: Unsupported firmware type"},
        {{"info", "FPGA1", "--ucam_type4"}, "GetCurrentFirmwareVersion: Unsupported camera type"},
        {{"prog", "FPGA1", file, "--ucam_type4"}, "Error invalid file size for selected firmware"},
    };
    const Bytes before = Memory(0, Usb3Memory::Spi);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.args.back());
        const e2e::ProgramRun r = RunQuiet(row.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr("\n******** Error: " + row.error + "\n" + kFailed));
    }
    EXPECT_EQ(Memory(0, Usb3Memory::Spi), before);
    EXPECT_FALSE(std::filesystem::exists(work.File("cpu1.bin")));
}

}  // namespace
