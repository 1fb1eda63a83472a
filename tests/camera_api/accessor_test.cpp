// The accessor forms over the parameter table, checked for every generated
// method, and the by-name accessors.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "raised.h"
#include "zvapiplus_camera.h"

namespace {

using zvtest::Catch;
using zvtest::Described;
using zvtest::EmuDir;

// Every method the table generates, with its parameter string and form. A
// getter's call answers its value as a number (texts: NaN).
struct Accessor {
    std::string method;
    std::string param;  // as sent, limits with their suffix
    std::string form;   // G, Min, Max, Inc, S, Is, E or D
    std::string type;   // INT, FLOAT, STRING or RAW
    bool checked;
    std::function<double(zvAPIplus_Camera&)> call;

    std::string Base() const { return param.substr(0, param.find(':')); }
};

// The value a setter sends in the walks below; the round trip sets others.
struct SetValue {
    int i = 1;
    float f = 1.0f;
    const char* text = "v";
};
SetValue& ToSet()
{
    static SetValue value;
    return value;
}

#define ZVT_CHECKED_CHECKED true
#define ZVT_CHECKED_NO_HANDLE_TEST false
#define ZVT_GET_INT(c, M) return static_cast<double>(c.M())
#define ZVT_GET_FLOAT(c, M) return static_cast<double>(c.M())
#define ZVT_GET_RAW(c, M) return static_cast<double>(c.M())
#define ZVT_GET_STRING(c, M)                                                                                           \
    char text[64] = {};                                                                                                \
    c.M(text, sizeof text);                                                                                            \
    return std::nan("")
#define ZVT_SET_INT(c, M) c.M(ToSet().i)
#define ZVT_SET_FLOAT(c, M) c.M(ToSet().f)
#define ZVT_SET_STRING(c, M) c.M(ToSet().text)
#define ZVT_ENTRY(name, p, form, T, H, body)                                                                           \
    {name, p, form, #T, ZVT_CHECKED_##H, [](zvAPIplus_Camera& c) -> double { body; }},
#define ZVT_G(p, Stem, T, H) ZVT_ENTRY("Get" #Stem, p, "G", T, H, ZVT_GET_##T(c, Get##Stem))
#define ZVT_MIN(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Minimum", p ":min", "Min", T, H, ZVT_GET_##T(c, Get##Stem##_Minimum))
#define ZVT_MAX(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Maximum", p ":max", "Max", T, H, ZVT_GET_##T(c, Get##Stem##_Maximum))
#define ZVT_INC(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Increment", p ":inc", "Inc", T, H, ZVT_GET_##T(c, Get##Stem##_Increment))
#define ZVT_S(p, Stem, T, H) ZVT_ENTRY("Set" #Stem, p, "S", T, H, ZVT_SET_##T(c, Set##Stem); return 0)
#define ZVT_IS(p, Stem, T, H) ZVT_ENTRY("Is" #Stem, p, "Is", T, H, return c.Is##Stem() ? 1 : 0)
#define ZVT_E(p, Stem, T, H) ZVT_ENTRY("Enable" #Stem, p, "E", T, H, c.Enable##Stem(); return 0)
#define ZVT_D(p, Stem, T, H) ZVT_ENTRY("Disable" #Stem, p, "D", T, H, c.Disable##Stem(); return 0)
#define ZV_PARAM(no, p, Stem, T, F, H) ZVP_FORMS_##F(ZVT, p, Stem, T, H)

const std::vector<Accessor>& Accessors()
{
    static const std::vector<Accessor> all = {
#include "camera_params.def"
    };
    return all;
}
#undef ZV_PARAM

const Accessor& Find(const std::string& method)
{
    for (const auto& a : Accessors()) {
        if (a.method == method) {
            return a;
        }
    }
    throw std::runtime_error("no accessor " + method);
}

// The accessor of a parameter with the form, or null.
const Accessor* FormOf(const std::string& base, const std::string& form)
{
    for (const auto& a : Accessors()) {
        if (a.form == form && a.Base() == base) {
            return &a;
        }
    }
    return nullptr;
}

TEST(Accessors, TheTableGivesTheCatalogueMethods)
{
    EXPECT_EQ(Accessors().size(), 1137u);
    std::map<std::string, std::map<std::string, int>> counts;  // form -> type -> methods
    std::map<std::string, int> unchecked;                      // form -> methods without the handle test
    std::set<std::string> params, methods;
    for (const auto& a : Accessors()) {
        ++counts[a.form][a.type];
        unchecked[a.form] += a.checked ? 0 : 1;
        params.insert(a.Base());
        EXPECT_TRUE(methods.insert(a.method).second) << a.method << " twice";
    }
    EXPECT_EQ(params.size(), 276u);
    using Types = std::map<std::string, int>;
    const Types limits = {{"INT", 155}, {"FLOAT", 52}, {"RAW", 3}};
    EXPECT_EQ(counts["G"], (Types{{"INT", 155}, {"FLOAT", 52}, {"STRING", 35}, {"RAW", 3}}));
    EXPECT_EQ(counts["Min"], limits);
    EXPECT_EQ(counts["Max"], limits);
    EXPECT_EQ(counts["Inc"], limits);
    EXPECT_EQ(counts["S"], (Types{{"INT", 139}, {"FLOAT", 44}, {"STRING", 10}}));
    for (const char* form : {"Is", "E", "D"}) {
        EXPECT_EQ(counts[form], (Types{{"INT", form == std::string("Is") ? 25 : 22}})) << form;
    }
    EXPECT_EQ(unchecked, (std::map<std::string, int>{
                             {"G", 18}, {"Min", 9}, {"Max", 9}, {"Inc", 9}, {"S", 12}, {"Is", 6}, {"E", 6}, {"D", 6}}));

    const struct {
        const char* method;
        const char* param;
        bool checked;
    } spots[] = {
        {"GetVersionSelector_Increment", "version_selector:inc", true},
        {"SetDeviceUnitRegisterSelectorName", "device_unit_register_selector_name", true},
        {"IsResetUSBIfBootloader", "reset_usb_if_bootloader", false},
        {"EnableGenTLStreamEn", "gentl_stream_en", false},
        {"GetUsedFFSSize_Maximum", "used_ffs_size:max", false},
        {"GetDeviceUnitRegister", "device_unit_register_value", true},
        {"GetVersionAPI", "api_version", true},
        {"SetUserSetLoad", "user_set_load", true},
        {"GetFFSAccessKey_Minimum", "ffs_access_key:min", true},
        {"GetCameraName", "device_name", true},
        {"IsExist", "isexist", true},
        {"SetDeviceReset", "device_reset", true},
        {"GetHDR_KNEEPOINT_COUNT_Minimum", "hdr_kneepoint_count:min", true},
        {"EnableTransDataBlackLevelOvrEnable", "trans_data_black_level_ovr_en", true},
        {"IsLookUpTable", "LUTEnable", true},
        {"GetGammaLuminosity_Maximum", "gammaY:max", true},
        {"SetColorCorrectionMatrix23", "ccMTX23", true},
        {"GetExposureTime", "exposure", true},
        {"IsCamEnumGoldenEnabled", "cam_enum_golden_enabled", false},
        {"SetSensDefectsCorrListContent", "sens_defects_corr_list_content", false},
        {"GetFFCDarkFieldFileName", "ffc_dark_field_file_name", false},
        {"GetAutoExposureAutoGainROIoffsetX", "aeag_roi_offset_x", true},
        {"GetTimestamp_Increment", "timestamp:inc", true},
        {"GetAcquisitionTransportPacketSizeBytes", "acq_transport_packet_size", true},
        {"GetImageDataFormatRGB32Alpha", "imgdataformatrgb32alpha", true},
    };
    for (const auto& s : spots) {
        const auto& a = Find(s.method);
        EXPECT_EQ(a.param, s.param);
        EXPECT_EQ(a.checked, s.checked) << s.method;
    }
    for (const char* absent :
         {"GetUserSetLoad", "SetAcquisitionStatus", "SetFFSFileSize", "SetFFSFileId", "GetVersion_Minimum",
          "SetDeviceUnitRegisterEnumValueCount", "SetModelId", "GetDeviceReset", "EnableExist", "GetExist",
          "SetImageDataSign", "GetWhiteBalanceManualNow", "SetTimestamp", "GetTriggerSoftware", "SetTemperature",
          "GetColorCorrectionMatrixDefault", "EnableCooled", "SetImagePayloadSize", "GetCameraName_Minimum"}) {
        EXPECT_EQ(methods.count(absent), 0u) << absent;
    }
}

// A checked form refuses a closed camera under its own name without calling
// the library; a form without the handle test calls the library with the
// null handle.
TEST(Accessors, ClosedCameraEveryMethod)
{
    EmuDir emu;
    emu.AddCamera();
    emu.StartTrace();
    zvAPIplus_Camera camera;
    for (const auto& a : Accessors()) {
        emu.ClearTrace();
        const auto raised = Catch([&] { a.call(camera); });
        const auto trace = emu.Trace();
        if (a.checked) {
            EXPECT_TRUE(raised.thrown) << a.method;
            EXPECT_EQ(raised.code, 1) << a.method;
            EXPECT_EQ(raised.text, Described("Invalid handle", a.method));
            EXPECT_TRUE(trace.empty()) << a.method;
        } else {
            ASSERT_EQ(trace.size(), 1u) << a.method;
            EXPECT_NE(trace[0].find(" handle=0 param=" + a.param + " "), std::string::npos) << trace[0];
            if (a.form == "Is") {
                EXPECT_FALSE(raised.thrown) << a.method;
            }
            if (raised.thrown) {
                EXPECT_EQ(raised.text.substr(raised.text.find(" (")), " (zvAPIplus_Camera::" + a.method + ")");
            }
        }
    }
}

// A failing camera-API result is raised under the accessor's own name; an Is
// form answers false instead.
TEST(Accessors, AnInjectedErrorNamesTheAccessor)
{
    EmuDir emu;
    emu.AddCamera();
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    for (const auto& a : Accessors()) {
        emu.ClearHooks(-1);
        emu.Hook(-1, "fail param=" + a.param + " code=10 times=all");
        if (a.form == "Is") {
            EXPECT_FALSE(Catch([&] { a.call(camera); }).thrown) << a.method;
            continue;
        }
        const auto raised = Catch([&] { a.call(camera); });
        EXPECT_EQ(raised.code, 10) << a.method;
        EXPECT_EQ(raised.text, Described("Timeout", a.method));
    }
}

// On an open camera of a model with every feature, every getter and limit
// answers, Min <= G <= Max; every setter that has a getter takes a legal value
// back and refuses one past a maximum below the type's top; no Is form throws.
TEST(Accessors, OpenCameraEveryMethod)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.sensorWidth = 320;
        r.sensorHeight = 240;
        r.color = r.cooling = r.lens = r.tof = true;
    });
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    // The flash transfer reads the selected file; a register reads the
    // selected unit's.
    camera.SetFFSFileName("File_EEPROM1");
    camera.SetDeviceUnitSelector(6);
    // The transfer write and the progress callback can be set, never read.
    const std::set<std::string> writeOnly = {"write_file_ffs", "api_progress_callback"};

    std::map<std::string, std::map<std::string, double>> values;  // parameter -> form -> value
    for (const auto& a : Accessors()) {
        if (a.form == "S" || a.form == "E" || a.form == "D") {
            continue;
        }
        if (a.form == "G" && writeOnly.count(a.Base())) {
            EXPECT_EQ(Catch([&] { a.call(camera); }).text, Described("Parameter is not supported", a.method));
            continue;
        }
        double value = 0;
        const auto raised = Catch([&] { value = a.call(camera); });
        EXPECT_FALSE(raised.thrown) << a.method << ": " << raised.text;
        values[a.Base()][a.form] = value;
    }
    for (const auto& [param, v] : values) {
        if (v.count("Min") && v.count("G")) {
            EXPECT_LE(v.at("Min"), v.at("G")) << param;
            EXPECT_LE(v.at("G"), v.at("Max")) << param;
            EXPECT_GT(v.at("Inc"), 0) << param;
        }
    }

    // Texts the setters may take.
    const std::map<std::string, const char*> legalText = {{"ffs_file_name", "UserSet1"},
                                                          {"device_unit_register_selector_name", "U6R0"}};
    for (const auto& a : Accessors()) {
        const Accessor* get = FormOf(a.Base(), "G");
        if (a.form != "S" || !get || writeOnly.count(a.Base())) {
            continue;
        }
        SCOPED_TRACE(a.method);
        if (a.type == "STRING") {
            auto it = legalText.find(a.Base());
            ToSet().text = it == legalText.end() ? "zvemu.dat" : it->second;
            EXPECT_FALSE(Catch([&] { a.call(camera); }).thrown);
            char text[64] = {};
            zvAPIplus_Camera& c = camera;
            c.GetZVAPIParamStr(a.param.c_str(), text, sizeof text);
            EXPECT_STREQ(text, ToSet().text);
            continue;
        }
        // The maximum, then one past it.
        const double max = FormOf(a.Base(), "Max")->call(camera);
        const double inc = FormOf(a.Base(), "Inc")->call(camera);
        ToSet().i = static_cast<int>(max);
        ToSet().f = static_cast<float>(max);
        const auto raised = Catch([&] { a.call(camera); });
        EXPECT_FALSE(raised.thrown) << raised.text;
        EXPECT_DOUBLE_EQ(get->call(camera), max);
        if (a.type == "INT" && max < INT32_MAX) {
            ToSet().i = static_cast<int>(max) + 1;
        } else if (a.type == "FLOAT") {
            ToSet().f = static_cast<float>(max + std::max(inc, 1.0));
        } else {
            continue;
        }
        const auto refused = Catch([&] { a.call(camera); });
        EXPECT_EQ(refused.code, 114);
        EXPECT_EQ(refused.text,
                  Described("Parameter value cannot be set (might be out of range or invalid).", a.method));
    }
    ToSet() = SetValue{};

    for (const auto& a : Accessors()) {
        if (a.form == "Is") {
            EXPECT_FALSE(Catch([&] { a.call(camera); }).thrown) << a.method;
        }
    }
}

