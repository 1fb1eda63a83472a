// The firmware operation log inside the camera: lines appended in order,
// digests of the programmed payload, and an archive that is never replaced
// when it cannot be read.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "fapi_test_support.h"
#include "fw_operation_log.h"
#include "scramble_for_tests.h"
#include "temp_dir.h"
#include "zip_archive.h"
#include "zvapi32.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

using zvtest::TempDir;

namespace {

using fapi_test::Capture;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using zvtest::EmuDir;
using Bytes = std::vector<std::uint8_t>;

const std::string kLogFile = "FwOperationLog.zip";
const std::string kNotUpdated = "\nFailed to update firmware operation log in camera.\n";

Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// The first ten digits of the MD5 digest, from an independent implementation.
std::string ShortDigest(const Bytes& bytes)
{
    unsigned char digest[MD5_DIGEST_LENGTH];
    EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_md5(), nullptr);
    char text[2 * MD5_DIGEST_LENGTH + 1] = {};
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    }
    return std::string(text, 10);
}

Bytes Archive(const std::vector<std::pair<std::string, Bytes>>& entries)
{
    ZipArchivePtr zip = ZipStreamOpen(nullptr, 0, 6, 'w');
    for (const auto& [name, data] : entries) {
        EXPECT_EQ(ZipEntryOpen(zip.get(), name.c_str()), 0);
        EXPECT_EQ(ZipEntryWrite(zip.get(), data.data(), data.size()), 0);
        EXPECT_EQ(ZipEntryClose(zip.get()), 0);
    }
    Bytes archive;
    EXPECT_GT(ZipStreamCopy(zip.get(), archive), 0);
    return archive;
}

Bytes Random(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

class OperationLogTest : public ::testing::Test {
protected:
    OperationLogTest()
    {
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
        emu.AddCamera("JR574XX-D0-BSI-1", [](zvemu::CameraRecord& r) {
            r.serial = "ABCDE21070AV";
            r.locPath = "PCIROOT(0)#USB(7)";
        });
        updater.SelectCameraOnBus(0);
    }

    std::optional<Bytes> StoredArchive(int index = 0)
    {
        return emu.State().ReadFfsFile(emu.CameraId(static_cast<unsigned>(index)), kLogFile);
    }
    void StoreArchive(const Bytes& bytes, int index = 0)
    {
        emu.State().WriteFfsFile(emu.CameraId(static_cast<unsigned>(index)), kLogFile, bytes);
    }

    // The entry of the camera's log archive, read with the zip layer.
    std::string Entry(int index = 0)
    {
        const std::optional<Bytes> archive = StoredArchive(index);
        if (!archive) {
            return "<no log>";
        }
        ZipArchivePtr zip = ZipStreamOpen(archive->data(), archive->size(), 6, 'r');
        if (!zip || ZipEntriesTotal(zip.get()) != 1 || ZipEntryOpen(zip.get(), "FwOperationLog.txt") != 0) {
            return "<not a log archive>";
        }
        Bytes content;
        if (ZipEntryRead(zip.get(), content) < 0) {
            return "<unreadable>";
        }
        return std::string(content.begin(), content.end());
    }

    // The messages of the log, after checking the form of every line: a
    // time stamp in brackets, one "\n" between lines, one zero byte at the end.
    std::vector<std::string> Messages(int index = 0)
    {
        const std::string entry = Entry(index);
        EXPECT_FALSE(entry.empty());
        if (entry.empty()) {
            return {};
        }
        EXPECT_EQ(entry.back(), '\0');
        EXPECT_EQ(entry.find('\r'), std::string::npos);
        const std::string text = entry.substr(0, entry.size() - 1);
        EXPECT_EQ(text.find('\0'), std::string::npos);
        const std::regex line(R"(\[\d{4}-\d{2}-\d{2} \d{6}\] (.*))");
        std::vector<std::string> messages;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = text.find('\n', start);
            const std::string one = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            std::smatch m;
            EXPECT_TRUE(std::regex_match(one, m, line)) << one;
            messages.push_back(m.size() > 1 ? m[1].str() : one);
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        return messages;
    }

    // What a programming run writes: the dispatcher's lines around the
    // updater's own.
    void ProgrammingRun(FW_Updater& u, std::int32_t type)
    {
        FW_Updater::LogOperationMessage(u, "Firmware Updater V2.64 started");
        u.LogFirmwareOperation(type, "started");
        u.LogFirmwareOperation(type, "finished");
        FW_Updater::LogOperationMessage(u, "Firmware Updater V2.64 finished");
    }

    EmuDir emu;
    TempDir files;
    TestUpdater updater;
};

TEST_F(OperationLogTest, TwoProgrammingRunsLeaveTheirLinesInOrder)
{
    const Bytes first = Random(5000, 1);
    const Bytes second = Random(7000, 2);
    updater.SetInputFile(files.Write("JV966_a.bin", testing_support::Scramble(first)));
    EXPECT_EQ(Printed([&] { ProgrammingRun(updater, 1); }), "");

    TestUpdater next;
    next.SelectCameraOnBus(0);
    next.ClearScrambled();
    next.SetInputFile(files.Write("JV966_b.bin", second));
    EXPECT_EQ(Printed([&] { ProgrammingRun(next, 10); }), "");

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "Firmware Updater V2.64 started",
                              "FW prog of CPU1 [" + ShortDigest(first) + "] started",
                              "FW prog of CPU1 [" + ShortDigest(first) + "] finished",
                              "Firmware Updater V2.64 finished",
                              "Firmware Updater V2.64 started",
                              "FW prog of FPGA1 [" + ShortDigest(second) + "] started",
                              "FW prog of FPGA1 [" + ShortDigest(second) + "] finished",
                              "Firmware Updater V2.64 finished",
                          }));
    EXPECT_EQ(Entry(1), "<no log>");
}

