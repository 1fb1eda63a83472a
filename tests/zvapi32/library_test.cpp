// Cameras, handles, device information and the parameter set of the
// emulated camera API library.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "emu_dir.h"
#include "zvapi32.h"

namespace {

using zvtest::EmuDir;

ZV_HANDLE Open(uint32_t index)
{
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(index, &h), 0);
    return h;
}

std::string GetString(ZV_HANDLE h, const char* param)
{
    char text[256] = {};
    EXPECT_EQ(zvGetParamString(h, param, text, sizeof text), 0) << param;
    return text;
}

int32_t GetInt(ZV_HANDLE h, const char* param)
{
    int32_t v = -12345;
    EXPECT_EQ(zvGetParamInt(h, param, &v), 0) << param;
    return v;
}

std::string RunProbe(const std::string& args)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((std::string(ZVAPI32_PROBE) + " " + args).c_str(), "r"),
                                               ::pclose);
    char chunk[512];
    while (pipe && std::fgets(chunk, sizeof chunk, pipe.get())) {
        out += chunk;
    }
    return out;
}

TEST(Devices, HandlesAreUniqueAndSeveralWorkOnOneCamera)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
    emu.AddCamera("JR574XX-D0-BSI-1");
    uint32_t count = 0;
    ASSERT_EQ(zvGetNumberDevices(&count), 0);
    EXPECT_EQ(count, 2u);

    const ZV_HANDLE a = Open(0), b = Open(0), c = Open(1);
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_EQ(GetString(a, "device_name"), "JV966JK-TD-G8-V7T9-JND");
    EXPECT_EQ(GetString(c, "device_name"), "JR574XX-D0-BSI-1");

    // Selectors belong to the handle.
    ASSERT_EQ(zvSetParamInt(a, "version_selector", ZV_VER_FPGA1), 0);
    EXPECT_EQ(GetInt(b, "version_selector"), ZV_VER_API);

    ASSERT_EQ(zvCloseDevice(a), 0);
    EXPECT_EQ(GetString(b, "device_name"), "JV966JK-TD-G8-V7T9-JND");
    int32_t v = 7;
    EXPECT_EQ(zvGetParamInt(a, "isexist", &v), ZV_INVALID_HANDLE);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(zvCloseDevice(a), ZV_INVALID_HANDLE);
    EXPECT_EQ(zvCloseDevice(0), ZV_INVALID_HANDLE);
    // A closed handle is never handed out again.
    const ZV_HANDLE d = Open(0);
    EXPECT_GT(d, c);
    zvCloseDevice(b);
    zvCloseDevice(c);
    zvCloseDevice(d);
}

TEST(Devices, OpenByEachKind)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
    emu.AddCamera("JV285VT-TD-BM-TQ-VKU", [](zvemu::CameraRecord& r) { r.userId = "bench-left"; });
    const auto cam = emu.Camera(1);
    struct Case {
        int32_t kind;
        std::string text;
        int32_t rc;
    } cases[] = {
        {ZV_OPEN_BY_INST_PATH, cam.instPath, 0},
        {ZV_OPEN_BY_SN, cam.serial, 0},
        {ZV_OPEN_BY_USER_ID, "bench-left", 0},
        {ZV_OPEN_BY_LOC_PATH, cam.locPath, 0},
        {ZV_OPEN_BY_SN, "NOSUCHSERIAL", ZV_NO_DEVICES_FOUND},
        {ZV_OPEN_BY_USER_ID, "", ZV_NO_DEVICES_FOUND},
        {7, cam.serial, ZV_INVALID_ARG},
    };
    for (const auto& c : cases) {
        ZV_HANDLE h = 0;
        EXPECT_EQ(zvOpenDeviceBy(c.kind, c.text.c_str(), &h), c.rc) << c.kind << " " << c.text;
        if (c.rc == 0) {
            EXPECT_EQ(GetString(h, "device_sn"), cam.serial);
            zvCloseDevice(h);
        } else {
            EXPECT_EQ(h, 0u);
        }
    }
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDeviceBy(ZV_OPEN_BY_SN, nullptr, &h), ZV_INVALID_ARG);
    EXPECT_EQ(zvOpenDevice(2, &h), ZV_NO_DEVICES_FOUND);
    EXPECT_EQ(zvOpenDevice(0, nullptr), ZV_INVALID_ARG);
    EXPECT_EQ(h, 0u);
}

