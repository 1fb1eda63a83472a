// info through the camera API: the version of each firmware type and the LED
// blinking that may follow it.

#include "emu_dir.h"
#include "fapi_test_support.h"
#include "os_clock.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using fapi_test::Capture;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using zvtest::EmuDir;

class FapiVersionsTest : public ::testing::Test {
protected:
    FapiVersionsTest()
    {
        emu.AddCamera("KV410XX-B", [](zvemu::CameraRecord& r) {
            r.versions["version_mcu1"] = "02.50";
            r.versions["version_mcu2"] = "03.11";
            r.versions["version_mcu3"] = "01.07";
            r.versions["version_fpga1"] = "01.20";
            r.versions["version_xmlman"] = "00.09";
        });
    }

    // The LED settings the camera received, in order: "selector=value mode=value".
    std::vector<std::string> LedSettings() const
    {
        std::vector<std::string> settings;
        const std::regex set(R"(zvSetParamInt .*param=(led_selector|led_mode) value=(\d+) rc=0)");
        for (const std::string& line : emu.Trace()) {
            std::smatch m;
            if (std::regex_search(line, m, set)) {
                settings.push_back((m[1] == "led_selector" ? "led " : "mode ") + m[2].str());
            }
        }
        return settings;
    }

    EmuDir emu;
};

class EepromVersionUpdater : public TestUpdater {
protected:
    std::string ReadEepromDataVersion() override { return "02.01"; }
};

TEST_F(FapiVersionsTest, EachTypeReadsItsOwnVersion)
{
    struct Case {
        std::int32_t type;
        std::string version;
        std::string error;
    };
    const Case cases[] = {
        {1, "02.50", ""},                  // CPU1
        {2, "03.11", ""},                  // CPU2
        {3, "01.07", ""},                  // CPU3
        {10, "01.20", ""},                 // FPGA1
        {11, "01.20", ""},                 // FPGA2: the camera reports one FPGA version
        {15, "02.01", ""},                 // EEPROM1: the calibration data's version
        {20, "00.09", ""},                 // XMLMAN
        {100, "", "Not implemented yet"},  // SID1
        {6, "", "FW_Updater_FAPI:GetCurrentFirmwareVersion: Unsupported firmware type"},  // MCU1
        {4, "", "FW_Updater_FAPI:GetCurrentFirmwareVersion: Unsupported firmware type"},  // CPU4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EepromVersionUpdater u;
        u.SetFirmwareType(c.type);
        std::string version;
        const Outcome o = Capture([&] { version = u.GetCurrentFirmwareVersion(); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(version, c.version);
        // The version query leaves the camera open for the updater's end.
        EXPECT_NE(u.Camera().GetHandle(), 0u);
    }

    // A camera API failure is reported as its description.
    TestUpdater missing;
    missing.SelectCameraOnBus(4);
    missing.SetFirmwareType(1);
    EXPECT_EQ(Capture([&] { missing.GetCurrentFirmwareVersion(); }).error,
              "No Devices Found (zvAPIplus_Camera::OpenByID)");
}

TEST_F(FapiVersionsTest, LedsBlinkInRoundsAfterTheVersion)
{
    zv::os::VirtualClock clock;
    emu.StartTrace();
    TestUpdater u;
    u.SetFirmwareType(1);
    u.SetLedBlinkCumberAfterInfo(3);
    std::string version;
    EXPECT_EQ(Capture([&] { version = u.GetCurrentFirmwareVersion(); }).error, "");
    EXPECT_EQ(version, "02.50");
    // Selectors from the minimum (1) up to, not including, the maximum (3):
    // off, on, off.
    EXPECT_EQ(LedSettings(), (std::vector<std::string>{"led 1", "mode 7", "led 2", "mode 7", "led 1", "mode 8", "led 2",
                                                       "mode 8", "led 1", "mode 7", "led 2", "mode 7"}));
    EXPECT_EQ(clock.SleepCount(), 3u);
    EXPECT_EQ(clock.SleptMs(), 150u);
    EXPECT_EQ(emu.Camera(0).ledModes, (std::map<int, int>{{1, 7}, {2, 7}}));

    // Without a count nothing blinks.
    emu.ClearTrace();
    TestUpdater quiet;
    quiet.SetFirmwareType(1);
    EXPECT_EQ(Capture([&] { quiet.GetCurrentFirmwareVersion(); }).error, "");
    EXPECT_TRUE(LedSettings().empty());
}

TEST_F(FapiVersionsTest, ACameraThatRefusesToBlinkStillGivesItsVersion)
{
    zv::os::VirtualClock clock;
    emu.Hook(0, "fail param=led_mode code=3 nth=2");
    emu.StartTrace();
    TestUpdater u;
    u.SetFirmwareType(10);
    u.SetLedBlinkCumberAfterInfo(2);
    std::string version;
    const Outcome o = Capture([&] { version = u.GetCurrentFirmwareVersion(); });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(version, "01.20");
    // The blinking ended at the refused setting.
    EXPECT_EQ(LedSettings(), (std::vector<std::string>{"led 1", "mode 7", "led 2"}));
    EXPECT_EQ(clock.SleepCount(), 0u);
}

}  // namespace