TEST_F(OperationLogTest, FirmwareLinesCarryTheDigestOfTheWholePayload)
{
    const Bytes payload = Random(3000, 5);
    const std::string scrambled = files.Write("scrambled.bin", testing_support::Scramble(payload));
    Bytes badCheckWord = testing_support::Scramble(payload);
    badCheckWord.back() ^= 1;
    const std::string damaged = files.Write("damaged.bin", badCheckWord);
    const std::string plain = files.Write("plain.bin", payload);
    struct Case {
        const char* what;
        std::int32_t type;
        std::string file;
        bool isPlain;
        std::string message;
        std::string printed;
    };
    const Case cases[] = {
        {"scrambled image", 1, scrambled, false, "FW prog of CPU1 [" + ShortDigest(payload) + "] started", ""},
        {"plain file", 2, plain, true, "FW prog of CPU2 [" + ShortDigest(payload) + "] started", ""},
        {"serial number: no digest", 301, plain, true, "FW prog of SN started", ""},
        {"sensor serial: no digest", 304, "missing.bin", true, "FW prog of SSN started", ""},
        {"type without file", 201, plain, true, "FW prog of USETD started", ""},
        {"unknown type", 999, plain, true, "FW prog of  started", ""},
        {"file missing", 1, "missing.bin", false, "FW prog of CPU1 started",
         "LogFirmwareOperation: Error loading file\n"},
        {"check word wrong", 1, damaged, false, "FW prog of CPU1 started",
         "LogFirmwareOperation: Error file checksum\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestUpdater u;
        u.SelectCameraOnBus(1);
        u.SetInputFile(c.file);
        u.SetFwStart(0x100);  // the digest covers the whole payload anyway
        if (c.isPlain) {
            u.ClearScrambled();
        }
        EXPECT_EQ(Printed([&] { u.LogFirmwareOperation(c.type, "started"); }), c.printed);
        const std::vector<std::string> messages = Messages(1);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), c.message);
    }
}

