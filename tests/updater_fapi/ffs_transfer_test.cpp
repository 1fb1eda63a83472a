// Files in and out of the camera's flash file system: write, read back and
// compare, the firmware-ok mark, the keys, and the progress the front end
// prints.

#include "emu_dir.h"
#include "fapi_progress.h"
#include "fapi_test_support.h"
#include "ffs_file_table.h"
#include "fw_sel_item.h"
#include "perform_operation.h"
#include "zvapi32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <set>

namespace {

using fapi_test::Capture;
using fapi_test::Count;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using fapi_test::Thrown;
using zvtest::EmuDir;

constexpr std::int32_t kCpu1 = 1;
constexpr std::int32_t kCpu2 = 2;
constexpr std::int32_t kFpga1 = 10;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 1)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

class FfsTransferTest : public ::testing::Test {
protected:
    FfsTransferTest()
    {
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
        emu.AddCamera("JR574XX-D0-BSI-1");
        updater.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
    }

    void Open(int index)
    {
        updater.SelectCameraOnBus(index);
        Printed([&] { updater.Open(); });
    }

    void Store(int index, const std::string& file, const std::vector<std::uint8_t>& bytes)
    {
        emu.State().WriteFfsFile(emu.CameraId(static_cast<unsigned>(index)), file, bytes);
    }

    std::vector<std::uint8_t> Stored(int index, const std::string& file)
    {
        return emu.State()
            .ReadFfsFile(emu.CameraId(static_cast<unsigned>(index)), file)
            .value_or(std::vector<std::uint8_t>{});
    }

    EmuDir emu;
    TestUpdater updater;
};

TEST_F(FfsTransferTest, WriteVerifyAndReadWithTheFrontEndsProgress)
{
    Open(0);
    updater.SetFirmwareType(kCpu1);
    updater.SetProgressCallback(&PrintProgress, 0);
    ResetProgressPrinter();
    const std::vector<std::uint8_t> image = Pattern(64 * 1024);
    std::vector<std::uint8_t> expected = image;

    const Outcome o = Capture([&] {
        updater.StartTransferProgress();
        SetFapiProgressPhase(20, 0.4f);
        updater.WriteFileFFS(image, "File_FW_CPU1", 0);
        SetFapiProgressPhase(60, 0.4f);
        updater.VerifyFileFFS(expected, "File_FW_CPU1", 0);
        std::vector<std::uint8_t> back(image.size());
        SetFapiProgressPhase(0, 1.0f);
        updater.ReadFileFFS(back, "File_FW_CPU1", 0);
        EXPECT_EQ(back, expected);
        updater.FinishCameraOperation();
    });
    EXPECT_EQ(o.error, "");
    // The camera reports 0-100 % per transfer in quarters; writing maps it
    // to 20-60 %, reading back to 60-100 %. Equal percentages print once.
    EXPECT_EQ(o.printed, "Erasing/Writing...\n20%\r30%\r40%\r50%\r60%\rErase/Write done OK  \n"
                         "Verifying...\n70%\r80%\r90%\r100%\rRead done OK  \n"
                         "Firmware_ok_mark on position 0x0022 read:xFF\n"
                         "Firmware_ok_mark shows, that firmware is not yet confirmed to run\n"
                         "Compare done OK  \n"
                         "Reading...\n0%\r25%\r50%\r75%\r100%\rRead done OK  \n");
    // The camera marks a new CPU image as not yet started; the comparison
    // takes its mark.
    EXPECT_EQ(expected[0x22], 0xFF);
    expected[0x22] = image[0x22];
    EXPECT_EQ(expected, image);
    EXPECT_EQ(updater.Camera().GetHandle(), 0u);
    EXPECT_EQ(GetFapiProgressUpdater(), nullptr);
}

