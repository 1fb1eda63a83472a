// Opening and closing cameras through zvAPIplus_Camera, and zvAPIplus_Global.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "emu_dir.h"
#include "raised.h"
#include "zvapiplus_camera.h"
#include "zvapiplus_global.h"

namespace {

using zvtest::Catch;
using zvtest::Described;
using zvtest::EmuDir;

std::string Serial(zvAPIplus_Camera& camera)
{
    char text[64] = {};
    camera.GetZVAPIParamStr("device_sn", text, sizeof text);
    return text;
}

class CameraTest : public testing::Test {
protected:
    void SetUp() override
    {
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) { r.userId = "left"; });
        emu.AddCamera("JR574XX-D0-BSI-1", [](zvemu::CameraRecord& r) { r.userId = "right"; });
    }
    EmuDir emu;
};

TEST_F(CameraTest, OpensByEveryKindOfSelection)
{
    const auto second = emu.Camera(1);
    struct Case {
        const char* method;
        std::function<void(zvAPIplus_Camera&)> open;
        std::string serial;
    } cases[] = {
        {"OpenFirst", [](zvAPIplus_Camera& c) { c.OpenFirst(); }, emu.Camera(0).serial},
        {"OpenByID", [](zvAPIplus_Camera& c) { c.OpenByID(1); }, second.serial},
        {"OpenByPath", [&](zvAPIplus_Camera& c) { c.OpenByPath(second.instPath.c_str()); }, second.serial},
        {"OpenBySN", [&](zvAPIplus_Camera& c) { c.OpenBySN(second.serial.c_str()); }, second.serial},
        {"OpenByUserID", [](zvAPIplus_Camera& c) { c.OpenByUserID("right"); }, second.serial},
        {"OpenByLocation", [&](zvAPIplus_Camera& c) { c.OpenByLocation(second.locPath.c_str()); }, second.serial},
    };
    for (const auto& c : cases) {
        zvAPIplus_Camera camera;
        c.open(camera);
        EXPECT_NE(camera.deviceHandle, 0u) << c.method;
        EXPECT_EQ(Serial(camera), c.serial) << c.method;
        camera.Close();
        EXPECT_EQ(camera.deviceHandle, 0u);
    }
}

TEST_F(CameraTest, NullTextsAreRefusedBeforeTheLibrary)
{
    emu.StartTrace();
    struct Case {
        const char* method;
        std::function<void(zvAPIplus_Camera&)> open;
    } cases[] = {{"OpenByPath", [](zvAPIplus_Camera& c) { c.OpenByPath(nullptr); }},
                 {"OpenBySN", [](zvAPIplus_Camera& c) { c.OpenBySN(nullptr); }},
                 {"OpenByUserID", [](zvAPIplus_Camera& c) { c.OpenByUserID(nullptr); }},
                 {"OpenByLocation", [](zvAPIplus_Camera& c) { c.OpenByLocation(nullptr); }}};
    for (const auto& c : cases) {
        zvAPIplus_Camera camera;
        const auto raised = Catch([&] { c.open(camera); });
        EXPECT_EQ(raised.code, 101) << c.method;
        EXPECT_EQ(raised.text, Described("Wrong parameter value", c.method));
        EXPECT_EQ(camera.deviceHandle, 0u);
    }
    EXPECT_TRUE(emu.Trace().empty());
}

TEST_F(CameraTest, OpeningAgainReplacesTheHandleOnlyOnSuccess)
{
    emu.StartTrace();
    zvAPIplus_Camera camera;
    camera.OpenByID(0);
    const ZV_HANDLE first = camera.deviceHandle;

    // A failed open leaves the object with its device.
    auto raised = Catch([&] { camera.OpenByID(5); });
    EXPECT_EQ(raised.text, Described("No Devices Found", "OpenByID"));
    raised = Catch([&] { camera.OpenBySN("NOSUCHSERIAL"); });
    EXPECT_EQ(raised.text, Described("No Devices Found", "OpenBySN"));
    EXPECT_EQ(camera.deviceHandle, first);
    EXPECT_EQ(Serial(camera), emu.Camera(0).serial);

    // A successful one closes the old handle and keeps the new.
    camera.OpenByID(1);
    EXPECT_NE(camera.deviceHandle, first);
    EXPECT_EQ(Serial(camera), emu.Camera(1).serial);
    EXPECT_EQ(emu.TraceWith("zvCloseDevice handle=" + std::to_string(first) + " rc=0").size(), 1u);

    // The old handle cannot be released: the new one is given back and the
    // object keeps the old.
    const ZV_HANDLE second = camera.deviceHandle;
    emu.Hook(-1, "fail call=zvCloseDevice code=20");
    raised = Catch([&] { camera.OpenByID(0); });
    EXPECT_EQ(raised.text, Described("Camera context error", "OpenByID"));
    EXPECT_EQ(camera.deviceHandle, second);
    EXPECT_EQ(Serial(camera), emu.Camera(1).serial);
    const auto closes = emu.TraceWith("zvCloseDevice");
    ASSERT_EQ(closes.size(), 3u);
    EXPECT_NE(closes.back().find("rc=0"), std::string::npos);  // the new handle went back
}