// An archive that cannot be continued (torn, damaged, not ours) must not
// stop all logging: its bytes are kept in a file on the computer named after
// the camera, never over an earlier one, and the camera gets a new log.
TEST_F(OperationLogTest, ArchivesThatCannotBeReadAreKeptAndANewLogIsStarted)
{
    const Bytes valid = Archive({{"FwOperationLog.txt", ToBytes(std::string_view("[2025-03-07 090503] old\0", 24))}});
    Bytes truncated(valid.begin(), valid.end() - 10);
    Bytes damagedData = valid;
    damagedData[30 + 18 + 2] ^= 0x55;  // inside the deflated text
    Bytes emptyArchive(22, 0);
    emptyArchive[0] = 0x50, emptyArchive[1] = 0x4B, emptyArchive[2] = 0x05, emptyArchive[3] = 0x06;
    const std::string open = "FW_Updater::UnpackFwLog ERROR: Failed to open firmware logs archive file.";
    struct Case {
        const char* what;
        Bytes stored;
        std::string printed;
    };
    const Case cases[] = {
        {"not a zip archive", ToBytes("this is no archive at all"), open},
        {"cut short", truncated, open},
        {"no entry", emptyArchive, "FW_Updater::UnpackFwLog ERROR: Firmware logs archive file is empty."},
        {"entry of another name", Archive({{"FwOperationLog.old", ToBytes("[x] old")}}),
         "FW_Updater::UnpackFwLog ERROR: Failed to load log text file from archive."},
        {"other files beside the log", Archive({{"FwOperationLog.txt", ToBytes("a")}, {"notes.txt", ToBytes("b")}}),
         "FW_Updater::UnpackFwLog ERROR: Firmware logs archive file holds other files."},
        {"damaged data", damagedData, "FW_Updater::UnpackFwLog ERROR: Failed to extract log text file from archive."},
    };
    const zvtest::TempDir dir;
    eeprom_test::WorkingDirectory work(dir.path());
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoreArchive(c.stored);
        const std::string printed =
            Printed([&] { FW_Updater::LogOperationMessage(updater, "Firmware Updater V2.64 started"); });
        const std::string kept = std::string("FwOperationLog_damaged_JV966JK-TD-G8-V7T9-JND_ZVEMU21000A0") +
                                 (++number == 1 ? "" : "_" + std::to_string(number)) + ".zip";
        EXPECT_EQ(printed, c.printed + "\nThe operation log in the camera cannot be read: its bytes are kept in " +
                               kept + ", a new log is started.\n");
        EXPECT_EQ(zvtest::ReadFile(kept), c.stored);
        EXPECT_EQ(Messages(), (std::vector<std::string>{"Firmware Updater V2.64 started"}));
    }
}

TEST_F(OperationLogTest, AnEntryNameInOtherCaseIsContinued)
{
    StoreArchive(Archive({{"FWOPERATIONLOG.TXT", ToBytes(std::string_view("[2025-03-07 090503] old\0", 24))}}));
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "new"); }), "");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"old", "new"}));
}

TEST_F(OperationLogTest, ArchivesOfZipToolsAreContinued)
{
    const char* python = ZV_PYTHON3;
    const char* zipTool = ZV_ZIP;
    if (python[0] == '\0' || zipTool[0] == '\0') {
        GTEST_SKIP() << "python3 or zip not found";
    }
    // Written by hand: lines without the zero byte, one with a line end.
    const std::string text = "[2025-03-07 090503] one\n[2025-03-07 090504] two\n";
    const std::string script = files.Write("write.py", R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('FwOperationLog.txt', open(sys.argv[2], 'rb').read())
)");
    const std::string textFile = files.Write("FwOperationLog.txt", text);
    const std::string byPython = files.File("python.zip");
    ASSERT_EQ(std::system((std::string(python) + " '" + script + "' '" + byPython + "' '" + textFile + "'").c_str()),
              0);
    const std::string byZip = files.File("zip.zip");
    ASSERT_EQ(
        std::system(("cd '" + files.File("") + "' && '" + zipTool + "' -q -0 -X zip.zip FwOperationLog.txt").c_str()),
        0);
    for (const std::string& archive : {byPython, byZip}) {
        SCOPED_TRACE(archive);
        StoreArchive(TempDir::Read(archive));
        EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "three"); }), "");
        EXPECT_EQ(Messages(), (std::vector<std::string>{"one", "two", "three"}));
    }
}

