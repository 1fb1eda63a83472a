// prog, verify, dump and upgrade through the camera API on emulated cameras:
// the flow of one operation with its progress, the firmware window, the
// input forms, the hand-over to the calibration work, and the clean-up on
// every way out.

#include "emu_dir.h"
#include "fapi_progress.h"
#include "fapi_test_support.h"
#include "fw_operation_log.h"
#include "perform_operation.h"
#include "temp_dir.h"
#include "zvapi32.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/md5.h>

using zvtest::TempDir;

namespace {

using fapi_test::Capture;
using fapi_test::Count;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using fapi_test::Thrown;
using zvtest::EmuDir;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kCpu1 = 1;
constexpr std::int32_t kMcu1 = 6;
constexpr std::int32_t kFpga1 = 10;
constexpr std::int32_t kEeprom1 = 15;
constexpr std::int32_t kEeprom1Ver = 16;
constexpr std::int32_t kSn = 301;
constexpr std::int32_t kSsn = 304;

constexpr unsigned kUnknownModel = 0;  // a model the calibration definitions do not know
constexpr unsigned kJV966 = 1;         // known; its CPU firmware is CPU1

Bytes Pattern(std::size_t size, std::uint8_t seed = 3)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 9));
    }
    return bytes;
}

// The updater with the calibration work it hands over to replaced by a record
// of what it was asked.
class Updater : public TestUpdater {
public:
    std::vector<std::string> handedOver;
    Bytes convertedDump;

protected:
    void VerifyEepromVersionsOffline() override { handedOver.push_back("verify versions"); }
    void UpdateEepromVersionInCamera() override { handedOver.push_back("update versions"); }
    void UpdateEepromData(const std::string& current, const std::string& next) override
    {
        handedOver.push_back("update data " + current + " to " + next);
    }
    void ConvertDumpedEeprom(std::span<const std::uint8_t> dump) override
    {
        handedOver.push_back("convert dump");
        convertedDump.assign(dump.begin(), dump.end());
    }
    std::string ReadEepromDataVersion() override
    {
        handedOver.push_back("eeprom version");
        return "02.01";
    }
};

class FapiOperationsTest : public ::testing::Test {
protected:
    FapiOperationsTest()
    {
        emu.AddCamera("KV410XX-B");
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) { r.versions["version_mcu1"] = "02.50"; });
        emu.AddCamera("JR574XX-D0-BSI-1");
    }

    // An updater on the camera, set up as the dispatcher sets it up for a
    // plain input file (or none).
    void Prepare(Updater& u, unsigned cameraIndex, std::int32_t type, const std::string& file = {})
    {
        u.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
        u.SelectCameraOnBus(static_cast<int>(cameraIndex));
        u.SetFirmwareType(type);
        if (!file.empty()) {
            u.SetInputFile(file);
        }
        u.ClearScrambled();
    }

    Outcome Run(Updater& u, FW_Updater_FAPI::FfsOperation code)
    {
        return Capture([&] { u.OperationFFS(code); });
    }

    void Store(unsigned index, const std::string& file, const Bytes& bytes)
    {
        emu.State().WriteFfsFile(emu.CameraId(index), file, bytes);
    }

    std::optional<Bytes> Stored(unsigned index, const std::string& file)
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), file);
    }

    // The camera is closed and the camera API's progress no longer reaches
    // the updater.
    void ExpectCleanedUp(Updater& u)
    {
        EXPECT_EQ(u.Camera().GetHandle(), 0u);
        EXPECT_EQ(GetFapiProgressUpdater(), nullptr);
    }

    EmuDir emu;
    TempDir dir;
};

