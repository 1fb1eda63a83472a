// zvcam-emu: setting up cameras that the library then sees.

#include <gtest/gtest.h>

#include "calib_data_structure_converter.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "zvapi32.h"
#include "zvcam_emu/cli.h"

namespace {

using zvtest::EmuDir;

struct Result {
    int status;
    std::string out;
};

Result Emu(const std::vector<std::string>& args)
{
    std::ostringstream out;
    const int status = zvcam_emu::Run(args, out);
    return {status, out.str()};
}

// Runs the installed program through the shell, as a person would.
Result Shell(const std::string& args)
{
    std::string out;
    FILE* pipe = ::popen((std::string(ZVCAM_EMU) + " " + args + " 2>&1").c_str(), "r");
    char chunk[512];
    while (pipe && std::fgets(chunk, sizeof chunk, pipe)) {
        out += chunk;
    }
    const int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Param(ZV_HANDLE h, const char* param)
{
    char text[300] = {};
    EXPECT_EQ(zvGetParamString(h, param, text, sizeof text), 0) << param;
    return text;
}

std::vector<char> LocalFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The commands of the README's "Emulated cameras" section.
TEST(ZvcamEmu, AddListAndShowAsTheReadmeShows)
{
    EmuDir emu;
    const std::string dir = "--dir " + emu.Root().string();
    auto r = Shell(dir + " add --model JV966JK-TD-G8-V7T9-JND --cpu-version 02.50");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0\n");
    r = Shell(dir + " add --model JR574XX-D0-BSI-1 --serial ABCDE21070AV --location 'PCIROOT(0)#USB(7)'");
    EXPECT_EQ(r.out, "1\n");

    r = Shell(dir + " list");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("0  JV966JK-TD-G8-V7T9-JND  sn "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cpu1 02.50"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1  JR574XX-D0-BSI-1  sn ABCDE21070AV  cpu2 03.11  fpga1 01.00  loc PCIROOT(0)#USB(7)"),
              std::string::npos)
        << r.out;

    r = Shell(dir + " show 1");
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"  device_name           JR574XX-D0-BSI-1\n", "  device_sn             ABCDE21070AV\n",
                             "  cpu firmware          File_FW_CPU2 (version_mcu2, device unit 7)\n",
                             "  access key            0x6B2F08D4\n", "    File_EEPROM1            65536\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    }

    r = Shell(dir + " show 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("zvcam-emu: no camera 2"), std::string::npos) << r.out;
}

TEST(ZvcamEmu, AddedCamerasAreWhatTheLibrarySees)
{
    EmuDir emu;
    auto r = Emu({"add",
                  "--model",
                  "JR825AB-X",
                  "--serial",
                  "QWERT21070AV",
                  "--cpu-version",
                  "03.14",
                  "--fpga-version",
                  "7.1",
                  "--location",
                  "LOC-A",
                  "--path",
                  "PATH-A",
                  "--user-id",
                  "U1",
                  "--device-id",
                  "DEV-1",
                  "--model-id",
                  "0x4321",
                  "--mcu3-version",
                  "9.9",
                  "--xmlman-version",
                  "2",
                  "--hw-revision",
                  "B",
                  "--factory-set-version",
                  "1.2",
                  "--access-key",
                  "0x01020304",
                  "--special-key",
                  "0x0A0B0C0D",
                  "--leds",
                  "5",
                  "--bootloader",
                  "0",
                  "--aux-bootloader",
                  "0x30101",
                  "--register",
                  "3:4=0x55",
                  "--ffs-capacity",
                  "1000000"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "0\n");

    ZV_HANDLE h = 0;
    ASSERT_EQ(zvOpenDeviceBy(ZV_OPEN_BY_USER_ID, "U1", &h), 0);
    EXPECT_EQ(Param(h, "device_name"), "JR825AB-X");
    EXPECT_EQ(Param(h, "device_sn"), "QWERT21070AV");
    EXPECT_EQ(Param(h, "device_loc_path"), "LOC-A");
    EXPECT_EQ(Param(h, "device_inst_path"), "PATH-A");
    EXPECT_EQ(Param(h, "device_id"), "DEV-1");
    EXPECT_EQ(Param(h, "version_mcu2"), "03.14");  // a JR camera runs its CPU firmware on MCU2
    EXPECT_EQ(Param(h, "version_mcu1"), "01.00");
    EXPECT_EQ(Param(h, "version_fpga1"), "7.1");
    EXPECT_EQ(Param(h, "version_mcu3"), "9.9");
    EXPECT_EQ(Param(h, "version_xmlman"), "2");
    EXPECT_EQ(Param(h, "hw_revision"), "B");
    EXPECT_EQ(Param(h, "factory_set_version"), "1.2");
    int32_t v = 0;
    ASSERT_EQ(zvGetParamInt(h, "device_model_id", &v), 0);
    EXPECT_EQ(v, 0x4321);
    ASSERT_EQ(zvGetParamInt(h, "led_selector:max", &v), 0);
    EXPECT_EQ(v, 5);
    auto reg = [&](int unit, int index) {
        EXPECT_EQ(zvSetParamInt(h, "device_unit_selector", unit), 0);
        EXPECT_EQ(zvSetParamInt(h, "device_unit_register_selector", index), 0);
        int32_t value = -1;
        EXPECT_EQ(zvGetParamInt(h, "device_unit_register_value", &value), 0);
        return value;
    };
    EXPECT_EQ(reg(7, 0), 0);
    EXPECT_EQ(reg(7, 1), 0x30101);
    EXPECT_EQ(reg(3, 4), 0x55);

    // Keys: the camera's access key for firmware, its special key for the factory user set.
    auto write = [&](const char* file, uint32_t key) {
        EXPECT_EQ(zvSetParamInt(h, "ffs_access_key", static_cast<int32_t>(key)), 0);
        EXPECT_EQ(zvSetParamString(h, "ffs_file_name", file, static_cast<uint32_t>(std::strlen(file))), 0);
        return zvSetParamString(h, "write_file_ffs", "abc", 3);
    };
    EXPECT_EQ(write("File_FW_FPGA1", 0x01020304), 0);
    EXPECT_EQ(write("File_FW_FPGA1", zvemu::kDefaultAccessKey), ZV_NOT_ENOUGH_PRIVILEGES);
    EXPECT_EQ(write("UserSetFactory", 0x0A0B0C0D), 0);

    // The calibration EEPROM is readable in full.
    ASSERT_EQ(zvSetParamString(h, "ffs_file_name", "File_EEPROM1", 12), 0);
    std::vector<char> eeprom(65536, 0);
    ASSERT_EQ(zvGetParamString(h, "read_file_ffs", eeprom.data(), 65536), 0);
    zvCloseDevice(h);
}

TEST(ZvcamEmu, GetAndPutFlashFiles)
{
    EmuDir emu;
    ASSERT_EQ(Emu({"add", "--model", "JV285VT-TD-BM-TQ-VKU"}).status, 0);
    const auto local = emu.Root() / "local.bin";
    const auto back = emu.Root() / "back.bin";
    {
        std::ofstream out(local, std::ios::binary);
        out << std::string("\x01\x02\x00\x03", 4);
    }
    auto r = Emu({"put", "0", "UserSet1", local.string()});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "UserSet1: 4 bytes stored in camera 0\n");
    ASSERT_EQ(Emu({"get", "0", "UserSet1", back.string()}).status, 0);
    EXPECT_EQ(LocalFile(back), LocalFile(local));

    // The library reads what was put.
    ZV_HANDLE h = 0;
    ASSERT_EQ(zvOpenDevice(0, &h), 0);
    ASSERT_EQ(zvSetParamString(h, "ffs_file_name", "UserSet1", 8), 0);
    char bytes[4] = {};
    ASSERT_EQ(zvGetParamString(h, "read_file_ffs", bytes, 4), 0);
    EXPECT_EQ(std::string(bytes, 4), std::string("\x01\x02\x00\x03", 4));
    zvCloseDevice(h);

    ASSERT_EQ(Emu({"get", "0", "File_EEPROM1", back.string()}).status, 0);
    EXPECT_EQ(LocalFile(back).size(), 65536u);
    r = Emu({"get", "0", "UserSet2", back.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "zvcam-emu: camera 0 has no file UserSet2\n");
}

TEST(ZvcamEmu, FaultsReachTheLibraryAndClearRemovesEverything)
{
    EmuDir emu;
    ASSERT_EQ(Emu({"add", "--model", "JV966JK-TD-G8-V7T9-JND"}).status, 0);
    auto r = Emu({"fault", "0", "fail", "call=zvOpenDevice", "code=56"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "hook added: fail call=zvOpenDevice code=56\n");
    ASSERT_EQ(Emu({"fault", "all", "trace"}).status, 0);
    EXPECT_NE(Emu({"show", "0"}).out.find("  hooks:\n    fail call=zvOpenDevice code=56\n"), std::string::npos);
    EXPECT_NE(Emu({"list"}).out.find("library hook: trace\n"), std::string::npos);

    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(0, &h), 56);
    EXPECT_EQ(emu.TraceWith("zvOpenDevice index=0 injected=56 rc=56").size(), 1u);
    ASSERT_EQ(Emu({"fault", "0", "clear"}).status, 0);
    ASSERT_EQ(zvOpenDevice(0, &h), 0);
    zvCloseDevice(h);

    ASSERT_EQ(Emu({"fault", "all", "nocameras"}).status, 0);
    uint32_t count = 9;
    ASSERT_EQ(zvGetNumberDevices(&count), 0);
    EXPECT_EQ(count, 0u);

    r = Emu({"clear"});
    EXPECT_EQ(r.out, "removed 1 camera(s)\n");
    EXPECT_EQ(Emu({"list"}).out, "no cameras in " + emu.Root().string() + "\n");
    EXPECT_TRUE(emu.State().LoadHooks("").empty());
    EXPECT_EQ(Emu({"add", "--model", "X"}).out, "0\n");
}

TEST(ZvcamEmu, DirOptionWinsOverTheEnvironment)
{
    EmuDir emu;  // ZVAPI_EMULATOR_DIR
    const auto other = emu.Root() / "other";
    ASSERT_EQ(Emu({"add", "--dir", other.string(), "--model", "M1"}).status, 0);
    EXPECT_EQ(zvemu::StateDir(other).CameraIds().size(), 1u);
    EXPECT_TRUE(emu.State().CameraIds().empty());
}

// The sensor's size and the model's features are what the library answers.
TEST(ZvcamEmu, SensorSizeAndFeatures)
{
    EmuDir emu;
    ASSERT_EQ(
        Emu({"add", "--model", "JV966JK-TD-G8-V7T9-JND", "--sensor", "640x480", "--features", "color,lens"}).status, 0);
    ASSERT_EQ(Emu({"add", "--model", "JV966JK-TD-G8-V7T9-JND"}).status, 0);
    const auto shown = Emu({"show", "0"}).out;
    EXPECT_NE(shown.find("  sensor                640x480\n  features              color,lens\n"), std::string::npos)
        << shown;
    EXPECT_NE(Emu({"show", "1"}).out.find("  sensor                1280x1024\n  features              none\n"),
              std::string::npos);

    for (uint32_t index : {0u, 1u}) {
        ZV_HANDLE h = 0;
        ASSERT_EQ(zvOpenDevice(index, &h), 0);
        int32_t v = 0;
        ASSERT_EQ(zvGetParamInt(h, "width_total", &v), 0);
        EXPECT_EQ(v, index == 0 ? 640 : 1280);
        ASSERT_EQ(zvGetParamInt(h, "height:max", &v), 0);
        EXPECT_EQ(v, index == 0 ? 480 : 1024);
        ASSERT_EQ(zvGetParamInt(h, "iscolor", &v), 0);
        EXPECT_EQ(v, index == 0 ? 1 : 0);
        float f = 0;
        EXPECT_EQ(zvGetParamFloat(h, "lens_aperture_value", &f), index == 0 ? 0 : ZV_PARAM_NOT_SUPPORTED);
        EXPECT_EQ(zvGetParamInt(h, "cooling", &v), ZV_PARAM_NOT_SUPPORTED);
        zvCloseDevice(h);
    }
}

TEST(ZvcamEmu, RefusesBadInput)
{
    EmuDir emu;
    ASSERT_EQ(Emu({"add", "--model", "JV966JK-TD-G8-V7T9-JND", "--serial", "ABCDE21070AV"}).status, 0);
    const auto local = (emu.Root() / "x.bin").string();
    std::ofstream(local) << "x";
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"dance"},
        {"add"},
        {"add", "--serial", "S1"},
        {"add", "--model", "M", "--colour", "red"},
        {"add", "--model", "M", "--serial", "ABCDE21070AV"},
        {"add", "--model", "M", "--model-id", "12x"},
        {"add", "--model", "M", "--leds", "9"},
        {"add", "--model", "M", "--register", "6=1"},
        {"add", "--model", "M", "--cpu-version"},
        {"add", "--model", "M", "--model", "N"},
        // Data versions the model's calibration definitions do not have.
        {"add", "--model", "JV966JK-TD-G8-V7T9-JND", "--eeprom-version", "2.7"},
        {"add", "--model", "UNKNOWN-1", "--eeprom-version", "2.1"},
        {"add", "--model", "JV966JK-TD-G8-V7T9-JND", "--eeprom-version", "2"},
        {"add", "--model", "JV966JK-TD-G8-V7T9-JND", "--eeprom-version", "2.300"},
        {"add", "--model", "M\nN"},
        {"add", "--model", "M", "--sensor", "640"},
        {"add", "--model", "M", "--sensor", "642x480"},
        {"add", "--model", "M", "--sensor", "640x481"},
        {"add", "--model", "M", "--sensor", "0x0"},
        {"add", "--model", "M", "--features", "color,wings"},
        {"add", "--model", "M", "--features", ""},
        {"list", "extra"},
        {"show"},
        {"show", "1"},
        {"show", "first"},
        {"get", "0", "UserSet1"},
        {"put", "0", "", local},
        {"put", "0", "UserSet1", (emu.Root() / "missing.bin").string()},
        {"fault", "0"},
        {"fault", "0", "explode"},
        {"fault", "0", "nocameras"},
        {"fault", "all", "vanish", "opens=2"},
        {"fault", "3", "trace"},
        {"--dir"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        const auto r = Emu(args);
        EXPECT_EQ(r.status, 1) << joined;
        EXPECT_FALSE(r.out.empty()) << joined;
    }
    EXPECT_EQ(emu.State().CameraIds().size(), 1u);
    EXPECT_TRUE(emu.State().LoadHooks("").empty());
    EXPECT_TRUE(emu.State().LoadHooks(emu.CameraId(0)).empty());
}

}  // namespace

// A camera of a model the calibration definitions know starts with a valid
// image: partition table, the data versions its CPU expects and their mode
// defaults. Any other camera starts erased.
TEST(ZvcamEmu, EepromStartsWithTheModelsCalibrationDefaults)
{
    struct Case {
        std::vector<std::string> add;
        const char* cpu;    // the CPU version the camera runs
        int structVersion;  // -1: erased
        int defaultsVersion;
    };
    const Case cases[] = {
        {{"--model", "JV966JK-TD-G8-V7T9-JND", "--cpu-version", "02.50"}, "02.50", 2, 3},
        {{"--model", "JV285VT-TD", "--cpu-version", "03.50"}, "03.50", 2, 1},
        {{"--model", "JR574JK-TD-D0-BSI"}, "03.11", 2, 1},  // default CPU: the lowest its definitions cover
        // Data made for an older firmware than the camera runs.
        {{"--model", "JV966JK-TD-G8-V7T9-JND", "--cpu-version", "02.50", "--eeprom-version", "2.1"}, "02.50", 2, 1},
        {{"--model", "JR574JK-TD-D0-BSI", "--cpu-version", "04.10", "--eeprom-version", "2.0"}, "04.10", 2, 0},
        {{"--model", "JV966JK-TD-G8-V7T9-JND", "--cpu-version", "09.00"}, "09.00", -1, 0},
        {{"--model", "UNKNOWN-1"}, "01.00", -1, 0},
    };
    for (const Case& c : cases) {
        EmuDir emu;
        std::vector<std::string> args = {"add"};
        args.insert(args.end(), c.add.begin(), c.add.end());
        ASSERT_EQ(Emu(args).status, 0) << c.add[1];
        const auto file = emu.Root() / "eeprom.bin";
        ASSERT_EQ(Emu({"get", "0", "File_EEPROM1", file.string()}).status, 0);
        const auto bytes = LocalFile(file);
        ASSERT_EQ(bytes.size(), 65536u);
        if (c.structVersion < 0) {
            EXPECT_EQ(bytes, std::vector<char>(65536, static_cast<char>(0xFF))) << c.add[1];
            continue;
        }
        CalibDataStructureConverter conv;
        conv.SetCameraModel(c.add[1].c_str());
        conv.SetCpuFirmwareVersion(c.cpu);
        conv.SetNewCpuFirmwareVersion(c.cpu);
        conv.ReadRawData(file.string().c_str(), CdsDataType::WholeImage);
        EXPECT_TRUE(conv.IsPartitionTableValid()) << c.add[1];
        uint8_t s = 0, d = 0;
        conv.GetCalibrationDataStructureVersion(&s);
        conv.GetCameraModeDefaultsVersion(&d);
        EXPECT_EQ(s, c.structVersion) << c.add[1];
        EXPECT_EQ(d, c.defaultsVersion) << c.add[1];
        CdsDefinition def;
        ASSERT_TRUE(CalibDataStructureConverter::GetCurrentCalibInfo(&def, c.add[1].c_str(), s, d));
        // Every page unpacks: the defaults arrived intact.
        conv.LoadSensorModes();
        conv.UnpackSensorModesData();
        EXPECT_EQ(conv.GetPagesCount(), def.pages_count) << c.add[1];
    }
}