TEST_F(FfsTransferTest, FirmwareOkMarkIsTheCamerasForItsCpuImage)
{
    struct Case {
        const char* what;
        int camera;
        std::int32_t type;
        std::string file;
        std::uint8_t mark;
        std::string printed;  // between "Read done OK" and the end
        std::string error;
    };
    const std::string markLine = "Firmware_ok_mark on position 0x0022 read:x";
    const std::string ok = "Compare done OK  \n";
    const Case cases[] = {
        {"not started", 0, kCpu1, "File_FW_CPU1", 0xFF,
         markLine + "FF\nFirmware_ok_mark shows, that firmware is not yet confirmed to run\n" + ok, ""},
        {"confirmed", 0, kCpu1, "File_FW_CPU1", 0xA5,
         markLine + "A5\nFirmware_ok_mark shows, that firmware is confirmed to run\n" + ok, ""},
        {"erased to zero", 0, kCpu1, "File_FW_CPU1", 0x00, markLine + "00\n", "Firmware_ok_mark unexpected value"},
        {"other value", 0, kCpu1, "File_FW_CPU1", 0x5A, markLine + "5A\n", "Firmware_ok_mark unexpected value"},
        {"JR camera, its CPU on the second MCU", 1, kCpu2, "File_FW_CPU2", 0xA5,
         markLine + "A5\nFirmware_ok_mark shows, that firmware is confirmed to run\n" + ok, ""},
        {"JR camera, CPU1 is a plain file", 1, kCpu1, "File_FW_CPU1", 0xA5,
         "Compare error: at position:34 expected:x11 read:xA5 \n",
         "Verifying of written file failed (different content)."},
        {"not a CPU image", 0, kFpga1, "File_FW_FPGA1", 0xFF, "Compare error: at position:34 expected:x11 read:xFF \n",
         "Verifying of written file failed (different content)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> stored = Pattern(300);
        stored[0x22] = c.mark;
        Store(c.camera, c.file, stored);
        std::vector<std::uint8_t> expected = stored;
        expected[0x22] = 0x11;
        TestUpdater u;
        u.SetFirmwareType(c.type);
        u.SelectCameraOnBus(c.camera);
        Printed([&] { u.Open(); });
        const Outcome o = Capture([&] { u.VerifyFileFFS(expected, c.file, 0); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.printed, "Verifying...\nRead done OK  \n" + c.printed);
    }
}

TEST_F(FfsTransferTest, MarkIsTheImagesByte34WhateverWindowIsCompared)
{
    std::vector<std::uint8_t> stored = Pattern(0x400);
    stored[0x22] = 0xA5;
    stored[0x122] = 0x00;  // byte 34 of a window from 0x100: plain content
    Store(0, "File_FW_CPU1", stored);
    Open(0);
    updater.SetFirmwareType(kCpu1);
    const std::string markLines = "Firmware_ok_mark on position 0x0022 read:xA5\n"
                                  "Firmware_ok_mark shows, that firmware is confirmed to run\n";

    // A window from 0x10 covers the mark at its own place, 0x12 into the range.
    std::vector<std::uint8_t> from0x10(stored.begin() + 0x10, stored.end());
    from0x10[0x12] = 0x42;
    const Outcome covered = Capture([&] { updater.VerifyFileFFS(from0x10, "File_FW_CPU1", 0x10); });
    EXPECT_EQ(covered.error, "");
    EXPECT_EQ(covered.printed, "Verifying...\nRead done OK  \n" + markLines + "Compare done OK  \n");
    EXPECT_EQ(from0x10[0x12], 0xA5);

    // A window from 0x100 lies past the mark: every byte is compared, byte 34
    // of the window too.
    std::vector<std::uint8_t> from0x100(stored.begin() + 0x100, stored.end());
    const Outcome past = Capture([&] { updater.VerifyFileFFS(from0x100, "File_FW_CPU1", 0x100); });
    EXPECT_EQ(past.error, "");
    EXPECT_EQ(past.printed, "Verifying...\nRead done OK  \nCompare done OK  \n");
    from0x100[0x22] = 0xFF;
    const Outcome differs = Capture([&] { updater.VerifyFileFFS(from0x100, "File_FW_CPU1", 0x100); });
    EXPECT_EQ(differs.error, "Verifying of written file failed (different content).");
    EXPECT_NE(differs.printed.find("Compare error: at position:34 expected:xFF read:x00 \n"), std::string::npos);

    // A range of 34 bytes ends before the mark.
    std::vector<std::uint8_t> head(stored.begin(), stored.begin() + 34);
    const Outcome shortRange = Capture([&] { updater.VerifyFileFFS(head, "File_FW_CPU1", 0); });
    EXPECT_EQ(shortRange.error, "");
    EXPECT_EQ(shortRange.printed, "Verifying...\nRead done OK  \nCompare done OK  \n");
}

TEST_F(FfsTransferTest, ResetConfirmsTheWrittenImage)
{
    Open(0);
    updater.SetFirmwareType(kCpu1);
    const std::vector<std::uint8_t> image = Pattern(1000);
    Printed([&] { updater.WriteFileFFS(image, "File_FW_CPU1", 0); });
    updater.Camera().Camera().SetDeviceReset(1);
    std::vector<std::uint8_t> expected = image;
    const Outcome o = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_CPU1", 0); });
    EXPECT_EQ(o.error, "");
    EXPECT_NE(o.printed.find("Firmware_ok_mark shows, that firmware is confirmed to run\n"), std::string::npos);
    EXPECT_EQ(expected[0x22], 0xA5);
}

TEST_F(FfsTransferTest, AMismatchPrintsAtMost17DifferencesAndFails)
{
    const std::vector<std::uint8_t> stored(100, 0x00);
    Store(0, "File_FW_FPGA1", stored);
    Open(0);
    updater.SetFirmwareType(kFpga1);
    std::vector<std::uint8_t> expected = stored;
    for (std::size_t i = 10; i < 50; ++i) {
        expected[i] = static_cast<std::uint8_t>(i);
    }
    const Outcome o = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_FPGA1", 0); });
    EXPECT_EQ(o.error, "Verifying of written file failed (different content).");
    EXPECT_EQ(Count(o.printed, "Compare error"), 17u);
    EXPECT_NE(o.printed.find("Read done OK  \nCompare error: at position:10 expected:x0A read:x00 \n"),
              std::string::npos);
    EXPECT_NE(o.printed.find("Compare error: at position:26 expected:x1A read:x00 \n"), std::string::npos);
    EXPECT_EQ(o.printed.find("Compare done OK"), std::string::npos);

    // One differing byte is enough to fail.
    expected = stored;
    expected[99] = 1;
    const Outcome one = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_FPGA1", 0); });
    EXPECT_EQ(one.error, "Verifying of written file failed (different content).");
    EXPECT_EQ(Count(one.printed, "Compare error"), 1u);
}

TEST_F(FfsTransferTest, DifferencesAndTheMarkPrintInPositionOrder)
{
    // Differences before and after the mark, around the edges of 4 KiB, and
    // more of them than are printed: the lines follow the positions, and the
    // walk stops at the seventeenth difference.
    std::vector<std::uint8_t> stored = Pattern(3 * 4096 + 5);
    stored[0x22] = 0xFF;
    Store(0, "File_FW_CPU1", stored);
    Open(0);
    updater.SetFirmwareType(kCpu1);
    std::vector<std::uint8_t> expected = stored;
    const std::size_t differing[] = {5, 0x23, 4095, 4096, 4097, 8191, 8192, 3 * 4096 + 4};
    std::string lines;
    for (const std::size_t at : differing) {
        expected[at] = static_cast<std::uint8_t>(stored[at] ^ 0x5A);
        if (at == 0x23) {
            lines += "Firmware_ok_mark on position 0x0022 read:xFF\n"
                     "Firmware_ok_mark shows, that firmware is not yet confirmed to run\n";
        }
        char line[96];
        std::snprintf(line, sizeof line, "Compare error: at position:%zu expected:x%02X read:x%02X \n", at,
                      expected[at], stored[at]);
        lines += line;
    }
    const Outcome o = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_CPU1", 0); });
    EXPECT_EQ(o.error, "Verifying of written file failed (different content).");
    EXPECT_EQ(o.printed, "Verifying...\nRead done OK  \n" + lines);

    // Seventeen differences before the mark: its lines are never reached.
    expected = stored;
    for (std::size_t at = 0; at < 20; ++at) {
        expected[at] = static_cast<std::uint8_t>(stored[at] ^ 1);
    }
    const Outcome capped = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_CPU1", 0); });
    EXPECT_EQ(Count(capped.printed, "Compare error"), 17u);
    EXPECT_EQ(capped.printed.find("Firmware_ok_mark"), std::string::npos);
    EXPECT_NE(capped.printed.find("Compare error: at position:16 "), std::string::npos);
    EXPECT_EQ(capped.printed.find("Compare error: at position:17 "), std::string::npos);
}

TEST_F(FfsTransferTest, TheEepromFileIsWrittenWithItsOwnKey)
{
    emu.StartTrace();
    updater.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
    Open(0);
    updater.SetFirmwareType(15);
    const std::vector<std::uint8_t> data = Pattern(256);
    std::vector<std::uint8_t> expected = data;
    std::vector<std::uint8_t> back(data.size());
    const Outcome o = Capture([&] {
        updater.WriteFileFFS(data, "File_EEPROM1", 0x200);
        updater.ReadFileFFS(back, "File_EEPROM1", 0x200);
        updater.VerifyFileFFS(expected, "File_EEPROM1", 0x200);
        updater.WriteFileFFS(data, "UserSet1", 0);
    });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(back, data);
    const std::vector<std::uint8_t> eeprom = Stored(0, "File_EEPROM1");
    ASSERT_EQ(eeprom.size(), 0x10000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), eeprom.begin() + 0x200));

    std::vector<std::string> keys;
    for (const std::string& line : emu.TraceWith("param=ffs_access_key")) {
        keys.push_back(line.substr(line.find("value=")));
    }
    const std::string eepromKey = "value=" + std::to_string(static_cast<std::int32_t>(0x3C91E5A7)) + " rc=0";
    const std::string runKey = "value=" + std::to_string(static_cast<std::int32_t>(ZV_DEFAULT_ACCESS_KEY)) + " rc=0";
    EXPECT_EQ(keys, (std::vector<std::string>{eepromKey, runKey, runKey, runKey}));
}