TEST(Devices, DeviceInfoStringsByIndex)
{
    EmuDir emu;
    emu.AddCamera();
    const auto cam = emu.Camera(0);
    const std::pair<const char*, std::string> expected[] = {
        {"device_name", cam.model},         {"device_sn", cam.serial},        {"device_id", cam.deviceId},
        {"device_inst_path", cam.instPath}, {"device_loc_path", cam.locPath}, {"device_user_id", cam.userId}};
    for (const auto& [param, text] : expected) {
        char buffer[300] = {};
        ASSERT_EQ(zvGetDeviceInfoString(0, param, buffer, sizeof buffer), 0) << param;
        EXPECT_EQ(buffer, text);
    }
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(zvGetDeviceInfoString(0, "device_loc_path", small, sizeof small), ZV_BUFFER_TOO_SMALL);
    EXPECT_EQ(std::string(small, 4), "xxxx");
    EXPECT_EQ(zvGetDeviceInfoString(0, "device_color", small, sizeof small), ZV_UNKNOWN_PARAM);
    EXPECT_EQ(zvGetDeviceInfoString(1, "device_name", small, sizeof small), ZV_NO_DEVICES_FOUND);
    EXPECT_EQ(std::string(small, 4), "xxxx");
}

// Every refused call answers its own code and leaves the caller's outputs
// and the camera as they were.
TEST(Parameters, ErrorPathsAnswerTheirCodeAndWriteNothing)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open(0);
    const ZV_HANDLE closed = Open(0);
    ASSERT_EQ(zvCloseDevice(closed), 0);
    ASSERT_EQ(zvSetParamInt(h, "version_selector", ZV_VER_MCU2), 0);

    struct Out {
        int32_t i = -777;
        float f = -7.5f;
        char text[8] = {'s', 's', 's', 's', 's', 's', 's', 's'};
        int64_t wide = -777;
        uint32_t size = 8;
        int32_t type = zvTypeInteger64;
    };
    struct Case {
        const char* what;
        int32_t rc;
        std::function<int32_t(Out&)> call;
    } cases[] = {
        {"unknown parameter", ZV_UNKNOWN_PARAM, [&](Out& o) { return zvGetParamInt(h, "no_such_param", &o.i); }},
        {"int read of a text", ZV_WRONG_PARAM_TYPE, [&](Out& o) { return zvGetParamInt(h, "device_name", &o.i); }},
        {"text read of an int", ZV_WRONG_PARAM_TYPE,
         [&](Out& o) { return zvGetParamString(h, "version_selector", o.text, sizeof o.text); }},
        {"float read of an int", ZV_WRONG_PARAM_TYPE,
         [&](Out& o) { return zvGetParamFloat(h, "version_selector", &o.f); }},
        {"int write of a text", ZV_WRONG_PARAM_TYPE, [&](Out&) { return zvSetParamInt(h, "ffs_file_name", 1); }},
        {"null value", ZV_INVALID_ARG, [&](Out&) { return zvGetParamInt(h, "version_selector", nullptr); }},
        {"null parameter", ZV_INVALID_ARG, [&](Out& o) { return zvGetParamInt(h, nullptr, &o.i); }},
        {"null buffer", ZV_INVALID_ARG, [&](Out&) { return zvGetParamString(h, "device_name", nullptr, 8); }},
        {"negative size", ZV_INVALID_ARG, [&](Out& o) { return zvGetParamString(h, "device_name", o.text, -1); }},
        {"null size pointer", ZV_INVALID_ARG,
         [&](Out& o) { return zvGetParam(h, "used_ffs_size", &o.wide, nullptr, &o.type); }},
        {"buffer too small", ZV_BUFFER_TOO_SMALL,
         [&](Out& o) { return zvGetParamString(h, "device_name", o.text, sizeof o.text); }},
        {"64-bit read into 4 bytes", ZV_BUFFER_TOO_SMALL,
         [&](Out& o) {
             o.size = 4;
             return zvGetParam(h, "used_ffs_size", &o.wide, &o.size, &o.type);
         }},
        {"closed handle", ZV_INVALID_HANDLE, [&](Out& o) { return zvGetParamInt(closed, "isexist", &o.i); }},
        {"never issued handle", ZV_INVALID_HANDLE, [&](Out& o) { return zvGetParamInt(999999, "isexist", &o.i); }},
        {"null handle on a camera parameter", ZV_INVALID_HANDLE,
         [&](Out& o) { return zvGetParamInt(0, "version_selector", &o.i); }},
        {"closed handle on a library setting", ZV_INVALID_HANDLE,
         [&](Out&) { return zvSetParamInt(closed, "cam_enum_golden_enabled", 1); }},
        {"write of a read-only parameter", ZV_READ_ONLY_PARAM,
         [&](Out&) { return zvSetParamString(h, "device_name", "X", 1); }},
        {"write of a limit", ZV_READ_ONLY_PARAM, [&](Out&) { return zvSetParamInt(h, "version_selector:max", 3); }},
        {"read of a write-only parameter", ZV_PARAM_NOT_SUPPORTED,
         [&](Out& o) { return zvGetParamInt(h, "device_reset", &o.i); }},
        {"limit of a text", ZV_PARAM_INFO_NOT_SUPPORTED,
         [&](Out& o) { return zvGetParamInt(h, "device_name:min", &o.i); }},
        {"value out of range", ZV_PARAM_VALUE_CANNOT_BE_SET,
         [&](Out&) { return zvSetParamInt(h, "version_selector", 9); }},
        {"raw write of a wrong size", ZV_WRONG_PARAM_SIZE,
         [&](Out& o) { return zvSetParam(h, "version_selector", &o.i, 2, zvTypeInteger); }},
        {"unknown value type", ZV_WRONG_PARAM_TYPE,
         [&](Out& o) {
             o.type = 42;
             return zvGetParam(h, "version_selector", &o.wide, &o.size, &o.type);
         }},
    };
    const std::string before = zvemu::Serialize(emu.Camera(0));
    for (const auto& c : cases) {
        Out o;
        EXPECT_EQ(c.call(o), c.rc) << c.what;
        Out fresh;
        if (std::string(c.what) == "64-bit read into 4 bytes") {
            fresh.size = 4;
        }
        if (std::string(c.what) == "unknown value type") {
            fresh.type = 42;
        }
        EXPECT_EQ(o.i, fresh.i) << c.what;
        EXPECT_EQ(o.f, fresh.f) << c.what;
        EXPECT_EQ(std::string(o.text, 8), std::string(fresh.text, 8)) << c.what;
        EXPECT_EQ(o.wide, fresh.wide) << c.what;
        EXPECT_EQ(o.size, fresh.size) << c.what;
    }
    EXPECT_EQ(GetInt(h, "version_selector"), ZV_VER_MCU2);
    EXPECT_EQ(zvemu::Serialize(emu.Camera(0)), before);
    zvCloseDevice(h);
}

