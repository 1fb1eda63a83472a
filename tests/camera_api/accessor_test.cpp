// The accessor forms over the parameter table, checked for every generated
// method, and the by-name accessors.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "raised.h"
#include "zvapiplus_camera.h"

namespace {

using zvtest::Catch;
using zvtest::Described;
using zvtest::EmuDir;

// Every method the table generates, with its parameter string and form.
struct Accessor {
    std::string method;
    std::string param;  // as sent, limits with their suffix
    bool checked;
    bool isForm;
    std::function<void(zvAPIplus_Camera&)> call;
};

#define ZVT_CHECKED_CHECKED true
#define ZVT_CHECKED_NO_HANDLE_TEST false
#define ZVT_GET_INT(c, M) (void)c.M()
#define ZVT_GET_FLOAT(c, M) (void)c.M()
#define ZVT_GET_RAW(c, M) (void)c.M()
#define ZVT_GET_STRING(c, M)                                                                                           \
    do {                                                                                                               \
        char text[64] = {};                                                                                            \
        c.M(text, sizeof text);                                                                                        \
    } while (0)
#define ZVT_SET_INT(c, M) c.M(1)
#define ZVT_SET_FLOAT(c, M) c.M(1.0f)
#define ZVT_SET_STRING(c, M) c.M("v")
#define ZVT_ENTRY(name, p, H, is, body) {name, p, ZVT_CHECKED_##H, is, [](zvAPIplus_Camera& c) { body; }},
#define ZVT_G(p, Stem, T, H) ZVT_ENTRY("Get" #Stem, p, H, false, ZVT_GET_##T(c, Get##Stem))
#define ZVT_MIN(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Minimum", p ":min", H, false, ZVT_GET_##T(c, Get##Stem##_Minimum))
#define ZVT_MAX(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Maximum", p ":max", H, false, ZVT_GET_##T(c, Get##Stem##_Maximum))
#define ZVT_INC(p, Stem, T, H)                                                                                         \
    ZVT_ENTRY("Get" #Stem "_Increment", p ":inc", H, false, ZVT_GET_##T(c, Get##Stem##_Increment))
#define ZVT_S(p, Stem, T, H) ZVT_ENTRY("Set" #Stem, p, H, false, ZVT_SET_##T(c, Set##Stem))
#define ZVT_IS(p, Stem, T, H) ZVT_ENTRY("Is" #Stem, p, H, true, (void)c.Is##Stem())
#define ZVT_E(p, Stem, T, H) ZVT_ENTRY("Enable" #Stem, p, H, false, c.Enable##Stem())
#define ZVT_D(p, Stem, T, H) ZVT_ENTRY("Disable" #Stem, p, H, false, c.Disable##Stem())
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

TEST(Accessors, TheTableGivesTheCatalogueMethods)
{
    // 62 parameters, 201 methods.
    EXPECT_EQ(Accessors().size(), 201u);
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
        {"GetLEDSelector_Maximum", "led_selector:max", true},
        {"GetCameraName", "device_name", true},
        {"GetModelId_Increment", "device_model_id:inc", true},
        {"IsExist", "isexist", true},
        {"SetDeviceReset", "device_reset", true},
    };
    for (const auto& s : spots) {
        const auto& a = Find(s.method);
        EXPECT_EQ(a.param, s.param);
        EXPECT_EQ(a.checked, s.checked) << s.method;
    }
    for (const char* absent :
         {"GetUserSetLoad", "SetAcquisitionStatus", "SetFFSFileSize", "SetFFSFileId", "GetVersion_Minimum",
          "SetDeviceUnitRegisterEnumValueCount", "SetModelId", "GetDeviceReset", "EnableExist", "GetExist"}) {
        bool found = false;
        for (const auto& a : Accessors()) {
            found = found || a.method == absent;
        }
        EXPECT_FALSE(found) << absent;
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
            if (a.isForm) {
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
        if (a.isForm) {
            EXPECT_FALSE(Catch([&] { a.call(camera); }).thrown) << a.method;
            continue;
        }
        const auto raised = Catch([&] { a.call(camera); });
        EXPECT_EQ(raised.code, 10) << a.method;
        EXPECT_EQ(raised.text, Described("Timeout", a.method));
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
    // A parameter the camera does not know: the query fails, the answer is false.
    EXPECT_FALSE(camera.IsGenTLStreamEn());
    EXPECT_EQ(Catch([&] { camera.EnableGenTLStreamEn(); }).text, Described("Unknown parameter", "EnableGenTLStreamEn"));
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
    EXPECT_EQ(Catch([&] { camera.SetZVAPIParamFloat("gain", 1.0f); }).code, 100);

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
