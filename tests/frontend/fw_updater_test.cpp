#include "cmd_line_params.h"
#include "fake_updater.h"
#include "fw_sel_item.h"
#include "scramble_for_tests.h"
#include "test_files.h"
#include "updater_error.h"
#include "updater_setup.h"

#include <gtest/gtest.h>

#include <functional>

using testing_support::TempDir;

namespace {

std::string ThrownText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const UpdaterError& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

std::vector<std::pair<int, std::uint32_t>> g_reports;
void RecordProgress(int percent, std::uint32_t context)
{
    g_reports.emplace_back(percent, context);
}

}  // namespace

TEST(FW_Updater, FreshUpdaterHasNoSelection)
{
    const BareUpdater u;
    EXPECT_EQ(u.CameraIndex(), -1);
    EXPECT_TRUE(u.CameraSN().empty());
    EXPECT_TRUE(u.Scrambled());
    EXPECT_EQ(u.GetAccessKey(), 0u);
}

TEST(FW_Updater, EveryDefaultRefusesWithItsName)
{
    BareUpdater u;
    std::uint8_t flag = 0;
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { u.SelectCameraOnBus(0); }, "Function SelectCameraOnBus is not implemented for this camera."},
        {[&] { u.SelectCameraByPath("p"); }, "Function SelectCameraByPath is not implemented for this camera."},
        {[&] { u.SelectCameraBySN("s"); }, "Function SelectCameraBySN is not implemented for this camera."},
        {[&] { u.SelectCameraByLocation("l"); }, "Function SelectCameraByLocation is not implemented for this camera."},
        {[&] { u.ListOfCamerasLocations(); }, "Function ListOfCamerasLocations is not implemented. Try --zvapi"},
        {[&] { u.DiffFirmwareContent(); }, "Function DiffFirmwareContent is not implemented. Try --zvapi"},
        {[&] { u.GetU3VFlag(flag); }, "Function GetU3VFlag is not implemented for this camera."},
        {[&] { u.GetCurrentFirmwareVersion(); },
         "Function GetCurrentFirmwareVersion is not implemented for this camera."},
        {[&] { u.UpdateFirmware(); }, "Function UpdateFirmware is not implemented for this camera."},
        {[&] { u.VerifyFirmware(); }, "Function VerifyFirmware is not implemented for this camera."},
        {[&] { u.EmergencyBoot(); }, "Function EmergencyBoot is not implemented for this camera."},
        {[&] { u.ResetCamera(); }, "Function ResetCamera is not implemented for this camera."},
        {[&] { u.DumpFlash(); }, "Function DumpFlash is not implemented for this camera."},
        {[&] { u.ExtractData(); }, "Function ExtractData is not implemented for this camera."},
        {[&] { u.InsertData(); }, "Function InsertData is not implemented for this camera."},
        {[&] { u.IsUpdatePossible(); }, "Function IsUpdatePossible is not implemented for this camera."},
        {[&] { u.IsDataUpgradeNeeded(); }, "Function IsDataUpgradeNeeded is not implemented for this camera."},
        {[&] { u.UpgradeFirmware(); }, "Function UpgradeFirmware is not implemented for this camera."},
        {[&] { u.SetNewFirmwareVersion("1"); }, "Function SetNewFirmwareVersion is not implemented for this camera."},
        {[&] { u.GetCameraModel(); }, "Function GetCameraModel is not implemented for this camera."},
        {[&] { u.SetLedBlinkCumberAfterInfo(1); },
         "Function SetLedBlinkCumberAfterInfo is not implemented for this camera."},
        {[&] { u.SetCameraHandle(1); }, "Function SetCameraHandle is not implemented for this camera."},
        {[&] { u.GetLatestAvailableEEPROMDataVersion(); },
         "Function GetLatestAvailableEEPROMDataVersion is not implemented for this camera."},
    };
    for (const auto& [call, text] : cases) {
        EXPECT_EQ(ThrownText(call), text);
    }
    EXPECT_EQ(u.CameraIndex(), -1);
}

TEST(FW_Updater, CheckInputFile)
{
    TempDir dir;
    const auto payload = testing_support::RandomBytes(100, 1);
    auto good = testing_support::Scramble(payload);
    const std::string goodFile = dir.Write("good.bin", good);
    good[10] ^= 0xFF;
    const std::string badFile = dir.Write("bad.bin", good);
    const std::string hexFile = dir.WriteText("fw.hex", ":0300300002337A1E\n:00000001FF\n");

    {
        // Types that take no file pass without a file name.
        BareUpdater u;
        u.SetFirmwareType(FW_TYPE_FLAG_U3V);
        u.CheckInputFile();
    }
    const auto check = [](std::int32_t type, const std::function<void(FW_Updater&)>& prepare) {
        BareUpdater u;
        u.SetFirmwareType(type);
        prepare(u);
        return ThrownText([&] { u.CheckInputFile(); });
    };
    EXPECT_EQ(check(FW_TYPE_CPU1, [](FW_Updater&) {}), "Invalid filename");
    EXPECT_EQ(check(FW_TYPE_CPU1, [&](FW_Updater& u) { u.SetInputFile(goodFile); }), "<nothing thrown>");
    EXPECT_EQ(check(FW_TYPE_CPU1, [&](FW_Updater& u) { u.SetInputFile(badFile); }), "Error checksum file");
    EXPECT_EQ(check(FW_TYPE_CPU1, [&](FW_Updater& u) { u.SetInputFile(dir.Write("s.bin", payload)); }),
              "Error checksum file");
    EXPECT_EQ(check(FW_TYPE_CPU1,
                    [&](FW_Updater& u) {
                        u.SetInputFile(dir.Write("three.bin", std::vector<std::uint8_t>{1, 2, 3}));
                    }),
              "LoadFile - File is too small");
    EXPECT_EQ(check(FW_TYPE_CPU1,
                    [&](FW_Updater& u) {
                        u.SetInputFile(hexFile);
                        u.SetHexFormat(true);
                    }),
              "LoadFile - Encrypted hex files are not supported");
    EXPECT_EQ(check(FW_TYPE_CPU1,
                    [&](FW_Updater& u) {
                        u.SetInputFile(hexFile);
                        u.SetHexFormat(true);
                        u.ClearScrambled();
                    }),
              "<nothing thrown>");
    EXPECT_EQ(check(FW_TYPE_CPU1,
                    [&](FW_Updater& u) {
                        u.SetInputFile(badFile);
                        u.ClearScrambled();
                    }),
              "<nothing thrown>");
}

TEST(FW_Updater, AccessKeyAndProgress)
{
    BareUpdater u;
    CmdLineParams params;
    ApplyAccessKey(u, params);
    EXPECT_EQ(u.GetAccessKey(), kDefaultAccessKey);
    EXPECT_EQ(kDefaultAccessKey, 0x6B2F08D4u);
    params.key = 0x1234;
    ApplyAccessKey(u, params);
    EXPECT_EQ(u.GetAccessKey(), 0x1234u);

    g_reports.clear();
    u.ReportProgress(42);  // no receiver: nothing happens
    u.SetProgressCallback(&RecordProgress, 7);
    u.ReportProgress(42);
    EXPECT_EQ(g_reports, (std::vector<std::pair<int, std::uint32_t>>{{42, 7}}));
}