TEST_F(FapiOperationsTest, ProgramVerifyAndDumpAFileWithProgress)
{
    const Bytes image = Pattern(64 * 1024);
    const std::string file = dir.Write("fpga.bin", image);
    const std::string identification =
        "Camera SN:ZVEMU21000A0, Model:KV410XX-B, FPGA1:V01.00\nDevice ID:ZVEMU-DEV-0000\n";
    emu.StartTrace();

    Updater prog;
    Prepare(prog, kUnknownModel, kFpga1, file);
    prog.SetProgressCallback(&PrintProgress, 0);
    ResetProgressPrinter();
    const Outcome programmed = Run(prog, FW_Updater_FAPI::FfsOperation::kProgram);
    EXPECT_EQ(programmed.error, "");
    // The camera reports each transfer in quarters: writing maps onto
    // 20-60 %, reading back onto 60-100 %.
    EXPECT_EQ(programmed.printed, identification +
                                      "HandleModelSpecificOperation_BeforeProgramming: No operation required.\n"
                                      "Writing FW\n"
                                      "Erasing/Writing...\n20%\r30%\r40%\r50%\r60%\rErase/Write done OK  \n"
                                      "Verifying...\n70%\r80%\r90%\r100%\rRead done OK  \nCompare done OK  \n"
                                      "HandleModelSpecificOperation_AfterProgramming: No operation required.\n"
                                      "Operation done OK  \n");
    EXPECT_EQ(Stored(kUnknownModel, "File_FW_FPGA1"), image);
    ExpectCleanedUp(prog);
    // Registered before the transfers, unregistered at the end.
    EXPECT_EQ(emu.TraceWith("api_progress_callback").size(), 2u);
    EXPECT_EQ(emu.TraceWith("zvCloseDevice").size(), 1u);

    Updater verify;
    Prepare(verify, kUnknownModel, kFpga1, file);
    verify.SetProgressCallback(&PrintProgress, 0);
    const Outcome verified = Run(verify, FW_Updater_FAPI::FfsOperation::kVerify);
    EXPECT_EQ(verified.error, "");
    EXPECT_EQ(verified.printed, identification +
                                    "Verifying...\n0%\r25%\r50%\r75%\r100%\rRead done OK  \nCompare done OK  \n"
                                    "Operation done OK  \n");
    ExpectCleanedUp(verify);

    Updater dump;
    Prepare(dump, kUnknownModel, kFpga1, dir.File("dumped.bin"));
    const Outcome dumped = Run(dump, FW_Updater_FAPI::FfsOperation::kDump);
    EXPECT_EQ(dumped.error, "");
    EXPECT_EQ(dumped.printed, identification + "Reading...\nRead done OK\nOperation done OK  \n");
    EXPECT_EQ(TempDir::Read(dir.File("dumped.bin")), image);
    ExpectCleanedUp(dump);
    EXPECT_TRUE(dump.handedOver.empty());
}

TEST_F(FapiOperationsTest, TheWindowOfThePayloadIsWhatIsWrittenAndCompared)
{
    const Bytes payload = Pattern(0x10000);
    const std::string file = dir.Write("fpga.bin", payload);
    const Bytes old(0x10000, 0xEE);
    const auto concat = [](std::initializer_list<std::pair<const Bytes*, std::pair<std::size_t, std::size_t>>> parts) {
        Bytes out;
        for (const auto& [bytes, range] : parts) {
            out.insert(out.end(), bytes->begin() + static_cast<std::ptrdiff_t>(range.first),
                       bytes->begin() + static_cast<std::ptrdiff_t>(range.second));
        }
        return out;
    };
    struct Case {
        std::uint32_t start;
        std::uint32_t stop;
        std::string error;
        Bytes inCamera;
    };
    const Case cases[] = {
        {0, 0, "", payload},
        {0, 0x10000, "", payload},
        // Written from the start, the file is replaced by the window.
        {0, 0x8000, "", concat({{&payload, {0, 0x8000}}})},
        // A later start patches the file from that offset.
        {0x100, 0x8000, "", concat({{&old, {0, 0x100}}, {&payload, {0x100, 0x8000}}, {&old, {0x8000, 0x10000}}})},
        {0xFFFF, 0, "", concat({{&old, {0, 0xFFFF}}, {&payload, {0xFFFF, 0x10000}}})},
        {0x10000, 0, "fw_start is out of file range", old},
        {0x8000, 0x8000, "fw_start is out of file range", old},
        {0x9000, 0x8000, "fw_start is out of file range", old},
        // A window end past the payload means to its end.
        {0, 0x10001, "", payload},
        {0x100, 0xFFFFFFFF, "", concat({{&old, {0, 0x100}}, {&payload, {0x100, 0x10000}}})},
        {0x10000, 0xFFFFFFFF, "fw_start is out of file range", old},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.stop));
        Store(kUnknownModel, "File_FW_FPGA1", old);
        Updater u;
        Prepare(u, kUnknownModel, kFpga1, file);
        u.SetFwStart(c.start);
        u.SetFwStop(c.stop);
        const Outcome o = Capture([&] { u.OperationFFS(FW_Updater_FAPI::FfsOperation::kProgram); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(Stored(kUnknownModel, "File_FW_FPGA1"), c.inCamera);
        ExpectCleanedUp(u);
        if (!c.error.empty()) {
            continue;
        }
        // Verifying the same window succeeds; a changed byte inside it fails.
        Updater v;
        Prepare(v, kUnknownModel, kFpga1, file);
        v.SetFwStart(c.start);
        v.SetFwStop(c.stop);
        EXPECT_EQ(Capture([&] { v.OperationFFS(FW_Updater_FAPI::FfsOperation::kVerify); }).error, "");
        Bytes changed = *Stored(kUnknownModel, "File_FW_FPGA1");
        changed[c.start] ^= 0x01;
        Store(kUnknownModel, "File_FW_FPGA1", changed);
        EXPECT_EQ(Capture([&] { v.OperationFFS(FW_Updater_FAPI::FfsOperation::kVerify); }).error,
                  "Verifying of written file failed (different content).");
    }
}

