// The updater's operation log lines, handed to a log it was given: what goes
// in them, which camera they name, and that an updater without a log writes
// none.

#include "fw_log_sink.h"
#include "fw_sel_item.h"
#include "fw_updater.h"
#include "scramble_for_tests.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct LoggedLine {
    FwLogCameraSelection selection;
    std::string message;
};

class RecordingLog : public FwOperationLog {
public:
    void AddLine(const FwLogCameraSelection& selection, std::string_view message) noexcept override
    {
        lines.push_back({selection, std::string(message)});
    }
    std::vector<LoggedLine> lines;
};

class SelectedUpdater : public FW_Updater {
public:
    void Select(std::int32_t index, std::string serial, std::string path, std::string location)
    {
        cameraIndex = index;
        cameraSN = std::move(serial);
        cameraPath = std::move(path);
        cameraLocation = std::move(location);
    }
};

std::string Printed(const std::function<void()>& action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

// The first ten digits of the MD5 digest, from an independent implementation.
std::string ShortDigest(const std::vector<std::uint8_t>& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        text += pair;
    }
    return text.substr(0, 10);
}

class FwUpdaterLogTest : public ::testing::Test {
protected:
    FwUpdaterLogTest()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() / (std::string("zv_core_log_") + info->name());
        std::filesystem::create_directories(dir);
        updater.SetOperationLog(log);
    }
    ~FwUpdaterLogTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // A scrambled firmware file of the payload; answers its name.
    std::string FirmwareFile(const std::vector<std::uint8_t>& payload)
    {
        const std::vector<std::uint8_t> file = testing_support::Scramble(payload);
        const std::string name = (dir / "fw.bin").string();
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        return name;
    }

    std::filesystem::path dir;
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    SelectedUpdater updater;
};

}  // namespace

TEST_F(FwUpdaterLogTest, LinesGoToTheGivenLogWithTheSelectedCamera)
{
    updater.Select(-1, "SN42", "", "PCIROOT(0)#USB(7)");
    EXPECT_EQ(Printed([&] {
                  FW_Updater::LogOperationMessage(updater, "Firmware Updater V2.64 started");
                  updater.LogFirmwareOperation(FW_TYPE_FLAG_U3V, "started");
                  FW_Updater::LogOperationMessage(updater, std::string(2000, 'm'));
              }),
              "");
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_EQ(log->lines[0].message, "Firmware Updater V2.64 started");
    // A type that takes no file has no digest to show.
    EXPECT_EQ(log->lines[1].message, "FW prog of FLAG_U3V started");
    // A line is cut to what the log formats.
    EXPECT_EQ(log->lines[2].message, std::string(kMaxFwLogMessageLength, 'm'));
    for (const LoggedLine& line : log->lines) {
        EXPECT_EQ(line.selection.index, -1);
        EXPECT_EQ(line.selection.serial, "SN42");
        EXPECT_EQ(line.selection.path, "");
        EXPECT_EQ(line.selection.location, "PCIROOT(0)#USB(7)");
    }
}

TEST_F(FwUpdaterLogTest, AFirmwareLineCarriesTheDigestOfTheWholePayloadComputedOnce)
{
    std::vector<std::uint8_t> payload(3000);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    updater.SetInputFile(FirmwareFile(payload));
    // The programmed window does not narrow what the digest covers.
    updater.SetFwStart(0x100);
    updater.SetFwStop(0x200);
    updater.LogFirmwareOperation(FW_TYPE_CPU1, "started");
    std::filesystem::remove(dir / "fw.bin");  // loaded once: the second line needs no file
    updater.LogFirmwareOperation(FW_TYPE_CPU1, "finished");
    const std::string digest = ShortDigest(payload);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[0].message, "FW prog of CPU1 [" + digest + "] started");
    EXPECT_EQ(log->lines[1].message, "FW prog of CPU1 [" + digest + "] finished");
}

TEST_F(FwUpdaterLogTest, APayloadWithoutDigestStillGetsItsLine)
{
    struct Case {
        const char* what;
        std::int32_t type;
        bool goodFile;
        const char* printed;
        const char* line;
    };
    const Case cases[] = {
        {"no file", FW_TYPE_CPU1, false, "LogFirmwareOperation: Error loading file\n", "FW prog of CPU1 started"},
        {"serial number type", FW_TYPE_SN, true, "", "FW prog of SN started"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->lines.clear();
        if (c.goodFile) {
            updater.SetInputFile(FirmwareFile(std::vector<std::uint8_t>(64, 0x5A)));
        } else {
            updater.SetInputFile((dir / "missing.bin").string());
        }
        EXPECT_EQ(Printed([&] { updater.LogFirmwareOperation(c.type, "started"); }), c.printed);
        ASSERT_EQ(log->lines.size(), 1u);
        EXPECT_EQ(log->lines[0].message, c.line);
    }
}

TEST_F(FwUpdaterLogTest, AnUpdaterGivenNoLogWritesAndPrintsNothing)
{
    SelectedUpdater bare;
    bare.Select(0, "", "", "");
    // Not even the digest of a file that cannot be loaded is looked for.
    bare.SetInputFile((dir / "missing.bin").string());
    EXPECT_EQ(Printed([&] {
                  FW_Updater::LogOperationMessage(bare, "Firmware Updater V2.64 started");
                  bare.LogFirmwareOperation(FW_TYPE_CPU1, "started");
              }),
              "");
    EXPECT_TRUE(log->lines.empty());
}