TEST_F(FfsTransferTest, ParametersOfEachTransferInOrder)
{
    updater.SetAccessKey(emu.Camera(0).specialKey);
    Open(0);
    emu.StartTrace();
    const std::vector<std::uint8_t> data = Pattern(64);
    std::vector<std::uint8_t> back(16);
    Printed([&] {
        updater.WriteFileFFS(data, "FFS_Partition", 0x1000);
        updater.WriteFileFFS(data, "UserSetFactory", 0x1000);
        updater.ReadFileFFS(back, "UserSetFactory", 0x1010);
    });
    std::vector<std::string> steps;
    for (const std::string& line : emu.Trace()) {
        const auto param = line.find("param=");
        steps.push_back(line.substr(param, line.find(' ', param) - param));
    }
    // The partition file takes no offset.
    EXPECT_EQ(steps, (std::vector<std::string>{"param=ffs_access_key", "param=ffs_file_name", "param=write_file_ffs",
                                               "param=ffs_access_key", "param=ffs_file_name", "param=ffs_file_offset",
                                               "param=write_file_ffs", "param=ffs_access_key", "param=ffs_file_name",
                                               "param=ffs_file_offset", "param=read_file_ffs"}));
    EXPECT_EQ(Stored(0, "FFS_Partition"), data);
    EXPECT_EQ(back, std::vector<std::uint8_t>(data.begin() + 0x10, data.begin() + 0x20));
}