TEST_F(OperationLogTest, ASizeThatCannotBeTrustedStopsTheLine)
{
    const Bytes old = Archive({{"FwOperationLog.txt", ToBytes(std::string_view("[2025-03-07 090503] old\0", 24))}});
    StoreArchive(old);
    emu.Hook(0, "fail param=ffs_file_size code=7");
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "new"); }),
              "zvAPIplus-Error 7:Read block error (zvAPIplus_Camera::GetFFSFileSize)\n");
    EXPECT_EQ(StoredArchive(), old);
    emu.ClearHooks(0);

    // A size no flash holds (here the camera's file has 4 GiB - 1 bytes, as
    // a sparse file) is not made into a buffer.
    const std::filesystem::path stored = emu.Root() / emu.CameraId(0) / "ffs" / zvemu::EscapeFfsName(kLogFile);
    std::filesystem::resize_file(stored, 0xFFFFFFFFull);
    emu.StartTrace();
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "new"); }),
              "FW_Updater::AppendFwOperationLog ERROR: Firmware logs archive file size 4294967295 is beyond the flash "
              "size." +
                  kNotUpdated);
    EXPECT_TRUE(emu.TraceWith("read_file_ffs").empty());
    EXPECT_TRUE(emu.TraceWith("write_file_ffs").empty());
    EXPECT_EQ(std::filesystem::file_size(stored), 0xFFFFFFFFull);
}

TEST_F(OperationLogTest, CameraFailuresArePrintedAndNeverThrown)
{
    // No selection at all.
    TestUpdater unselected;
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(unselected, "x"); }),
              "Unable to open camera for firmware operation logging.\n");

    // A camera that is not there.
    TestUpdater absent;
    absent.SelectCameraOnBus(5);
    EXPECT_EQ(Printed([&] { absent.LogFirmwareOperation(201, "started"); }),
              "zvAPIplus-Error 56:No Devices Found (zvAPIplus_Camera::OpenByID)\n");

    // A write that fails, and a close that fails after it: the write's error
    // is the one reported, and the camera is closed.
    emu.Hook(0, "fail param=write_file_ffs code=8");
    emu.Hook(-1, "fail call=zvCloseDevice code=3");
    emu.StartTrace();
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "x"); }),
              "zvAPIplus-Error 8:Write block error (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)\n");
    // The failed close is tried again when the log's camera object goes.
    const auto closes = emu.TraceWith("zvCloseDevice");
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_NE(closes[0].find("rc=3"), std::string::npos);
    EXPECT_NE(closes[1].find("rc=0"), std::string::npos);
    EXPECT_FALSE(StoredArchive());
}

