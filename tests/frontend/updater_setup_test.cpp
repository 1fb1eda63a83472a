#include "cmd_line_params.h"
#include "fw_updater_fapi.h"
#include "fw_updater_usb30.h"
#include "perform_operation.h"
#include "run_state.h"
#include "updater_error.h"
#include "updater_main.h"
#include "updater_setup.h"
#include "zvapiplus_exception.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

// What a recorded updater was given, in the order it was given.
struct Recorder {
    std::vector<std::string> events;
    int cameraCount = 0;
};

class RecordingFapi : public FW_Updater_FAPI {
public:
    explicit RecordingFapi(Recorder& r) : rec(r) {}
    void SelectCameraOnBus(int index) override { rec.events.push_back("fapi select id " + std::to_string(index)); }
    void SelectCameraByPath(const std::string& p) override { rec.events.push_back("fapi select path " + p); }
    void SelectCameraBySN(const std::string& s) override { rec.events.push_back("fapi select sn " + s); }
    void SelectCameraByLocation(const std::string& l) override { rec.events.push_back("fapi select location " + l); }
    void SetNewFirmwareVersion(const std::string& v) override { newVersion = v; }
    void SetLedBlinkCumberAfterInfo(int count) override { blinks = count; }
    int GetConnectedCamerasCount() override { return rec.cameraCount; }

    // Every setting in one line, so tests compare whole configurations.
    std::string Settings() const
    {
        return "key=" + std::to_string(GetAccessKey()) +
               " progress=" + (progressCallback == &PrintProgress ? "yes" : "no") +
               " sne=" + camera.GetForcedModelSNE() + " new=" + newVersion + " cur=" + currentFwVersion +
               " model=" + modelName + " eeprom=" + eepromVersion + " skip=" + std::to_string(skipEepromUpgrade) +
               " fromcpu=" + std::to_string(eepromVersionFromCpu) + " blinks=" + std::to_string(blinks);
    }

    Recorder& rec;
    std::string newVersion;
    int blinks = 0;
};

class RecordingUsb3 : public FW_Updater_USB30 {
public:
    explicit RecordingUsb3(Recorder& r) : rec(r) {}
    void SelectCameraOnBus(int index) override
    {
        rec.events.push_back("usb3 select id " + std::to_string(index) + " driver " +
                             std::to_string(Camera().GetDriver()));
    }
    void SelectCameraByPath(const std::string& p) override
    {
        rec.events.push_back("usb3 select path " + p + " driver " + std::to_string(Camera().GetDriver()));
    }
    void SelectCameraBySN(const std::string& s) override
    {
        rec.events.push_back("usb3 select sn " + s + " driver " + std::to_string(Camera().GetDriver()));
    }
    void SelectCameraByLocation(const std::string& l) override
    {
        rec.events.push_back("usb3 select location " + l + " driver " + std::to_string(Camera().GetDriver()));
    }
    int GetCameraOnBusCount() override
    {
        rec.events.push_back("usb3 count driver " + std::to_string(Camera().GetDriver()) + " bulk " +
                             std::to_string(GetBulkMode()));
        return rec.cameraCount;
    }
    std::string Settings() const
    {
        return std::string("progress=") + (progressCallback == &PrintProgress ? "yes" : "no") +
               " bulk=" + std::to_string(GetBulkMode()) + " generation=" + std::to_string(cameraGeneration) +
               " ccd=" + std::to_string(Camera().IsCCD());
    }
    Recorder& rec;
};

class UpdaterSetupTest : public ::testing::Test {
protected:
    UpdaterSetupTest()
    {
        setup.makeFapi = [this] { return std::make_unique<RecordingFapi>(rec); };
        setup.makeUsb3 = [this] { return std::make_unique<RecordingUsb3>(rec); };
        setup.perform = [this](FW_Updater& u) {
            if (auto* fapi = dynamic_cast<RecordingFapi*>(&u)) {
                rec.events.push_back("perform fapi " + fapi->Settings());
            } else if (auto* usb3 = dynamic_cast<RecordingUsb3*>(&u)) {
                rec.events.push_back("perform usb3 " + usb3->Settings());
            }
        };
    }

