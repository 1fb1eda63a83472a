// Choosing the USB3 camera: by index, device path, location and serial
// number, all cameras in turn, and the operation log of the camera worked on.

#include "usb3_e2e_support.h"

#include "fw_operation_log.h"
#include "zvemu/state_dir.h"

#include <gmock/gmock.h>

namespace {

using namespace usb3e2e;
using ::testing::HasSubstr;
using ::testing::Not;

class Usb3Selection : public Usb3Test {
protected:
    // Three cameras whose serials, paths and locations differ.
    void AddThree()
    {
        for (int i = 0; i < 3; ++i) {
            AddUsb3(0);
        }
    }
    std::string Location(unsigned camera) const { return emu.Camera(camera).locPath; }
    std::string Serial(unsigned camera) const { return emu.Camera(camera).serial; }
    std::string Path(unsigned camera) const
    {
        return zvemu::Usb3InterfacePath(emu.State(), emu.CameraId(camera), emu.Camera(camera),
                                        *zvemu::LoadUsb3Face(emu.State(), emu.CameraId(camera)));
    }
    // The XMLMAN header of a camera changed, so a version query shows which
    // camera answered.
    void MarkCamera(unsigned camera, std::uint8_t mark) const
    {
        SetMemory(camera, Usb3Memory::Spi, 0x200008, {0, 0, mark, 1});
    }
    std::vector<std::string> Log(unsigned camera) const
    {
        const auto archive = emu.State().ReadFfsFile(emu.CameraId(camera), "FwOperationLog.zip");
        if (!archive) {
            return {};
        }
        const auto text = UnpackFwLog(*archive);
        std::vector<std::string> lines;
        std::string line;
        for (const char c : text.value_or("")) {
            if (c == '\n') {
                lines.push_back(line.substr(line.find("] ") + 2));
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) {
            lines.push_back(line.substr(line.find("] ") + 2));
        }
        return lines;
    }
};

TEST_F(Usb3Selection, EachWayOfNamingACameraReachesThatCamera)
{
    AddThree();
    for (unsigned camera = 0; camera < 3; ++camera) {
        MarkCamera(camera, static_cast<std::uint8_t>(10 + camera));
    }
    const auto shown = [](unsigned camera) { return "Detected version V01.1" + std::to_string(camera) + ".00\n"; };
    struct Row {
        std::vector<std::string> selection;
        unsigned camera;
    };
    const std::vector<Row> rows = {
        {{}, 0},
        {{"--camid", "2"}, 2},
        {{"--campath", Path(1)}, 1},
        {{"--camlocation", Location(2)}, 2},
        {{"--camsn", Serial(1)}, 1},
        {{"--camsn", Serial(2).substr(5, 4)}, 2},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"info", "XMLMAN"};
        args.insert(args.end(), row.selection.begin(), row.selection.end());
        const e2e::ProgramRun r = RunQuiet(args);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_THAT(r.out, HasSubstr(shown(row.camera))) << args.back();
    }
    // The serial lines name each camera looked at.
    const e2e::ProgramRun bySerial = RunQuiet({"info", "XMLMAN", "--camsn", Serial(2)});
    EXPECT_THAT(bySerial.out, HasSubstr("\n Decoded SN: " + Serial(0) + "\nValid serial\n"));
    EXPECT_THAT(bySerial.out, HasSubstr("SelectCameraBySN - not-selected:" + Serial(1) + "\n"));
}

TEST_F(Usb3Selection, OlderSerialFormIsMatchedByItsHexadecimalDigits)
{
    AddUsb3(0, [](zvemu::Usb3Seed& s) { s.sneRecord.fill(0xFF); });
    AddUsb3(0);
    const Bytes spi = Memory(0, Usb3Memory::Spi);
    char older[9];
    std::snprintf(older, sizeof older, "%08X",
                  static_cast<unsigned>(spi[0x5000C] | spi[0x5000D] << 8 | spi[0x5000E] << 16 | spi[0x5000F] << 24));
    const e2e::ProgramRun r = RunQuiet({"info", "XMLMAN", "--camsn", older});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out,
                HasSubstr("Camera uses older serial number format\nActual camera serial: " + std::string(older)));
    EXPECT_THAT(r.out, HasSubstr("Valid serial\nSelectCameraBySN - not-selected:" + Serial(1) + "\n"));
}