TEST(Accessors, IsFormsAnswerFromTheValueAlone)
{
    EmuDir emu;
    emu.AddCamera();
    zvAPIplus_Camera camera;
    camera.EnableCameraSensorInitDisabled();  // library-wide: the null handle works
    EXPECT_TRUE(camera.IsCameraSensorInitDisabled());
    camera.DisableCameraSensorInitDisabled();
    EXPECT_FALSE(camera.IsCameraSensorInitDisabled());
    camera.OpenFirst();
    camera.DisableAutoBandwidthCalculation();
    EXPECT_FALSE(camera.IsAutoBandwidthCalculation());
    camera.EnableAutoBandwidthCalculation();
    EXPECT_TRUE(camera.IsAutoBandwidthCalculation());
    // A feature the camera lacks: the query fails, the answer is false.
    EXPECT_FALSE(camera.IsWhiteBalanceAuto());
    EXPECT_EQ(Catch([&] { camera.EnableWhiteBalanceAuto(); }).text,
              Described("Parameter is not supported", "EnableWhiteBalanceAuto"));
}

TEST(Accessors, StringFormsPassTextsAndSizes)
{
    EmuDir emu;
    emu.AddCamera();
    emu.StartTrace();
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    camera.SetFFSFileName("File_FW_CPU1");
    EXPECT_EQ(emu.TraceWith("param=ffs_file_name size=12 value=File_FW_CPU1 rc=0").size(), 1u);
    EXPECT_EQ(Catch([&] { camera.SetFFSFileName(""); }).text,
              Described("FFS file selector is invalid or NULL", "SetFFSFileName"));
    EXPECT_EQ(emu.TraceWith("param=ffs_file_name size=0").size(), 1u);

    // The getter passes the caller's size unchanged, even 0.
    char text[16] = {'q'};
    EXPECT_EQ(Catch([&] { camera.GetVersionMCU1(text, 0); }).text,
              Described("Buffer provided by user is too small", "GetVersionMCU1"));
    EXPECT_EQ(emu.TraceWith("param=version_mcu1 size=0").size(), 1u);
    EXPECT_EQ(text[0], 'q');

    // Null texts, null buffers and negative sizes never reach the library.
    emu.ClearTrace();
    EXPECT_EQ(Catch([&] { camera.SetFFSFileName(nullptr); }).text,
              Described("Wrong parameter value", "SetFFSFileName"));
    EXPECT_EQ(Catch([&] { camera.GetVersion(nullptr, 10); }).text, Described("Wrong parameter value", "GetVersion"));
    EXPECT_EQ(Catch([&] { camera.GetVersion(text, -1); }).code, 101);
    EXPECT_TRUE(emu.Trace().empty());
}

