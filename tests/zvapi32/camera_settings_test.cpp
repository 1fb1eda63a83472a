// The camera settings of the emulated library: limits that depend on the
// camera, values kept per selector, the refusals a real camera answers.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "emu_dir.h"
#include "zvapi32.h"

namespace {

using zvtest::EmuDir;

// A small mono camera without colour, cooling, lens or time of flight.
ZV_HANDLE OpenSmallCamera(EmuDir& emu, const std::function<void(zvemu::CameraRecord&)>& edit = {})
{
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [&](zvemu::CameraRecord& r) {
        r.sensorWidth = 640;
        r.sensorHeight = 480;
        if (edit) {
            edit(r);
        }
    });
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(0, &h), 0);
    return h;
}

int32_t Int(ZV_HANDLE h, const std::string& param)
{
    int32_t v = -12345;
    EXPECT_EQ(zvGetParamInt(h, param.c_str(), &v), 0) << param;
    return v;
}

float Float(ZV_HANDLE h, const std::string& param)
{
    float v = -12345;
    EXPECT_EQ(zvGetParamFloat(h, param.c_str(), &v), 0) << param;
    return v;
}

TEST(CameraSettings, TheRegionLiesOnTheSensor)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenSmallCamera(emu);
    EXPECT_EQ(Int(h, "width"), 640);
    EXPECT_EQ(Int(h, "height"), 480);
    EXPECT_EQ(Int(h, "width:min"), 16);
    EXPECT_EQ(Int(h, "width:inc"), 4);
    EXPECT_EQ(Int(h, "height:inc"), 2);
    EXPECT_EQ(Int(h, "offsetX:max"), 0);
    EXPECT_EQ(zvSetParamInt(h, "offsetX", 4), ZV_PARAM_VALUE_CANNOT_BE_SET);  // the full width leaves no room

    ASSERT_EQ(zvSetParamInt(h, "width", 320), 0);
    EXPECT_EQ(Int(h, "offsetX:max"), 320);
    ASSERT_EQ(zvSetParamInt(h, "offsetX", 100), 0);
    EXPECT_EQ(Int(h, "width:max"), 540);
    EXPECT_EQ(zvSetParamInt(h, "width", 544), ZV_PARAM_VALUE_CANNOT_BE_SET);
    EXPECT_EQ(zvSetParamInt(h, "width", 322), ZV_PARAM_VALUE_CANNOT_BE_SET);  // off the step of 4
    EXPECT_EQ(zvSetParamInt(h, "offsetY", 1), ZV_PARAM_VALUE_CANNOT_BE_SET);  // off the step of 2
    EXPECT_EQ(Int(h, "width_total"), 640);
    EXPECT_EQ(Int(h, "height_total:max"), 480);

    // The payload follows format and region: MONO16 lines of 100 pixels are
    // padded from 200 to 208 bytes.
    ASSERT_EQ(zvSetParamInt(h, "width", 100), 0);
    ASSERT_EQ(zvSetParamInt(h, "height", 10), 0);
    EXPECT_EQ(Int(h, "imgpayloadsize"), 1000);
    ASSERT_EQ(zvSetParamInt(h, "imgdataformat", 1), 0);
    EXPECT_EQ(Int(h, "imgpayloadsize"), 2080);
    ASSERT_EQ(zvSetParamInt(h, "imgdataformat", 7), 0);  // transport data: 12-bit samples
    EXPECT_EQ(Int(h, "imgpayloadsize"), 1500);
    zvCloseDevice(h);
}