TEST(Parameters, VersionsFollowTheSelector)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.versions = {{"version_mcu1", "02.50"},     {"version_mcu2", "00.07"}, {"version_mcu3", "00.08"},
                      {"version_fpga1", "4.2"},      {"version_xmlman", "9"},   {"hw_revision", "C"},
                      {"factory_set_version", "1.2"}};
    });
    const ZV_HANDLE h = Open(0);
    const std::string api = GetString(h, "api_version");
    EXPECT_FALSE(api.empty());
    const std::pair<int32_t, std::string> table[] = {
        {ZV_VER_API, api},          {ZV_VER_DRV, GetString(h, "drv_version")},
        {ZV_VER_MCU1, "02.50"},     {ZV_VER_MCU2, "00.07"},
        {ZV_VER_MCU3, "00.08"},     {ZV_VER_FPGA1, "4.2"},
        {ZV_VER_XMLMAN, "9"},       {ZV_VER_HW_REV, "C"},
        {ZV_VER_FACTORY_SET, "1.2"}};
    for (const auto& [selector, text] : table) {
        ASSERT_EQ(zvSetParamInt(h, "version_selector", selector), 0);
        EXPECT_EQ(GetString(h, "version"), text) << selector;
    }
    EXPECT_EQ(GetString(h, "version_mcu1"), "02.50");
    EXPECT_EQ(GetString(h, "version_fpga1"), "4.2");
    EXPECT_EQ(GetInt(h, "version_selector:min"), ZV_VER_API);
    EXPECT_EQ(GetInt(h, "version_selector:max"), ZV_VER_FACTORY_SET);
    EXPECT_EQ(GetInt(h, "version_selector:inc"), 1);
    zvCloseDevice(h);
}