TEST_F(FfsTransferTest, CameraApiFailuresPassOutAndEndTheSteps)
{
    Open(0);
    updater.SetAccessKey(0x1234);  // not the camera's key
    const std::vector<std::uint8_t> data = Pattern(64);
    const Outcome refused = Capture([&] { updater.WriteFileFFS(data, "File_FW_FPGA1", 0); });
    EXPECT_EQ(refused.error, "zvAPI: Application does not have enough privileges (one or more app) "
                             "(zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)");
    EXPECT_EQ(refused.printed, "Erasing/Writing...\n");
    EXPECT_TRUE(Stored(0, "File_FW_FPGA1").empty());

    emu.Hook(0, "fail param=read_file_ffs code=7");
    std::vector<std::uint8_t> expected(64);
    const Outcome failedRead = Capture([&] { updater.VerifyFileFFS(expected, "File_FW_FPGA1", 0); });
    EXPECT_EQ(failedRead.error, "zvAPI: Read block error (zvAPIplus_Camera::GetReadFileFFS)");
    EXPECT_EQ(failedRead.printed, "Verifying...\n");
}

TEST_F(FfsTransferTest, AbandoningNeverHidesTheErrorThatEndedTheOperation)
{
    Open(0);
    Printed([&] { updater.StartTransferProgress(); });
    EXPECT_EQ(GetFapiProgressUpdater(), &updater);
    emu.Hook(-1, "fail call=zvCloseDevice code=3 times=all");
    emu.Hook(-1, "fail param=api_progress_callback code=3 times=all");
    EXPECT_EQ(Thrown([&] { updater.AbandonCameraOperation(); }), "");
    EXPECT_EQ(GetFapiProgressUpdater(), nullptr);
    // The same clean-up on the way to success reports its failure.
    EXPECT_NE(Thrown([&] { updater.FinishCameraOperation(); }), "");
    emu.ClearHooks(-1);
}