TEST_F(CameraTest, ALibraryThatAnswersSuccessWithoutAHandleIsRefused)
{
    emu.Hook(-1, "fail call=zvOpenDevice code=0");
    emu.Hook(-1, "fail call=zvOpenDeviceBy code=0");
    zvAPIplus_Camera camera;
    auto raised = Catch([&] { camera.OpenByID(3); });
    EXPECT_EQ(raised.code, 1);
    EXPECT_EQ(raised.text, Described("Invalid handle", "OpenByID"));
    raised = Catch([&] { camera.OpenByLocation("anywhere"); });
    EXPECT_EQ(raised.text, Described("Invalid handle", "OpenByLocation"));
    EXPECT_EQ(camera.deviceHandle, 0u);
}

TEST_F(CameraTest, CloseCallsTheLibraryOnlyForAnOpenDevice)
{
    emu.StartTrace();
    zvAPIplus_Camera camera;
    camera.Close();
    EXPECT_TRUE(emu.Trace().empty());
    camera.OpenFirst();
    const ZV_HANDLE h = camera.deviceHandle;

    emu.Hook(-1, "fail call=zvCloseDevice code=20");
    const auto raised = Catch([&] { camera.Close(); });
    EXPECT_EQ(raised.text, Described("Camera context error", "Close"));
    EXPECT_EQ(camera.deviceHandle, h);
    camera.Close();  // the hook fired once
    EXPECT_EQ(camera.deviceHandle, 0u);
    camera.Close();
    EXPECT_EQ(emu.TraceWith("zvCloseDevice").size(), 2u);
}

TEST_F(CameraTest, TheDestructorClosesAndNeverThrows)
{
    emu.StartTrace();
    ZV_HANDLE h = 0;
    {
        zvAPIplus_Camera camera;
        camera.OpenFirst();
        h = camera.deviceHandle;
    }
    EXPECT_EQ(emu.TraceWith("zvCloseDevice handle=" + std::to_string(h) + " rc=0").size(), 1u);
    emu.Hook(-1, "fail call=zvCloseDevice code=20");
    EXPECT_NO_THROW({
        zvAPIplus_Camera camera;
        camera.OpenFirst();
    });
    static_assert(!std::is_copy_constructible_v<zvAPIplus_Camera>);
    static_assert(!std::is_copy_assignable_v<zvAPIplus_Camera>);
}

TEST_F(CameraTest, GlobalOperations)
{
    emu.StartTrace();
    EXPECT_EQ(zvAPIplus_Global().GetNumberOfConnectedCameras(), 2);
    zvAPIplus_Camera camera;
    EXPECT_EQ(camera.GetNumberOfConnectedCameras(), 2);
    zvAPIplus_Global().EnableCamEnumGoldenEnabled();
    EXPECT_EQ(emu.TraceWith("zvSetParamInt handle=0 param=cam_enum_golden_enabled value=1 rc=0").size(), 1u);

    emu.Hook(-1, "nocameras");
    EXPECT_EQ(zvAPIplus_Global().GetNumberOfConnectedCameras(), 0);
    emu.Hook(-1, "fail call=zvGetNumberDevices code=20");
    EXPECT_EQ(Catch([] { zvAPIplus_Global().GetNumberOfConnectedCameras(); }).text,
              Described("Camera context error", "GetNumberOfConnectedCameras"));
    emu.Hook(-1, "fail call=zvSetParamInt code=49");
    EXPECT_EQ(Catch([] { zvAPIplus_Global().EnableCamEnumGoldenEnabled(); }).text,
              Described("Device not ready to operate", "EnableCamEnumGoldenEnabled"));
}

}  // namespace