TEST(Parameters, LedsRegistersAndLibrarySettings)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.ledCount = 2;
        r.registers[{6, 0}] = 0;
        r.registers[{6, 1}] = 0x30101;
    });
    const ZV_HANDLE h = Open(0);
    EXPECT_EQ(GetInt(h, "led_selector:min"), 1);
    EXPECT_EQ(GetInt(h, "led_selector:max"), 2);
    EXPECT_EQ(zvSetParamInt(h, "led_selector", 3), ZV_PARAM_VALUE_CANNOT_BE_SET);
    ASSERT_EQ(zvSetParamInt(h, "led_selector", 2), 0);
    ASSERT_EQ(zvSetParamInt(h, "led_mode", 8), 0);
    EXPECT_EQ(GetInt(h, "led_mode"), 8);
    ASSERT_EQ(zvSetParamInt(h, "led_selector", 1), 0);
    EXPECT_EQ(GetInt(h, "led_mode"), 0);
    EXPECT_EQ(emu.Camera(0).ledModes.at(2), 8);  // kept with the camera

    ASSERT_EQ(zvSetParamInt(h, "device_unit_selector", 6), 0);
    ASSERT_EQ(zvSetParamInt(h, "device_unit_register_selector", 1), 0);
    EXPECT_EQ(GetInt(h, "device_unit_register_value"), 0x30101);
    ASSERT_EQ(zvSetParamInt(h, "device_unit_register_selector", 0), 0);
    EXPECT_EQ(GetInt(h, "device_unit_register_value"), 0);
    ASSERT_EQ(zvSetParamInt(h, "device_unit_selector", 7), 0);
    int32_t v = 5;
    EXPECT_EQ(zvGetParamInt(h, "device_unit_register_value", &v), ZV_READ_REG_ERROR);
    EXPECT_EQ(zvSetParamInt(h, "device_unit_register_value", 1), ZV_WRITE_REG_ERROR);
    EXPECT_EQ(v, 5);

    EXPECT_EQ(GetInt(h, "isexist"), 1);
    EXPECT_EQ(GetInt(h, "device_model_id"), emu.Camera(0).modelId);
    // Library-wide settings answer on the null handle and on any open one.
    ASSERT_EQ(zvSetParamInt(0, "cam_enum_golden_enabled", 1), 0);
    EXPECT_EQ(GetInt(h, "cam_enum_golden_enabled"), 1);
    ASSERT_EQ(zvSetParamInt(h, "cam_sensor_init_disabled", 1), 0);
    EXPECT_EQ(GetInt(0, "cam_sensor_init_disabled"), 1);
    ASSERT_EQ(zvSetParamInt(0, "cam_sensor_init_disabled", 0), 0);
    EXPECT_EQ(zvSetParamInt(0, "auto_bandwidth_calculation", 2), ZV_PARAM_VALUE_CANNOT_BE_SET);
    zvCloseDevice(h);
}