TEST(CameraSettings, RefusalsAsACameraAnswersThem)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenSmallCamera(emu);
    int32_t i = -1;
    float f = -1;
    char text[16] = {};
    const struct {
        const char* what;
        int32_t rc;
        std::function<int32_t()> call;
    } cases[] = {
        {"exposure below its minimum", ZV_PARAM_VALUE_CANNOT_BE_SET,
         [&] { return zvSetParamFloat(h, "exposure", 1.0f); }},
        {"gain off its step of 0.1 dB", ZV_PARAM_VALUE_CANNOT_BE_SET,
         [&] { return zvSetParamFloat(h, "gain", 2.35f); }},
        {"downsampling the camera lacks", ZV_PARAM_VALUE_CANNOT_BE_SET,
         [&] { return zvSetParamInt(h, "downsampling", 3); }},
        {"a format past the enumeration", ZV_PARAM_VALUE_CANNOT_BE_SET,
         [&] { return zvSetParamInt(h, "imgdataformat", 19); }},
        {"a switch set to 2", ZV_PARAM_VALUE_CANNOT_BE_SET, [&] { return zvSetParamInt(h, "hdr", 2); }},
        {"set of a read-only parameter", ZV_READ_ONLY_PARAM, [&] { return zvSetParamInt(h, "imgpayloadsize", 4); }},
        {"set of a reading", ZV_READ_ONLY_PARAM, [&] { return zvSetParamFloat(h, "chip_temp", 20.0f); }},
        {"get of a write-only parameter", ZV_PARAM_NOT_SUPPORTED,
         [&] { return zvGetParamInt(h, "trigger_software", &i); }},
        {"limits of a text", ZV_PARAM_INFO_NOT_SUPPORTED,
         [&] { return zvGetParamInt(h, "ffc_flat_field_file_name:max", &i); }},
        {"int read of a float", ZV_WRONG_PARAM_TYPE, [&] { return zvGetParamInt(h, "gain", &i); }},
        {"float write of an int", ZV_WRONG_PARAM_TYPE, [&] { return zvSetParamFloat(h, "width", 64.0f); }},
        {"text read of a float", ZV_WRONG_PARAM_TYPE,
         [&] { return zvGetParamString(h, "exposure", text, sizeof text); }},
        {"white balance of a mono camera", ZV_PARAM_NOT_SUPPORTED, [&] { return zvGetParamFloat(h, "wb_kr", &f); }},
        {"colour management of a mono camera", ZV_PARAM_NOT_SUPPORTED, [&] { return zvSetParamInt(h, "cms", 1); }},
        {"cooling of an uncooled camera", ZV_PARAM_NOT_SUPPORTED,
         [&] { return zvGetParamFloat(h, "target_temp:max", &f); }},
        {"a lens the camera lacks", ZV_PARAM_NOT_SUPPORTED,
         [&] { return zvGetParamString(h, "lens_model_name", text, sizeof text); }},
        {"time of flight of a plain sensor", ZV_PARAM_NOT_SUPPORTED,
         [&] { return zvGetParamInt(h, "tof_phases_count", &i); }},
        {"a software trigger while stopped", ZV_PARAM_CONDITIONALLY_NOT_AVAILABLE,
         [&] { return zvSetParamInt(h, "trigger_software", 1); }},
        {"a camera setting on the null handle", ZV_INVALID_HANDLE, [&] { return zvGetParamFloat(0, "gain", &f); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.rc) << c.what;
    }
    EXPECT_EQ(i, -1);
    EXPECT_EQ(f, -1);

    // While acquiring, geometry and format stay; other settings change.
    ASSERT_EQ(zvStartAcquisition(h), 0);
    for (const char* param : {"width", "height", "offsetX", "offsetY", "imgdataformat", "downsampling"}) {
        EXPECT_EQ(zvSetParamInt(h, param, Int(h, param)), ZV_NOT_SUPPORTED_WHILE_ACQUISITION) << param;
    }
    EXPECT_EQ(zvSetParamFloat(h, "exposure", 5000.0f), 0);
    ASSERT_EQ(zvStopAcquisition(h), 0);
    EXPECT_EQ(zvSetParamInt(h, "width", 64), 0);
    zvCloseDevice(h);
}

