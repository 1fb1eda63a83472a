// Choosing, opening and closing the camera of the camera-API updater, the
// camera count, the location listing and the settings the entry hands over.

#include "emu_dir.h"
#include "fapi_test_support.h"
#include "zvapi32.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using fapi_test::Capture;
using fapi_test::Count;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using fapi_test::Thrown;
using zvtest::EmuDir;

// Three cameras: index 0 and 2 of the JV family, index 1 a JR camera with a
// serial and location of its own.
class CameraSelectionTest : public ::testing::Test {
protected:
    CameraSelectionTest()
    {
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
        emu.AddCamera("JR574XX-D0-BSI-1", [](zvemu::CameraRecord& r) {
            r.serial = "ABCDE21070AV";
            r.locPath = "PCIROOT(0)#USB(7)";
            r.instPath = "\\\\?\\usb#zvjr#1";
            r.versions["version_fpga1"] = "02.17";
        });
        emu.AddCamera("JV285XX-C");
    }

    static std::string Identification(const std::string& serial, const std::string& model, const std::string& fpga,
                                      const std::string& deviceId)
    {
        return "Camera SN:" + serial + ", Model:" + model + ", FPGA1:V" + fpga + "\nDevice ID:" + deviceId + "\n";
    }

    EmuDir emu;
};

TEST_F(CameraSelectionTest, EachKindOfSelectionOpensItsCamera)
{
    const std::string jr = Identification("ABCDE21070AV", "JR574XX-D0-BSI-1", "02.17", "ZVEMU-DEV-0001");
    struct Case {
        const char* kind;
        std::function<void(TestUpdater&)> select;
        std::string printed;
    };
    const Case cases[] = {
        {"none (first camera)", [](TestUpdater&) {},
         Identification("ZVEMU21000A0", "JV966JK-TD-G8-V7T9-JND", "01.00", "ZVEMU-DEV-0000")},
        {"index", [](TestUpdater& u) { u.SelectCameraOnBus(2); },
         Identification("ZVEMU21020A0", "JV285XX-C", "01.00", "ZVEMU-DEV-0002")},
        {"device path", [](TestUpdater& u) { u.SelectCameraByPath("\\\\?\\usb#zvjr#1"); }, jr},
        {"serial", [](TestUpdater& u) { u.SelectCameraBySN("ABCDE21070AV"); }, jr},
        {"location", [](TestUpdater& u) { u.SelectCameraByLocation("PCIROOT(0)#USB(7)"); }, jr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TestUpdater updater;
        c.select(updater);
        const Outcome o = Capture([&] { updater.Open(); });
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.printed, c.printed);
        EXPECT_NE(updater.Camera().GetHandle(), 0u);
    }
}

TEST_F(CameraSelectionTest, SelectionRecordsOnlyAndTheLogFollowsTheText)
{
    emu.StartTrace();
    TestUpdater byIndex;
    byIndex.SelectCameraOnBus(2);
    EXPECT_EQ(byIndex.CameraIndex(), 2);

    TestUpdater byText;
    byText.SelectCameraBySN("ABCDE21070AV");
    byText.SelectCameraByPath("p");
    byText.SelectCameraByLocation("l");
    // The operation log opens its camera by the first of these that is set.
    EXPECT_EQ(byText.CameraIndex(), -1);
    EXPECT_EQ(byText.CameraSN(), "ABCDE21070AV");
    EXPECT_EQ(byText.CameraPath(), "p");
    EXPECT_EQ(byText.CameraLocation(), "l");
    // The camera keeps the last selection; nothing has reached the library.
    EXPECT_EQ(byText.Camera().GetMode(), CameraFAPI::Mode::ByLocation);
    EXPECT_TRUE(emu.Trace().empty());
}