    std::string Run()
    {
        testing::internal::CaptureStdout();
        std::string error;
        try {
            RunUpdaters(params, setup);
        } catch (const UpdaterError& e) {
            error = e.what();
        }
        printed = testing::internal::GetCapturedStdout();
        return error;
    }

    void GiveAllCameraApiSettings()
    {
        params.key = 0x55;
        params.forced_model_sne = "ABCDE21070AV";
        params.new_fw_ver = "2.00";
        params.cur_fw_ver = "1.30";
        params.model = "zvW-123";
        params.eeprom_ver = "01.02";
        params.skip_eeprom_upgrade = true;
        params.eeprom_ver_associate_from_cpu_ver = true;
        params.number_of_led_blinks_on_end = 3;
    }

    Recorder rec;
    UpdaterSetup setup;
    CmdLineParams params;
    std::string printed;
};

constexpr const char* kAllFapiSettings =
    "key=85 progress=yes sne=ABCDE21070AV new=2.00 cur=1.30 model=zvW-123 eeprom=01.02 skip=1 fromcpu=1 blinks=3";
constexpr const char* kNoFapiSettings =
    "key=1798244564 progress=yes sne= new= cur= model= eeprom= skip=0 fromcpu=0 blinks=0";

}  // namespace

TEST_F(UpdaterSetupTest, CameraApiSelectionPrecedence)
{
    params.zvapi = true;
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(rec.events, ElementsAre("fapi select id 0", std::string("perform fapi ") + kNoFapiSettings));

    struct Case {
        std::function<void(CmdLineParams&)> set;
        const char* selection;
    };
    const Case cases[] = {
        {[](CmdLineParams& p) { p.camid = 4; }, "fapi select id 4"},
        {[](CmdLineParams& p) { p.camsn = "S1", p.camid = 4; }, "fapi select sn S1"},
        {[](CmdLineParams& p) { p.camlocation = "L1", p.camsn = "S1"; }, "fapi select location L1"},
        {[](CmdLineParams& p) { p.campath = "P1", p.camlocation = "L1", p.camsn = "S1", p.allcameras = true; },
         "fapi select path P1"},
    };
    for (const Case& c : cases) {
        CmdLineParams p;
        p.zvapi = true;
        c.set(p);
        params = p;
        rec.events.clear();
        EXPECT_EQ(Run(), "");
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0], c.selection);
    }
}

TEST_F(UpdaterSetupTest, CameraApiUpdaterGetsEverySetting)
{
    params.zvapi = true;
    GiveAllCameraApiSettings();
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(rec.events, ElementsAre("fapi select id 0", std::string("perform fapi ") + kAllFapiSettings));
}