TEST_F(FapiOperationsTest, TheFirmwareOkMarkIsFoundInAWindowThatCoversIt)
{
    // The camera marks its new CPU image at byte 0x22, whatever window wrote it.
    const Bytes image = Pattern(0x1000);
    const std::string file = dir.Write("cpu.bin", image);
    for (const std::uint32_t start : {0x0u, 0x10u, 0x22u, 0x23u, 0x100u}) {
        SCOPED_TRACE(start);
        Store(kUnknownModel, "File_FW_CPU1", Bytes(0x1000, 0x00));
        Updater u;
        Prepare(u, kUnknownModel, kCpu1, file);
        u.SetFwStart(start);
        const Outcome o = Capture([&] { u.OperationFFS(FW_Updater_FAPI::FfsOperation::kProgram); });
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(Count(o.printed, "Firmware_ok_mark on position 0x0022 read:xFF\n"), start <= 0x22 ? 1u : 0u);
    }
}

TEST_F(FapiOperationsTest, AnEmptyPayloadWritesNothing)
{
    Store(kUnknownModel, "FileSN", {1, 2, 3, 4});
    Updater u;
    Prepare(u, kUnknownModel, kSn, "-");
    u.SetNameIsHex(true);
    const Outcome o = Run(u, FW_Updater_FAPI::FfsOperation::kProgram);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(Count(o.printed, "Writing FW"), 0u);
    EXPECT_EQ(Count(o.printed, "Verifying"), 0u);
    EXPECT_EQ(Count(o.printed, "HandleModelSpecificOperation_AfterProgramming"), 0u);
    EXPECT_TRUE(o.printed.ends_with("Operation done OK  \n"));
    EXPECT_EQ(Stored(kUnknownModel, "FileSN"), (Bytes{1, 2, 3, 4}));
}