TEST(FapiProgress, CameraPercentagesAreMappedOntoThePhase)
{
    static std::vector<int> reported;
    reported.clear();
    TestUpdater updater;
    updater.SetProgressCallback([](int percent, std::uint32_t) { reported.push_back(percent); }, 0);

    FapiProgressCallback(50);  // no operation under way
    SetFapiProgressUpdater(&updater);
    SetFapiProgressPhase(20, 0.4f);
    for (int percent : {0, 50, 99, 100}) {
        FapiProgressCallback(percent);
    }
    SetFapiProgressPhase(60, 0.4f);
    for (int percent : {0, 50, 100}) {
        FapiProgressCallback(percent);
    }
    SetFapiProgressPhase(0, 1.0f);
    FapiProgressCallback(37);
    SetFapiProgressUpdater(nullptr);
    FapiProgressCallback(80);
    EXPECT_EQ(reported, (std::vector<int>{20, 40, 59, 60, 60, 80, 100, 37}));
}

TEST(FfsFileTable, EveryTypeWithAFileFindsItsFirstBinding)
{
    const std::pair<std::int32_t, std::string_view> spots[] = {
        {1, "File_FW_CPU1"},
        {5, "File_FW_CPU5"},
        {11, "File_FW_FPGA2"},
        {12, "File_FW_FPGA3"},
        {15, "File_EEPROM1"},
        {16, "File_EEPROM1"},
        {200, "UserSetFactory"},
        {201, "UserSetDefault"},
        {205, "UserSets"},
        {301, "FileSN"},
        {303, "Partition_Table"},
        {304, "SensInfo"},
        {305, "FwRestorePoints.zip"},
        {1001, "FFS_Partition"},
        {1002, "FullFlashContent"},
    };
    for (const auto& [type, file] : spots) {
        EXPECT_EQ(FindFfsFileName(type), file) << type;
    }

    // Of the firmware-type table exactly these types have no file.
    std::set<std::string_view> withoutFile;
    for (const FwSelItem& item : kFwSelItems) {
        if (!FindFfsFileName(item.id)) {
            withoutFile.insert(item.name);
        }
    }
    EXPECT_EQ(withoutFile, (std::set<std::string_view>{"MCU1", "XMLMAN", "MMDESC", "FLAG_U3V", "FLAG_U2F", "REST_INFO",
                                                       "SID1", "SID2"}));
    EXPECT_FALSE(FindFfsFileName(0));
}

}  // namespace