TEST(Parameters, FlashSpaceIsA64BitValue)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) { r.ffsCapacity = 0x123456789ull; });
    const std::vector<uint8_t> file(1000, 0x11);
    emu.State().WriteFfsFile(emu.CameraId(0), "UserSet1", file);
    const ZV_HANDLE h = Open(0);
    auto read = [&](const char* param) {
        int64_t v = 0;
        uint32_t size = 8;
        int32_t type = zvTypeInteger64;
        EXPECT_EQ(zvGetParam(h, param, &v, &size, &type), 0) << param;
        EXPECT_EQ(size, 8u);
        return v;
    };
    EXPECT_EQ(read("used_ffs_size"), 1000);
    EXPECT_EQ(read("free_ffs_size"), 0x123456789ll - 1000);
    EXPECT_EQ(read("free_ffs_size:max"), 0x123456789ll);
    zvCloseDevice(h);
}

TEST(ForcedSerial, HoldsForTheRestOfTheProcessOnly)
{
    EmuDir emu;
    emu.AddCamera();
    emu.AddCamera();
    const std::string original = emu.Camera(0).serial;
    const std::string forced = "ABCDE21070AV";

    EXPECT_EQ(zvSetDeviceInfoString(0, "device_sn", "abcde21070AV", 12), ZV_WRONG_PARAM_VALUE);
    EXPECT_EQ(zvSetDeviceInfoString(0, "device_sn", "ABCDE2107", 9), ZV_WRONG_PARAM_VALUE);
    EXPECT_EQ(zvSetDeviceInfoString(0, "device_name", "X", 1), ZV_READ_ONLY_PARAM);
    EXPECT_EQ(zvSetDeviceInfoString(2, "device_sn", forced.c_str(), 12), ZV_NO_DEVICES_FOUND);
    ASSERT_EQ(zvSetDeviceInfoString(0, "device_sn", forced.c_str(), 12), 0);

    const ZV_HANDLE h = Open(0);
    EXPECT_EQ(GetString(h, "device_sn"), forced);
    char info[64] = {};
    ASSERT_EQ(zvGetDeviceInfoString(0, "device_sn", info, sizeof info), 0);
    EXPECT_EQ(std::string(info), forced);
    ZV_HANDLE bySn = 0;
    EXPECT_EQ(zvOpenDeviceBy(ZV_OPEN_BY_SN, original.c_str(), &bySn), ZV_NO_DEVICES_FOUND);
    ASSERT_EQ(zvOpenDeviceBy(ZV_OPEN_BY_SN, forced.c_str(), &bySn), 0);
    EXPECT_EQ(GetString(bySn, "device_name"), emu.Camera(0).model);
    // The other camera and the camera's own record keep their serials; a
    // second process sees the camera's own.
    const ZV_HANDLE other = Open(1);
    EXPECT_EQ(GetString(other, "device_sn"), emu.Camera(1).serial);
    EXPECT_EQ(emu.Camera(0).serial, original);
    EXPECT_EQ(RunProbe("string device_sn"), original + "\n");
    zvCloseDevice(h);
    zvCloseDevice(bySn);
    zvCloseDevice(other);
}

}  // namespace

extern "C" int zvapi32_c_header_check(void);

TEST(Header, CompilesAsCAndWorks)
{
    zvtest::EmuDir emu;
    EXPECT_EQ(zvapi32_c_header_check(), 0);
}