TEST(CameraSettings, ValuesBehindASelectorArePerSelector)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenSmallCamera(emu, [](zvemu::CameraRecord& r) { r.color = true; });
    ASSERT_EQ(zvSetParamInt(h, "gain_selector", 1), 0);
    ASSERT_EQ(zvSetParamFloat(h, "gain", 6.5f), 0);
    ASSERT_EQ(zvSetParamInt(h, "gain_selector", 2), 0);
    EXPECT_EQ(Float(h, "gain"), 0.0f);
    ASSERT_EQ(zvSetParamFloat(h, "gain", 1.2f), 0);
    ASSERT_EQ(zvSetParamInt(h, "gain_selector", 1), 0);
    EXPECT_FLOAT_EQ(Float(h, "gain"), 6.5f);

    // The look-up table starts as the identity and keeps each entry.
    ASSERT_EQ(zvSetParamInt(h, "LUTIndex", 17), 0);
    EXPECT_EQ(Int(h, "LUTValue"), 17);
    ASSERT_EQ(zvSetParamInt(h, "LUTValue", 4000), 0);
    ASSERT_EQ(zvSetParamInt(h, "LUTIndex", 18), 0);
    EXPECT_EQ(Int(h, "LUTValue"), 18);
    ASSERT_EQ(zvSetParamInt(h, "LUTIndex", 17), 0);
    EXPECT_EQ(Int(h, "LUTValue"), 4000);

    // Readings differ per selected sensor and input.
    ASSERT_EQ(zvSetParamInt(h, "temp_selector", 0), 0);
    const float first = Float(h, "temp");
    ASSERT_EQ(zvSetParamInt(h, "temp_selector", 3), 0);
    EXPECT_NE(Float(h, "temp"), first);
    EXPECT_LE(Float(h, "temp"), Float(h, "temp:max"));
    ASSERT_EQ(zvSetParamInt(h, "gpi_selector", 1), 0);
    EXPECT_EQ(Int(h, "gpi_level"), 1);
    ASSERT_EQ(zvSetParamInt(h, "gpi_selector", 2), 0);
    EXPECT_EQ(Int(h, "gpi_level"), 0);

    // Resetting the colour correction matrix brings back the identity.
    ASSERT_EQ(zvSetParamFloat(h, "ccMTX11", 0.5f), 0);
    ASSERT_EQ(zvSetParamFloat(h, "ccMTX12", 0.25f), 0);
    ASSERT_EQ(zvSetParamInt(h, "defccMTX", 1), 0);
    EXPECT_EQ(Float(h, "ccMTX11"), 1.0f);
    EXPECT_EQ(Float(h, "ccMTX12"), 0.0f);

    // A second handle on the camera sees the same settings; a reset brings
    // back the defaults.
    ZV_HANDLE other = 0;
    ASSERT_EQ(zvOpenDevice(0, &other), 0);
    EXPECT_FLOAT_EQ(Float(other, "gain"), 6.5f);
    ASSERT_EQ(zvSetParamInt(h, "device_reset", 1), 0);
    EXPECT_EQ(Float(other, "gain"), 0.0f);
    EXPECT_EQ(Int(other, "gain_selector"), 0);
    zvCloseDevice(other);
    zvCloseDevice(h);
}

TEST(CameraSettings, LibrarySettingsAndReadings)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenSmallCamera(emu);
    // The library's own settings answer on the null handle too.
    ASSERT_EQ(zvSetParamInt(0, "proc_num_threads", 8), 0);
    EXPECT_EQ(Int(h, "proc_num_threads"), 8);
    EXPECT_EQ(zvSetParamInt(0, "debug_level", 50), ZV_PARAM_VALUE_CANNOT_BE_SET);
    ASSERT_EQ(zvSetParamInt(0, "debug_level", 100), 0);
    ASSERT_EQ(zvSetParamString(0, "zvapi_context_list", "ctx", 3), 0);
    char text[16] = {};
    ASSERT_EQ(zvGetParamString(0, "zvapi_context_list", text, sizeof text), 0);
    EXPECT_STREQ(text, "ctx");
    ASSERT_EQ(zvSetParamInt(0, "debug_level", 3), 0);
    ASSERT_EQ(zvSetParamString(0, "zvapi_context_list", "", 0), 0);
    ASSERT_EQ(zvSetParamInt(0, "proc_num_threads", 4), 0);

    // The timestamp is a 64-bit count already past 32 bits.
    uint64_t stamp = 0;
    uint32_t size = 8;
    int32_t type = zvTypeInteger64;
    ASSERT_EQ(zvGetParam(h, "timestamp", &stamp, &size, &type), 0);
    EXPECT_GT(stamp, 0xFFFFFFFFull);

    // A register is selected by its name, too.
    ASSERT_EQ(zvSetParamString(h, "device_unit_register_selector_name", "U6R1", 4), 0);
    EXPECT_EQ(Int(h, "device_unit_selector"), 6);
    EXPECT_EQ(Int(h, "device_unit_register_selector"), 1);
    EXPECT_EQ(zvSetParamString(h, "device_unit_register_selector_name", "R1", 2), ZV_PARAM_VALUE_CANNOT_BE_SET);
    zvCloseDevice(h);
}

}  // namespace