TEST_F(UpdaterSetupTest, AllCameraApiCamerasGetTheSameSettingsButPrintNoProgress)
{
    params.zvapi = true;
    params.allcameras = true;
    GiveAllCameraApiSettings();
    rec.cameraCount = 2;
    EXPECT_EQ(Run(), "");
    std::string perform = std::string("perform fapi ") + kAllFapiSettings;
    perform.replace(perform.find("progress=yes"), 12, "progress=no");
    EXPECT_THAT(rec.events, ElementsAre("fapi select id 0", perform, "fapi select id 1", perform));
    EXPECT_EQ(printed, "----------------------------------\nSelected camera id:0 (total:2)\n"
                       "----------------------------------\nSelected camera id:1 (total:2)\n");

    rec.cameraCount = 0;
    rec.events.clear();
    EXPECT_EQ(Run(), "No camera connected");
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(UpdaterSetupTest, AnErrorOnOneCameraEndsTheLoop)
{
    params.zvapi = true;
    params.allcameras = true;
    rec.cameraCount = 3;
    int performed = 0;
    setup.perform = [&](FW_Updater&) {
        if (++performed == 2) {
            throw UpdaterError("camera 1 failed");
        }
    };
    EXPECT_EQ(Run(), "camera 1 failed");
    EXPECT_EQ(performed, 2);
}

TEST_F(UpdaterSetupTest, Usb3SelectionPrecedenceAndSettings)
{
    params.ucam_type = 2;
    params.ccd = true;
    params.camid = 2;
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(rec.events,
                ElementsAre("usb3 select id 2 driver 0", "perform usb3 progress=yes bulk=1 generation=2 ccd=1"));

    struct Case {
        std::function<void(CmdLineParams&)> set;
        const char* selection;
    };
    const Case cases[] = {
        {[](CmdLineParams& p) { p.camsn = "S1", p.camid = 4; }, "usb3 select sn S1 driver 1"},
        {[](CmdLineParams& p) { p.camlocation = "L1", p.camsn = "S1"; }, "usb3 select location L1 driver 1"},
        {[](CmdLineParams& p) { p.campath = "P1", p.camlocation = "L1", p.allcameras = true; },
         "usb3 select path P1 driver 1"},
    };
    for (const Case& c : cases) {
        CmdLineParams p;
        c.set(p);
        params = p;
        rec.events.clear();
        EXPECT_EQ(Run(), "");
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0], c.selection);
    }
}

TEST_F(UpdaterSetupTest, AllUsb3CamerasFromTheHighestIndexWithTheSameSettingsButPrintNoProgress)
{
    params.allcameras = true;
    params.ucam_type = 1;
    params.ccd = true;
    rec.cameraCount = 2;
    EXPECT_EQ(Run(), "");
    const char* perform = "perform usb3 progress=no bulk=1 generation=1 ccd=1";
    EXPECT_THAT(rec.events, ElementsAre("usb3 count driver 1 bulk 1", "usb3 select id 1 driver 1", perform,
                                        "usb3 select id 0 driver 1", perform));
    EXPECT_EQ(printed, "----------------------------------\nSelected camera id:1 (total 2) - driver 1\n"
                       "----------------------------------\nSelected camera id:0 (total 2) - driver 1\n");

    rec.cameraCount = 0;
    rec.events.clear();
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(rec.events, ElementsAre("usb3 count driver 1 bulk 1"));
}

TEST_F(UpdaterSetupTest, Usb3RefusesAForcedModelSerialBeforeTouchingAnything)
{
    params.forced_model_sne = "ABCDE21070AV";
    EXPECT_EQ(Run(), "ERROR: Legacy (USB3) cameras updating does not support --forced_model_sne\n");
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(printed, "");
}

// Whatever an operation throws, the run ends with an error line and status 1;
// nothing leaves the program uncaught.
TEST_F(UpdaterSetupTest, EveryKindOfErrorEndsTheRunWithStatus1)
{
    struct Case {
        std::function<void()> fail;
        std::string line;
    };
    const Case cases[] = {
        {[] { throw UpdaterError("raised text"); }, "\n******** Error: raised text\n"},
        {[] { throw std::runtime_error("library failure"); }, "\n******** Error: library failure\n"},
        {[] { throw std::bad_alloc(); }, "\n******** Error: std::bad_alloc\n"},
        {[] { throw zvAPIplus_Exception(10, "Timeout (zvAPIplus_Camera::GetVersion)"); },
         "\n******** Error zvAPI: Timeout (zvAPIplus_Camera::GetVersion)\n"},
        {[] { throw 42; }, "\n******** Error: Unknown error\n"},
    };
    const char* const argv[] = {"zvcamupdater", "info", "CPU1", "--zvapi"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TheRunState() = RunState{};
        TheCmdLineParams() = CmdLineParams{};
        setup.perform = [&c](FW_Updater&) { c.fail(); };
        testing::internal::CaptureStdout();
        const int status = RunZvCamUpdater(4, argv, setup);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(out.ends_with("-----------------------------------\n" + c.line + "Done return 1\n")) << out;
    }
    TheRunState() = RunState{};
    TheCmdLineParams() = CmdLineParams{};
}