TEST_F(CameraSelectionTest, ACameraThatIsNotThereIsTheCameraApisError)
{
    struct Case {
        std::function<void(TestUpdater&)> select;
        std::string error;
    };
    const Case cases[] = {
        {[](TestUpdater& u) { u.SelectCameraOnBus(3); }, "zvAPI: No Devices Found (zvAPIplus_Camera::OpenByID)"},
        {[](TestUpdater& u) { u.SelectCameraByPath("nowhere"); },
         "zvAPI: No Devices Found (zvAPIplus_Camera::OpenByPath)"},
        {[](TestUpdater& u) { u.SelectCameraBySN("ZZZZZ99999ZZ"); },
         "zvAPI: No Devices Found (zvAPIplus_Camera::OpenBySN)"},
        {[](TestUpdater& u) { u.SelectCameraByLocation("PCIROOT(9)"); },
         "zvAPI: No Devices Found (zvAPIplus_Camera::OpenByLocation)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TestUpdater updater;
        c.select(updater);
        const Outcome o = Capture([&] { updater.Open(); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.printed, "");
        EXPECT_EQ(updater.Camera().GetHandle(), 0u);
    }
}

TEST_F(CameraSelectionTest, ForcedSerialGoesToTheSelectedIndexOnce)
{
    emu.StartTrace();
    TestUpdater updater;
    updater.SetForcedModelSNE("FGHIJ21070AV");
    updater.SelectCameraOnBus(2);
    const std::string first = Printed([&] { updater.Open(); });
    EXPECT_EQ(first, "zvSetDeviceInfoString model_forced_sne FGHIJ21070AV\n" +
                         Identification("FGHIJ21070AV", "JV285XX-C", "01.00", "ZVEMU-DEV-0002"));
    // The open camera is reused: identified again, the serial not forced again.
    const std::string second = Printed([&] { updater.Open(); });
    EXPECT_EQ(second, Identification("FGHIJ21070AV", "JV285XX-C", "01.00", "ZVEMU-DEV-0002"));

    const auto forced = emu.TraceWith("zvSetDeviceInfoString");
    ASSERT_EQ(forced.size(), 1u);
    EXPECT_NE(forced[0].find("index=2 param=device_sn size=12 value=FGHIJ21070AV rc=0"), std::string::npos)
        << forced[0];
    const auto opens = emu.TraceWith("zvOpenDevice");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_NE(opens[0].find("index=2"), std::string::npos);
}

TEST_F(CameraSelectionTest, ForcedSerialWithoutIndexSelectionOrRefusedIsAnError)
{
    const std::string notSupported = "Model force is not supported for other, than first camera or --camid selector.";
    struct Case {
        const char* sne;
        std::function<void(TestUpdater&)> select;
        std::string printed;
        std::string error;
    };
    const Case cases[] = {
        {"ABCDE21070AV", [](TestUpdater& u) { u.SelectCameraByPath("\\\\?\\usb#zvjr#1"); }, "", notSupported},
        {"ABCDE21070AV", [](TestUpdater& u) { u.SelectCameraBySN("ABCDE21070AV"); }, "", notSupported},
        {"ABCDE21070AV", [](TestUpdater& u) { u.SelectCameraByLocation("PCIROOT(0)#USB(7)"); }, "", notSupported},
        {"not-a-serial", [](TestUpdater&) {}, "zvSetDeviceInfoString model_forced_sne not-a-serial\n",
         "Error on setting forced SNE after zvSetDeviceInfoString. E.g. incorrect SNE entered on --forced_model_sne"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        emu.StartTrace();
        TestUpdater updater;
        updater.SetForcedModelSNE(c.sne);
        c.select(updater);
        const Outcome o = Capture([&] { updater.Open(); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.printed, c.printed);
        EXPECT_EQ(updater.Camera().GetHandle(), 0u);
        EXPECT_TRUE(emu.TraceWith("zvOpenDevice").empty());
    }
}

TEST_F(CameraSelectionTest, PreparationsComeFirstOnEveryOpen)
{
    emu.StartTrace();
    TestUpdater updater;
    Printed([&] { updater.Open(); });
    Printed([&] { updater.Open(); });
    // Handles are numbered across the whole process: the open one is "H".
    const std::regex openHandle("(handle|opened)=[1-9][0-9]*");
    std::vector<std::string> calls;
    for (const std::string& line : emu.Trace()) {
        calls.push_back(std::regex_replace(line.substr(0, line.find(" value=")), openHandle, "$1=H"));
    }
    const std::vector<std::string> expected = {
        "zvSetParamInt handle=0 param=cam_enum_golden_enabled",
        "zvSetParamInt handle=0 param=cam_sensor_init_disabled",
        "zvSetParamInt handle=0 param=auto_bandwidth_calculation",
        "zvOpenDevice index=0 opened=H rc=0",
        "zvGetParamString handle=H param=device_sn size=30",
        "zvGetParamString handle=H param=device_name size=100",
        "zvGetParamString handle=H param=version_fpga1 size=100",
        "zvGetParamString handle=H param=device_id size=100",
        "zvSetParamInt handle=0 param=cam_enum_golden_enabled",
        "zvSetParamInt handle=H param=cam_sensor_init_disabled",
        "zvSetParamInt handle=H param=auto_bandwidth_calculation",
        "zvGetParamInt handle=H param=isexist",
        "zvGetParamString handle=H param=device_sn size=30",
        "zvGetParamString handle=H param=device_name size=100",
        "zvGetParamString handle=H param=version_fpga1 size=100",
        "zvGetParamString handle=H param=device_id size=100",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(CameraSelectionTest, ACameraWithoutDeviceIdStillOpens)
{
    emu.Hook(0, "fail param=device_id code=106 times=all");
    TestUpdater updater;
    const Outcome o = Capture([&] { updater.Open(); });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "Camera SN:ZVEMU21000A0, Model:JV966JK-TD-G8-V7T9-JND, FPGA1:V01.00\n");
    EXPECT_NE(updater.Camera().GetHandle(), 0u);
}

TEST_F(CameraSelectionTest, AGoneCameraIsOpenedAgain)
{
    TestUpdater updater;
    Printed([&] { updater.Open(); });
    const ZV_HANDLE first = updater.Camera().GetHandle();
    emu.Hook(0, "fail param=isexist code=0");  // answers without a value: gone
    Printed([&] { updater.Open(); });
    EXPECT_NE(updater.Camera().GetHandle(), 0u);
    EXPECT_NE(updater.Camera().GetHandle(), first);
}

TEST_F(CameraSelectionTest, DestructorClosesOwnCameraButNotASuppliedOne)
{
    emu.StartTrace();
    ZV_HANDLE supplied = 0;
    ASSERT_EQ(zvOpenDevice(1, &supplied), 0);
    {
        TestUpdater updater;
        updater.SetCameraHandle(supplied);
        EXPECT_EQ(updater.Camera().GetHandle(), supplied);
        // Operations reuse the supplied camera and leave it open.
        EXPECT_EQ(Thrown([&] { Printed([&] { EXPECT_EQ(updater.GetCameraModel(), "JR574XX-D0-BSI-1"); }); }), "");
    }
    EXPECT_TRUE(emu.TraceWith("zvCloseDevice").empty());
    int32_t present = 0;
    EXPECT_EQ(zvGetParamInt(supplied, "isexist", &present), 0);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(zvCloseDevice(supplied), 0);

    emu.ClearTrace();
    {
        TestUpdater updater;
        Printed([&] { updater.Open(); });
    }
    EXPECT_EQ(emu.TraceWith("zvCloseDevice").size(), 1u);
}

TEST_F(CameraSelectionTest, CameraModelQueryOpensAndClosesTheCamera)
{
    emu.StartTrace();
    TestUpdater updater;
    updater.SelectCameraOnBus(1);
    std::string model;
    const std::string printed = Printed([&] { model = updater.GetCameraModel(); });
    EXPECT_EQ(model, "JR574XX-D0-BSI-1");
    EXPECT_EQ(printed, Identification("ABCDE21070AV", "JR574XX-D0-BSI-1", "02.17", "ZVEMU-DEV-0001"));
    EXPECT_EQ(updater.Camera().GetHandle(), 0u);
    EXPECT_EQ(emu.TraceWith("zvCloseDevice").size(), 1u);
}

TEST_F(CameraSelectionTest, CameraCountIncludesGoldenModeAndReportsFailuresAsText)
{
    emu.StartTrace();
    TestUpdater updater;
    EXPECT_EQ(updater.GetConnectedCamerasCount(), 3);
    const auto trace = emu.Trace();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_NE(trace[0].find("param=cam_enum_golden_enabled value=1"), std::string::npos);
    EXPECT_NE(trace[1].find("zvGetNumberDevices"), std::string::npos);

    emu.Hook(-1, "nocameras");
    EXPECT_EQ(updater.GetConnectedCamerasCount(), 0);

    emu.Hook(-1, "fail call=zvGetNumberDevices code=49");
    EXPECT_EQ(Thrown([&] { updater.GetConnectedCamerasCount(); }),
              "Device not ready to operate (zvAPIplus_Camera::GetNumberOfConnectedCameras)");
}

TEST_F(CameraSelectionTest, LocationListingNamesEveryCameraWithoutOpeningAny)
{
    emu.StartTrace();
    TestUpdater updater;
    EXPECT_EQ(Printed([&] { updater.ListOfCamerasLocations(); }),
              "Device id:0 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)\n"
              "Device id:1 location: PCIROOT(0)#USB(7)\n"
              "Device id:2 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)\n");
    EXPECT_TRUE(emu.TraceWith("zvOpenDevice").empty());

    // A camera whose location cannot be read is left out; a failing count
    // lists nothing.
    emu.Hook(-1, "fail param=device_loc_path code=106 nth=2");
    EXPECT_EQ(Printed([&] { updater.ListOfCamerasLocations(); }),
              "Device id:0 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)\n"
              "Device id:2 location: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)\n");
    emu.Hook(-1, "fail call=zvGetNumberDevices code=49");
    EXPECT_EQ(Printed([&] { updater.ListOfCamerasLocations(); }), "");
}

TEST(FapiSettings, TextsAreKeptWithinTheirFields)
{
    TestUpdater updater;
    EXPECT_EQ(updater.NewFwVersion(), "");
    EXPECT_EQ(updater.LedBlinkCount(), 0);
    EXPECT_FALSE(updater.SkipEepromUpgrade());

    const std::string long300(300, 'v');
    updater.SetNewFirmwareVersion("02.50");
    updater.SetCurrentFirmwareVersion(long300);
    updater.SetCameraModelName("JV966JK");
    updater.SetEEPROMVersion("01.02.03.04");
    updater.SetSkipEEPROMUpgrade();
    updater.SetEEPROMVersionFromCpu();
    updater.SetLedBlinkCumberAfterInfo(3);
    updater.SelectCameraByPath(std::string(600, 'p'));

    EXPECT_EQ(updater.NewFwVersion(), "02.50");
    EXPECT_EQ(updater.CurrentFwVersion(), std::string(199, 'v'));
    EXPECT_EQ(updater.ModelName(), "JV966JK");
    EXPECT_EQ(updater.EepromVersion(), "01.02.03.");
    EXPECT_TRUE(updater.SkipEepromUpgrade());
    EXPECT_TRUE(updater.EepromVersionFromCpu());
    EXPECT_EQ(updater.LedBlinkCount(), 3);
    EXPECT_EQ(updater.Camera().GetPath(), std::string(259, 'p'));
    EXPECT_EQ(updater.CameraPath(), std::string(511, 'p'));

    // The forced serial stays a terminated text of at most 19 characters.
    EXPECT_FALSE(updater.Camera().IsModelForced());
    updater.SetForcedModelSNE(std::string(19, 'A') + "BCD");
    EXPECT_TRUE(updater.Camera().IsModelForced());
    EXPECT_EQ(updater.Camera().GetForcedModelSNE(), std::string(19, 'A'));
}

}  // namespace