TEST_F(OperationLogTest, SensorInitSettingIsPutBackAsItWas)
{
    ASSERT_EQ(zvSetParamInt(0, "cam_sensor_init_disabled", 0), 0);
    emu.StartTrace();
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "one"); }), "");
    const auto settings = emu.TraceWith("zvSetParamInt");
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_NE(settings[0].find("param=cam_sensor_init_disabled value=1"), std::string::npos);
    // Cleared through the closed camera object: the null handle.
    EXPECT_NE(settings[1].find("handle=0 param=cam_sensor_init_disabled value=0"), std::string::npos);

    // Was it on, it stays on.
    ASSERT_EQ(zvSetParamInt(0, "cam_sensor_init_disabled", 1), 0);
    emu.ClearTrace();
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "two"); }), "");
    EXPECT_EQ(emu.TraceWith("zvSetParamInt").size(), 1u);

    // A failure to put it back is the last thing that can go wrong; the line
    // is written and the failure printed.
    ASSERT_EQ(zvSetParamInt(0, "cam_sensor_init_disabled", 0), 0);
    emu.Hook(-1, "fail param=cam_sensor_init_disabled code=3 nth=3");
    EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(updater, "three"); }),
              "Failed to update firmware operation log in camera.\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(OperationLogTest, TheLogFollowsTheUpdatersSelection)
{
    struct Case {
        const char* what;
        std::function<void(TestUpdater&)> select;
        int camera;
    };
    const Case cases[] = {
        {"location", [](TestUpdater& u) { u.SelectCameraByLocation("PCIROOT(0)#USB(7)"); }, 1},
        {"serial", [](TestUpdater& u) { u.SelectCameraBySN("ABCDE21070AV"); }, 1},
        {"index before a later text",
         [](TestUpdater& u) {
             u.SelectCameraOnBus(0);
             u.SelectCameraBySN("ABCDE21070AV");
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestUpdater u;
        c.select(u);
        EXPECT_EQ(Printed([&] { FW_Updater::LogOperationMessage(u, c.what); }), "");
        EXPECT_EQ(Messages(c.camera).back(), c.what);
    }
}

TEST_F(OperationLogTest, LongMessagesAreCutTo1023Characters)
{
    Printed([&] { FW_Updater::LogOperationMessage(updater, std::string(2000, 'm')); });
    EXPECT_EQ(Messages(), std::vector<std::string>{std::string(1023, 'm')});
}

TEST(FwLogArchive, LayoutOfThePackedLog)
{
    const std::string text = "[2025-03-07 090503] Firmware Updater V2.64 started";
    const std::optional<Bytes> archive = PackFwLog(text);
    ASSERT_TRUE(archive);
    const Bytes& a = *archive;
    const auto u16 = [&](std::size_t at) { return a[at] | a[at + 1] << 8; };
    const auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16); };
    ASSERT_GT(a.size(), 30u + 18 + 46 + 18 + 22);
    // Local header at 0.
    EXPECT_EQ(u32(0), 0x04034B50u);
    EXPECT_EQ(u16(4), 20);
    EXPECT_EQ(u16(6), 0);
    EXPECT_EQ(u16(8), 8);
    EXPECT_EQ(u32(22), text.size() + 1);
    EXPECT_EQ(u16(26), 18);
    EXPECT_EQ(u16(28), 0);
    EXPECT_EQ(std::string(a.begin() + 30, a.begin() + 48), "FwOperationLog.txt");
    // End record, and the one central-directory record it points to.
    const std::size_t end = a.size() - 22;
    EXPECT_EQ(u32(end), 0x06054B50u);
    EXPECT_EQ(u16(end + 8), 1);
    EXPECT_EQ(u16(end + 10), 1);
    EXPECT_EQ(u32(end + 12), 46u + 18);
    EXPECT_EQ(u16(end + 20), 0);
    const std::size_t dir = u32(end + 16);
    EXPECT_EQ(u32(dir), 0x02014B50u);
    EXPECT_EQ(u16(dir + 8), 0);   // flags
    EXPECT_EQ(u16(dir + 10), 8);  // deflated
    EXPECT_EQ(u32(dir + 24), text.size() + 1);
    EXPECT_EQ(u16(dir + 30), 0);   // extra field
    EXPECT_EQ(u16(dir + 32), 0);   // comment
    EXPECT_EQ(u16(dir + 36), 0);   // internal attributes
    EXPECT_EQ(u32(dir + 38), 0u);  // external attributes
    EXPECT_EQ(u32(dir + 42), 0u);  // local header offset

    const std::optional<std::string> back = UnpackFwLog(*archive);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, text);
}

TEST(FwLogTimestamp, LocalTimeWithTheHourMinuteAndSecondRunTogether)
{
    std::tm at{};
    at.tm_year = 2025 - 1900;
    at.tm_mon = 2;
    at.tm_mday = 7;
    at.tm_hour = 9;
    at.tm_min = 5;
    at.tm_sec = 3;
    at.tm_isdst = -1;
    EXPECT_EQ(FormatFwLogTimestamp(std::mktime(&at)), "2025-03-07 090503");
    EXPECT_TRUE(std::regex_match(GetFwLogTimestamp(), std::regex(R"(\d{4}-\d{2}-\d{2} \d{6})")));
}

}  // namespace