namespace {

// The parameter set of an emulated camera, as the updater relies on it.
enum class Kind {
    Int,
    Text,
    Raw
};
struct ParamSpec {
    const char* name;
    Kind kind;
    bool readable;
    bool writable;
    bool libraryWide;  // answers on the null handle too
};
const ParamSpec kParamSet[] = {
    {"cam_enum_golden_enabled", Kind::Int, true, true, true},
    {"cam_sensor_init_disabled", Kind::Int, true, true, true},
    {"auto_bandwidth_calculation", Kind::Int, true, true, true},
    {"api_version", Kind::Text, true, false, true},
    {"drv_version", Kind::Text, true, false, true},
    {"isexist", Kind::Int, true, false, false},
    {"device_name", Kind::Text, true, false, false},
    {"device_sn", Kind::Text, true, false, false},
    {"device_id", Kind::Text, true, false, false},
    {"device_inst_path", Kind::Text, true, false, false},
    {"device_loc_path", Kind::Text, true, false, false},
    {"device_user_id", Kind::Text, true, false, false},
    {"device_model_id", Kind::Int, true, false, false},
    {"version_selector", Kind::Int, true, true, false},
    {"version", Kind::Text, true, false, false},
    {"version_mcu1", Kind::Text, true, false, false},
    {"version_mcu2", Kind::Text, true, false, false},
    {"version_mcu3", Kind::Text, true, false, false},
    {"version_fpga1", Kind::Text, true, false, false},
    {"version_xmlman", Kind::Text, true, false, false},
    {"hw_revision", Kind::Text, true, false, false},
    {"factory_set_version", Kind::Text, true, false, false},
    {"led_selector", Kind::Int, true, true, false},
    {"led_mode", Kind::Int, true, true, false},
    {"device_reset", Kind::Int, false, true, false},
    {"device_unit_selector", Kind::Int, true, true, false},
    {"device_unit_register_selector", Kind::Int, true, true, false},
    {"device_unit_register_value", Kind::Int, true, true, false},
    {"ffs_access_key", Kind::Int, true, true, false},
    {"ffs_file_name", Kind::Text, true, true, false},
    {"ffs_file_offset", Kind::Int, true, true, false},
    {"ffs_file_size", Kind::Int, true, false, false},
    {"read_file_ffs", Kind::Text, true, false, false},
    {"write_file_ffs", Kind::Text, false, true, false},
    {"api_progress_callback", Kind::Text, false, true, false},
    {"used_ffs_size", Kind::Raw, true, false, false},
    {"free_ffs_size", Kind::Raw, true, false, false},
};

int32_t ReadAs(ZV_HANDLE h, const std::string& name, Kind kind, std::string& shown)
{
    if (kind == Kind::Int) {
        int32_t v = 0;
        const int32_t rc = zvGetParamInt(h, name.c_str(), &v);
        shown = std::to_string(v);
        return rc;
    }
    if (kind == Kind::Raw) {
        int64_t v = 0;
        uint32_t size = 8;
        int32_t type = zvTypeInteger64;
        const int32_t rc = zvGetParam(h, name.c_str(), &v, &size, &type);
        shown = std::to_string(v);
        return rc;
    }
    char text[256] = {};
    const int32_t rc = zvGetParamString(h, name.c_str(), text, sizeof text);
    shown = std::string(text, ::strnlen(text, sizeof text));
    return rc;
}

TEST(Parameters, EveryParameterOfTheSet)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open(0);
    ASSERT_EQ(zvSetParamString(h, "ffs_file_name", "UserSet1", 8), 0);
    ASSERT_EQ(zvSetParamInt(h, "device_unit_selector", 6), 0);
    for (const auto& p : kParamSet) {
        SCOPED_TRACE(p.name);
        std::string value;
        // Read with its own type, or refused as write-only.
        const int32_t rc = ReadAs(h, p.name, p.kind, value);
        EXPECT_EQ(rc, p.readable ? 0 : ZV_PARAM_NOT_SUPPORTED);
        // Read with a wrong type: refused, nothing written.
        int32_t i = -31;
        char text[4] = {'t', 't', 't', 't'};
        if (p.kind == Kind::Text) {
            EXPECT_EQ(zvGetParamInt(h, p.name, &i), p.readable ? ZV_WRONG_PARAM_TYPE : ZV_PARAM_NOT_SUPPORTED);
        } else {
            EXPECT_EQ(zvGetParamString(h, p.name, text, sizeof text),
                      p.readable ? ZV_WRONG_PARAM_TYPE : ZV_PARAM_NOT_SUPPORTED);
        }
        EXPECT_EQ(i, -31);
        EXPECT_EQ(std::string(text, 4), "tttt");
        // Limits: for numbers a range, for texts none.
        std::string min, max;
        if (p.kind == Kind::Text) {
            EXPECT_EQ(zvGetParamInt(h, (std::string(p.name) + ":min").c_str(), &i), ZV_PARAM_INFO_NOT_SUPPORTED);
        } else if (p.readable) {
            ASSERT_EQ(ReadAs(h, std::string(p.name) + ":min", p.kind, min), 0);
            ASSERT_EQ(ReadAs(h, std::string(p.name) + ":max", p.kind, max), 0);
            EXPECT_LE(std::stoll(min), std::stoll(max));
            if (rc == 0) {
                EXPECT_LE(std::stoll(min), std::stoll(value));
                EXPECT_LE(std::stoll(value), std::stoll(max));
            }
        }
        // Writes: a read-only parameter refuses; a writable number takes its own value back.
        if (!p.writable) {
            const int32_t w = p.kind == Kind::Int ? zvSetParamInt(h, p.name, 0) : zvSetParamString(h, p.name, "x", 1);
            EXPECT_EQ(w, ZV_READ_ONLY_PARAM);
        } else if (p.kind == Kind::Int) {
            EXPECT_EQ(zvSetParamInt(h, p.name, p.readable ? std::stoi(value) : 0), 0);
        }
        // The null handle: library settings answer, camera parameters refuse.
        std::string ignored;
        if (p.readable) {
            EXPECT_EQ(ReadAs(0, p.name, p.kind, ignored), p.libraryWide ? 0 : ZV_INVALID_HANDLE);
        }
    }
    float f = 0;
    EXPECT_EQ(zvGetParamFloat(h, "tof_phase_angle", &f), ZV_PARAM_NOT_SUPPORTED);  // not a time-of-flight camera
    zvCloseDevice(h);
}

}  // namespace