TEST_F(Usb3Selection, UnknownOrAmbiguousNamesAreRefused)
{
    AddThree();
    const Bytes before = Memory(0, Usb3Memory::Spi);
    const std::string file = FirmwareFile("cpu1.bin", Payload(0x100));
    struct Row {
        std::vector<std::string> selection;
        std::string error;
    };
    const std::string common = Serial(0).substr(0, 3);    // every serial begins alike
    const std::string commonPath = Path(0).substr(0, 8);  // as do the device paths and locations
    const std::string commonLocation = Location(0).substr(0, 7);
    const Row rows[] = {
        {{"--campath", "no-such-path"}, "SelectCameraByPath - Camera not found"},
        {{"--camlocation", "no-such-location"}, "SelectCameraByLocation - Camera not found"},
        {{"--camsn", "XXXXXX"}, "SelectCameraBySN - Camera not found"},
        {{"--camsn", common},
         "SelectCameraBySN - '" + common + "' matches more than one camera: " + Serial(0) + " (id 0) and " + Serial(1) +
             " (id 1)"},
        {{"--campath", commonPath},
         "SelectCameraByPath - '" + commonPath + "' matches more than one camera: " + Path(0) + " (id 0) and " +
             Path(1) + " (id 1)"},
        {{"--camlocation", commonLocation},
         "SelectCameraByLocation - '" + commonLocation + "' matches more than one camera: " + Location(0) +
             " (id 0) and " + Location(1) + " (id 1)"},
        {{"--camid", "3"}, "Can not open USB3 device using zavro driver"},
        {{"--camid", "65536"}, "Can not open USB3 device using zavro driver"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"prog", "CPU1", file};
        args.insert(args.end(), row.selection.begin(), row.selection.end());
        const e2e::ProgramRun r = RunQuiet(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr("******** Error: " + row.error + "\n")) << row.selection.back();
    }
    EXPECT_EQ(Memory(0, Usb3Memory::Spi), before) << "camera 0 was touched";
}

TEST_F(Usb3Selection, AllCamerasOnePassFromTheHighestIndexEachWithItsOwnLog)
{
    AddThree();
    const Bytes payload = Payload(0x800);
    const std::string file = FirmwareFile("xml.bin", payload);
    const e2e::ProgramRun r = RunQuiet({"prog", "XMLMAN", file, "--allcameras"});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string::size_type c2 = r.out.find("Selected camera id:2 (total 3) - driver 1\n");
    const std::string::size_type c1 = r.out.find("Selected camera id:1 (total 3) - driver 1\n");
    const std::string::size_type c0 = r.out.find("Selected camera id:0 (total 3) - driver 1\n");
    EXPECT_TRUE(c2 != std::string::npos && c2 < c1 && c1 < c0 && c0 != std::string::npos) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("driver 2")));
    for (unsigned camera = 0; camera < 3; ++camera) {
        EXPECT_EQ(Slice(Memory(camera, Usb3Memory::Spi), 0x200000, payload.size()), payload);
        const auto lines = Log(camera);
        ASSERT_EQ(lines.size(), 4u) << "camera " << camera;
        EXPECT_EQ(lines[0], "Firmware Updater V2.64 started");
        EXPECT_THAT(lines[1], ::testing::MatchesRegex("FW prog of XMLMAN \\[[0-9a-f]{10}\\] started"));
        EXPECT_THAT(lines[2], ::testing::MatchesRegex("FW prog of XMLMAN \\[[0-9a-f]{10}\\] finished"));
        EXPECT_EQ(lines[3], "Firmware Updater V2.64 finished");
    }
}

}  // namespace