TEST(Accessors, TheCameraIsReachableThroughTheAccessors)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.versions["version_mcu1"] = "02.50";
        r.versions["version_fpga1"] = "3.1";
        r.ffsCapacity = 0x123456789ull;
    });
    emu.StartTrace();
    zvAPIplus_Camera camera;
    camera.OpenFirst();

    camera.SetVersionSelector(ZV_VER_MCU1);
    EXPECT_EQ(camera.GetVersionSelector(), ZV_VER_MCU1);
    EXPECT_EQ(camera.GetVersionSelector_Maximum(), ZV_VER_FACTORY_SET);
    char text[32] = {};
    camera.GetVersion(text, sizeof text);
    EXPECT_STREQ(text, "02.50");
    camera.GetVersionFPGA1(text, sizeof text);
    EXPECT_STREQ(text, "3.1");

    camera.SetFFSAccessKey(static_cast<int>(zvemu::kDefaultAccessKey));
    camera.SetFFSFileName("UserSet1");
    const char data[] = "hello, camera";
    camera.SetZVAPIParamStr("write_file_ffs", data, 13);
    EXPECT_EQ(camera.GetFFSFileSize(), 13);
    camera.SetFFSFileOffset(7);
    char back[8] = {};
    camera.GetReadFileFFS(back, 6);
    EXPECT_STREQ(back, "camera");

    camera.SetDeviceUnitSelector(6);
    camera.SetDeviceUnitRegisterSelector(0);
    EXPECT_EQ(camera.GetDeviceUnitRegister(), 0x30161);

    // A raw getter reads all 64 bits with size 8 and type 6.
    EXPECT_EQ(camera.GetFreeFFSSize_Maximum(), 0x123456789ull);
    EXPECT_EQ(camera.GetUsedFFSSize(), 13u);
    EXPECT_EQ(emu.TraceWith("zvGetParam handle=" + std::to_string(camera.deviceHandle) +
                            " param=free_ffs_size:max size=8 type=6 value=4886718345 rc=0")
                  .size(),
              1u);
}