namespace {

TEST(Devices, AHandleKeepsItsDirectoryAndGoesStaleWithItsCamera)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
    const ZV_HANDLE h = Open(0);
    {
        EmuDir other;  // now ZVAPI_EMULATOR_DIR names another, empty directory
        uint32_t count = 9;
        ASSERT_EQ(zvGetNumberDevices(&count), 0);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(GetString(h, "device_name"), "JV966JK-TD-G8-V7T9-JND");
    }
    emu.State().RemoveAll();
    char name[64] = {'n'};
    EXPECT_EQ(zvGetParamString(h, "device_name", name, sizeof name), ZV_INVALID_HANDLE);
    EXPECT_EQ(name[0], 'n');
    EXPECT_EQ(zvCloseDevice(h), 0);  // released all the same
    EXPECT_EQ(zvCloseDevice(h), ZV_INVALID_HANDLE);
}

}  // namespace

namespace {

// Sets an environment variable for one scope and puts the old value back.
class EnvValue {
public:
    EnvValue(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvValue()
    {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvValue(const EnvValue&) = delete;
    EnvValue& operator=(const EnvValue&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

uint32_t CountIn(const std::filesystem::path& root, unsigned cameras)
{
    zvemu::StateDir state(root);
    for (unsigned i = 0; i < cameras; ++i) {
        state.AddCamera(zvemu::DefaultCamera("JV966JK-TD-G8-V7T9-JND", i));
    }
    uint32_t count = 99;
    EXPECT_EQ(zvGetNumberDevices(&count), 0);
    return count;
}

}  // namespace

// Without ZVAPI_EMULATOR_DIR the cameras live in the user's state directory.
TEST(StateDirectory, PerUserDefaultWhenTheVariableIsUnset)
{
    EmuDir emu;
    const std::filesystem::path xdg = emu.Root() / "xdg";
    const std::filesystem::path home = emu.Root() / "home";
    const EnvValue keepHome("HOME", home.c_str());
    const EnvValue keepXdg("XDG_STATE_HOME", xdg.c_str());
    {
        const EnvValue unset("ZVAPI_EMULATOR_DIR", nullptr);
        EXPECT_EQ(CountIn(xdg / "zvapi-emulator", 1), 1u);
        const EnvValue noXdg("XDG_STATE_HOME", "");
        EXPECT_EQ(CountIn(home / ".local/state/zvapi-emulator", 2), 2u);
    }
    // The variable wins over both.
    EXPECT_EQ(CountIn(emu.Root(), 0), 0u);
}