TEST_F(FapiOperationsTest, ValuesGivenInPlaceOfAFileGoToTheirFiles)
{
    struct Case {
        std::int32_t type;
        std::string text;
        bool hex;  // else a serial value
        std::string ffsFile;
        Bytes written;
    };
    const Case cases[] = {
        // Hex data is the number written most significant byte first.
        {kSn, "0A0B0C", true, "FileSN", {0x0C, 0x0B, 0x0A}},
        {kSn, "12345678", false, "FileSN", {0x78, 0x56, 0x34, 0x12}},
        // The sensor's serial file takes the text itself.
        {kSsn, "SENSOR-0042", false, "SensInfo", Bytes{'S', 'E', 'N', 'S', 'O', 'R', '-', '0', '0', '4', '2'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Updater u;
        Prepare(u, kUnknownModel, c.type, c.text);
        if (c.hex) {
            u.SetNameIsHex(true);
        } else {
            u.SetNameIsSnSne(true);
        }
        EXPECT_EQ(Run(u, FW_Updater_FAPI::FfsOperation::kProgram).error, "");
        EXPECT_EQ(Stored(kUnknownModel, c.ffsFile), c.written);
        EXPECT_EQ(Run(u, FW_Updater_FAPI::FfsOperation::kVerify).error, "");
    }
}

TEST_F(FapiOperationsTest, EveryFailureClosesTheCameraAndKeepsItsFirstReason)
{
    const std::string good = dir.Write("good.bin", Pattern(512));
    const std::string missing = dir.File("missing.bin");
    struct Case {
        const char* what;
        std::function<void(Updater&)> setUp;
        FW_Updater_FAPI::FfsOperation code;
        std::string error;
        bool opened;  // the camera was opened before the failure
    };
    // A code that names no operation is refused all the same.
    const auto kUnknownOperation = static_cast<FW_Updater_FAPI::FfsOperation>(3);
    const Case cases[] = {
        {"no camera, checked before the file",
         [&](Updater& u) {
             emu.Hook(-1, "nocameras");
             u.SetInputFile(missing);
         },
         FW_Updater_FAPI::FfsOperation::kProgram, "No camera connected", false},
        {"a type without a file",
         [&](Updater& u) {
             u.SetFirmwareType(kMcu1);
             u.SetInputFile(good);
         },
         FW_Updater_FAPI::FfsOperation::kProgram, "Unsupported file-type selection for this camera.", true},
        {"no input file", [](Updater&) {}, FW_Updater_FAPI::FfsOperation::kVerify, "Invalid filename", true},
        {"a file that is not there", [&](Updater& u) { u.SetInputFile(missing); }, FW_Updater_FAPI::FfsOperation::kVerify,
         "LoadFile - Can not open fw file", true},
        {"an unknown operation, after the file", [&](Updater& u) { u.SetInputFile(missing); }, kUnknownOperation,
         "LoadFile - Can not open fw file", true},
        {"an unknown operation", [&](Updater& u) { u.SetInputFile(good); }, kUnknownOperation, "Unsupported firmware operation", true},
        {"a camera that refuses the write",
         [&](Updater& u) {
             u.SetInputFile(good);
             emu.Hook(kUnknownModel, "fail param=write_file_ffs code=8");
         },
         FW_Updater_FAPI::FfsOperation::kProgram, "Write block error (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)",
         true},
        // The clean-up's own failure never hides the error that ended the run.
        {"a camera that cannot be opened",
         [&](Updater& u) {
             u.SelectCameraOnBus(7);
             u.SetInputFile(good);
             emu.Hook(-1, "fail call=zvCloseDevice code=3 times=all");
         },
         FW_Updater_FAPI::FfsOperation::kVerify, "No Devices Found (zvAPIplus_Camera::OpenByID)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Updater u;
        Prepare(u, kUnknownModel, kFpga1);
        c.setUp(u);
        emu.StartTrace();
        const Outcome o = Capture([&] { u.OperationFFS(c.code); });
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(Count(o.printed, "Camera SN:"), c.opened ? 1u : 0u);
        ExpectCleanedUp(u);
        EXPECT_EQ(emu.TraceWith("zvCloseDevice").size(), c.opened ? 1u : 0u);
        EXPECT_FALSE(Stored(kUnknownModel, "File_FW_FPGA1").has_value());
        emu.ClearHooks(-1);
        emu.ClearHooks(static_cast<int>(kUnknownModel));
    }
}

TEST_F(FapiOperationsTest, ScrambledFilesAreCheckedBeforeUse)
{
    // The payload's last four bytes are not its check word.
    const std::string file = dir.Write("scrambled.bin", Pattern(512));
    Updater u;
    u.SelectCameraOnBus(static_cast<int>(kUnknownModel));
    u.SetFirmwareType(kFpga1);
    u.SetInputFile(file);
    const Outcome o = Capture([&] { u.OperationFFS(FW_Updater_FAPI::FfsOperation::kProgram); });
    EXPECT_EQ(o.error, "Error file checksum");
    ExpectCleanedUp(u);
    EXPECT_FALSE(Stored(kUnknownModel, "File_FW_FPGA1").has_value());
}

TEST_F(FapiOperationsTest, ASuppliedCameraStaysOpen)
{
    const std::string file = dir.Write("fpga.bin", Pattern(512));
    ZV_HANDLE handle = 0;
    ASSERT_EQ(zvOpenDevice(kUnknownModel, &handle), 0);
    emu.StartTrace();
    {
        Updater u;
        Prepare(u, kUnknownModel, kFpga1, file);
        u.SetCameraHandle(handle);
        EXPECT_EQ(Run(u, FW_Updater_FAPI::FfsOperation::kProgram).error, "");
        EXPECT_EQ(u.Camera().GetHandle(), handle);
        u.SetFirmwareType(kMcu1);
        EXPECT_EQ(Capture([&] { u.OperationFFS(FW_Updater_FAPI::FfsOperation::kVerify); }).error,
                  "Unsupported file-type selection for this camera.");
        EXPECT_EQ(u.Camera().GetHandle(), handle);
    }
    EXPECT_TRUE(emu.TraceWith("zvCloseDevice").empty());
    EXPECT_EQ(zvCloseDevice(handle), 0);
}

TEST_F(FapiOperationsTest, DumpsTakeTheCamerasSizeWithItsExceptions)
{
    const Bytes jvImage = Pattern(0x10000);
    Store(kJV966, "File_FW_CPU1", jvImage);
    Store(kUnknownModel, "File_FW_CPU1", Pattern(1000));
    struct Case {
        unsigned camera;
        std::int32_t type;
        std::string message;  // before "Read done OK"
        Bytes dumped;
    };
    const Case cases[] = {
        {kUnknownModel, kCpu1, "", Pattern(1000)},
        // These models keep their CPU firmware in the first 0xFC00 bytes.
        {kJV966, kCpu1, "", Bytes(jvImage.begin(), jvImage.begin() + 0xFC00)},
        // Nothing stored: some data is read anyway (erased flash).
        {kUnknownModel, kFpga1, "Required file size is zero. Using 65536 instead to get some data.",
         Bytes(0x10000, 0xFF)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        Updater u;
        Prepare(u, c.camera, c.type, dir.File("dump.bin"));
        const Outcome o = Run(u, FW_Updater_FAPI::FfsOperation::kDump);
        EXPECT_EQ(o.error, "");
        EXPECT_NE(o.printed.find("Reading...\n" + c.message + "Read done OK\nOperation done OK  \n"), std::string::npos)
            << o.printed;
        EXPECT_EQ(TempDir::Read(dir.File("dump.bin")), c.dumped);
    }

    // The dump of the EEPROM image goes on to its conversion.
    Updater eeprom;
    Prepare(eeprom, kJV966, kEeprom1, dir.File("eeprom.bin"));
    EXPECT_EQ(Run(eeprom, FW_Updater_FAPI::FfsOperation::kDump).error, "");
    EXPECT_EQ(eeprom.handedOver, std::vector<std::string>{"convert dump"});
    EXPECT_EQ(eeprom.convertedDump.size(), 0x10000u);
    EXPECT_EQ(TempDir::Read(dir.File("eeprom.bin")), eeprom.convertedDump);
    EXPECT_EQ(eeprom.convertedDump, Stored(kJV966, "File_EEPROM1").value_or(Bytes(0x10000, 0xFF)));

    // A dump file that cannot be created fails the dump.
    Updater nowhere;
    Prepare(nowhere, kUnknownModel, kCpu1, dir.File(""));
    EXPECT_EQ(Capture([&] { nowhere.OperationFFS(FW_Updater_FAPI::FfsOperation::kDump); }).error,
              "WriteFile - Can not open output file");
    ExpectCleanedUp(nowhere);
}

TEST_F(FapiOperationsTest, CalibrationOperationsAreHandedOver)
{
    // Checking EEPROM versions needs no camera and no file.
    emu.Hook(-1, "nocameras");
    Updater offline;
    offline.SetFirmwareType(kEeprom1Ver);
    const Outcome checked = Run(offline, FW_Updater_FAPI::FfsOperation::kVerify);
    EXPECT_EQ(checked.error, "");
    EXPECT_EQ(checked.printed, "");
    EXPECT_EQ(offline.handedOver, std::vector<std::string>{"verify versions"});
    emu.ClearHooks(-1);

    // Writing EEPROM versions reads no file.
    Updater versions;
    Prepare(versions, kJV966, kEeprom1Ver);
    const Outcome written = Run(versions, FW_Updater_FAPI::FfsOperation::kProgram);
    EXPECT_EQ(written.error, "");
    EXPECT_TRUE(written.printed.ends_with("Operation done OK  \n"));
    EXPECT_EQ(versions.handedOver, std::vector<std::string>{"update versions"});
    ExpectCleanedUp(versions);

    // The upgrade brings the data to what the running CPU firmware needs.
    Updater upgrade;
    Prepare(upgrade, kJV966, kEeprom1);
    EXPECT_EQ(Run(upgrade, FW_Updater_FAPI::FfsOperation::kEepromUpgrade).error, "");
    EXPECT_EQ(upgrade.handedOver, std::vector<std::string>{"update data 02.50 to 02.50"});
    ExpectCleanedUp(upgrade);

    // A model the definitions do not know has no CPU firmware version of theirs.
    Updater unknown;
    Prepare(unknown, kUnknownModel, kEeprom1);
    const Outcome refused = Capture([&] { unknown.OperationFFS(FW_Updater_FAPI::FfsOperation::kEepromUpgrade); });
    EXPECT_EQ(refused.error, "EEPROM Data Update ERROR: operation not supported for camera model");
    EXPECT_NE(refused.printed.find("GetAssocZvFwType"), std::string::npos) << refused.printed;
    EXPECT_TRUE(unknown.handedOver.empty());
    ExpectCleanedUp(unknown);
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

TEST_F(FapiOperationsTest, ProgrammingLogsItsStartAndItsEndInTheCamera)
{
    const Bytes image = Pattern(3000);
    const std::string file = dir.Write("fpga.bin", image);
    const auto messages = [&] {
        std::vector<std::string> lines;
        testing::internal::CaptureStdout();
        const std::optional<std::string> text =
            UnpackFwLog(Stored(kUnknownModel, "FwOperationLog.zip").value_or(Bytes{}));
        testing::internal::GetCapturedStdout();
        for (std::size_t start = 0; text && start < text->size();) {
            const std::size_t end = std::min(text->find('\n', start), text->size());
            lines.push_back(text->substr(start + 20, end - start - 20));
            start = end + 1;
        }
        return lines;
    };
    const std::string line = "FW prog of FPGA1 [" + ShortDigest(image) + "] ";

    Updater u;
    Prepare(u, kUnknownModel, kFpga1, file);
    EXPECT_EQ(Capture([&] { u.UpdateFirmware(); }).error, "");
    EXPECT_EQ(messages(), (std::vector<std::string>{line + "started", line + "finished"}));

    // A failure leaves the start alone.
    emu.Hook(static_cast<int>(kUnknownModel), "fail param=write_file_ffs code=8 file=File_FW_FPGA1");
    Updater failing;
    Prepare(failing, kUnknownModel, kFpga1, file);
    EXPECT_NE(Capture([&] { failing.UpdateFirmware(); }).error, "");
    EXPECT_EQ(messages(), (std::vector<std::string>{line + "started", line + "finished", line + "started"}));
}

TEST_F(FapiOperationsTest, EachSlotRunsItsOperation)
{
    const Bytes image = Pattern(2048);
    const std::string file = dir.Write("fpga.bin", image);
    Updater u;
    Prepare(u, kUnknownModel, kFpga1, file);
    EXPECT_EQ(Capture([&] { u.UpdateFirmware(); }).error, "");
    EXPECT_EQ(Capture([&] { u.VerifyFirmware(); }).error, "");
    u.SetInputFile(dir.File("back.bin"));
    EXPECT_EQ(Capture([&] { u.DumpFlash(); }).error, "");
    EXPECT_EQ(TempDir::Read(dir.File("back.bin")), image);
    u.SetFirmwareType(kEeprom1);
    EXPECT_EQ(Capture([&] { u.UpgradeFirmware(); }).error,
              "EEPROM Data Update ERROR: operation not supported for camera model");

    emu.StartTrace();
    EXPECT_EQ(Thrown([&] { u.EmergencyBoot(); }), "Emergency boot is not implemented for this camera type");
    EXPECT_TRUE(emu.Trace().empty());
}

}  // namespace