TEST(Accessors, ByNameMethods)
{
    EmuDir emu;
    emu.AddCamera();
    emu.StartTrace();
    zvAPIplus_Camera camera;
    char text[30] = {};
    EXPECT_EQ(Catch([&] { camera.GetZVAPIParamStr("device_sn", text, sizeof text); }).text,
              Described("Invalid handle", "GetZVAPIParamStr"));
    EXPECT_TRUE(emu.Trace().empty());

    camera.OpenFirst();
    camera.GetZVAPIParamStr("device_sn", text, sizeof text);
    EXPECT_EQ(std::string(text), emu.Camera(0).serial);
    int value = 0;
    auto raised = Catch([&] { camera.GetZVAPIParamInt("foo", &value); });
    EXPECT_EQ(raised.code, 100);
    EXPECT_EQ(raised.text, Described("Unknown parameter", "GetZVAPIParamInt - foo"));
    emu.Hook(-1, "fail param=device_sn code=7");
    EXPECT_EQ(Catch([&] { camera.GetZVAPIParamStr("device_sn", text, sizeof text); }).text,
              Described("Read block error", "GetZVAPIParamStr - device_sn"));

    camera.SetZVAPIParamInt("version_selector", ZV_VER_FPGA1);
    camera.GetZVAPIParamInt("version_selector", &value);
    EXPECT_EQ(value, ZV_VER_FPGA1);
    int64_t wide = 0;
    uint32_t size = 8;
    int32_t type = zvTypeInteger64;
    camera.GetZVAPIParam("used_ffs_size", &wide, &size, &type);
    EXPECT_EQ(wide, 0);
    const int32_t selector = ZV_VER_MCU2;
    camera.SetZVAPIParam("version_selector", &selector, sizeof selector, zvTypeInteger);
    camera.GetZVAPIParamInt("version_selector", &value);
    EXPECT_EQ(value, ZV_VER_MCU2);
    float f = 0;
    EXPECT_EQ(Catch([&] { camera.GetZVAPIParamFloat("version_selector", &f); }).text,
              Described("Wrong parameter type", "GetZVAPIParamFloat - version_selector"));
    EXPECT_EQ(Catch([&] { camera.SetZVAPIParamFloat("no_such_param", 1.0f); }).code, 100);
    camera.SetZVAPIParamFloat("gain", 1.5f);
    camera.GetZVAPIParamFloat("gain", &f);
    EXPECT_EQ(f, 1.5f);

    // Unregistering the progress callback sends a null value with size 0.
    emu.ClearTrace();
    camera.SetZVAPIParamStr("api_progress_callback", nullptr, 0);
    EXPECT_EQ(emu.TraceWith("param=api_progress_callback size=0 rc=0").size(), 1u);

    // Refused before the library: null parameters, values and pointers, negative sizes.
    emu.ClearTrace();
    const struct {
        const char* method;
        std::function<void()> call;
    } refused[] = {
        {"SetZVAPIParamStr", [&] { camera.SetZVAPIParamStr("write_file_ffs", nullptr, 4); }},
        {"SetZVAPIParamStr", [&] { camera.SetZVAPIParamStr("write_file_ffs", "x", -1); }},
        {"SetZVAPIParamStr", [&] { camera.SetZVAPIParamStr(nullptr, "x", 1); }},
        {"GetZVAPIParamStr", [&] { camera.GetZVAPIParamStr("device_sn", nullptr, 10); }},
        {"GetZVAPIParamStr", [&] { camera.GetZVAPIParamStr("device_sn", text, -5); }},
        {"GetZVAPIParamInt", [&] { camera.GetZVAPIParamInt("isexist", nullptr); }},
        {"GetZVAPIParamFloat", [&] { camera.GetZVAPIParamFloat(nullptr, &f); }},
        {"GetZVAPIParam", [&] { camera.GetZVAPIParam("used_ffs_size", &wide, nullptr, &type); }},
        {"SetZVAPIParam", [&] { camera.SetZVAPIParam("version_selector", nullptr, 4, zvTypeInteger); }},
        {"SetZVAPIParamInt", [&] { camera.SetZVAPIParamInt(nullptr, 1); }},
        {"SetZVAPIParamFloat", [&] { camera.SetZVAPIParamFloat(nullptr, 1.0f); }},
    };
    for (const auto& r : refused) {
        const auto got = Catch(r.call);
        EXPECT_EQ(got.code, 101) << r.method;
        EXPECT_EQ(got.text, Described("Wrong parameter value", r.method));
    }
    EXPECT_TRUE(emu.Trace().empty());
}

}  // namespace
