// The built program's prog, verify, dump, info and upgrade through the camera
// API (--zvapi) on emulated cameras, as an operator would run them: every
// firmware and data type that has a file in the camera, the types that have
// none, versions with LED blinking, all cameras in one run, and the operation
// log a programming run leaves in the camera.

#include "emu_dir.h"
#include "fw_operation_log.h"
#include "run_program.h"
#include "scramble_for_tests.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/md5.h>

#include "file_io.h"
#include <fstream>

using zvtest::kBanner;

namespace {

using zvtest::EmuDir;
using Bytes = std::vector<std::uint8_t>;

const std::string kDone = "Done return 0\nAll OK\n";
const std::string kFailed = "Done return 1\n";
constexpr std::uint32_t kSpecialKey = 0x1234ABCD;

Bytes Pattern(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 29 + (i >> 10));
    }
    return bytes;
}

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

std::string Identification(const std::string& serial, const std::string& model, unsigned index)
{
    return "Camera SN:" + serial + ", Model:" + model + ", FPGA1:V01.00\nDevice ID:ZVEMU-DEV-000" +
           std::to_string(index) + "\n";
}

// Three cameras: a model the calibration definitions do not know, and two
// they know.
class FapiOperationsRun : public ::testing::Test {
protected:
    FapiOperationsRun()
    {
        emu.AddCamera("KV410XX-B", [](zvemu::CameraRecord& r) {
            r.specialKey = kSpecialKey;
            r.versions["version_mcu1"] = "02.50";
        });
        emu.AddCamera("JV966JK-TD-G8-V7T9-JND");
        emu.AddCamera("JR574XX-D0-BSI-1");
    }

    e2e::ProgramRun Run(std::vector<std::string> args)
    {
        args.push_back("--zvapi");
        // LED blinking waits between rounds: virtual here.
        return e2e::RunProgram(args, "", {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}, {"ZVOS_VIRTUAL_SLEEP", "1"}});
    }

    std::string File(const std::string& name) const { return (emu.Root() / name).string(); }

    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static Bytes Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::optional<Bytes> Stored(unsigned camera, const std::string& file) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(camera), file);
    }

    // The messages of the camera's operation log, time stamps removed.
    std::vector<std::string> LogMessages(unsigned camera) const
    {
        const std::optional<Bytes> archive = Stored(camera, std::string(kFwLogArchiveName));
        if (!archive) {
            return {};
        }
        testing::internal::CaptureStdout();
        const std::optional<std::string> text = UnpackFwLog(*archive);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        std::vector<std::string> messages;
        for (std::size_t start = 0; text && start < text->size();) {
            const std::size_t end = std::min(text->find('\n', start), text->size());
            messages.push_back(text->substr(start + 20, end - start - 20));  // after "[YYYY-MM-DD HHMMSS] "
            start = end + 1;
        }
        return messages;
    }

    EmuDir emu;
};

TEST_F(FapiOperationsRun, EveryTypeWithAFileInTheCameraIsProgrammedVerifiedAndDumped)
{
    const std::string key = "--key";
    const std::string special = "1234ABCD";
    struct Row {
        std::string type;
        Bytes content;      // what the file (or value) stands for
        std::string value;  // given in place of a file with --snsnefilename
        std::vector<std::string> options;
        std::string ffsFile;
    };
    const std::string plain = "--plain_file";
    const std::vector<Row> rows = {
        {"CPU1", Pattern(0x3000, 1), "", {plain}, "File_FW_CPU1"},
        {"CPU2", Pattern(0x2100, 2), "", {plain}, "File_FW_CPU2"},
        {"CPU3", Pattern(0x1000, 3), "", {plain}, "File_FW_CPU3"},
        {"CPU4", Pattern(0x0800, 4), "", {plain}, "File_FW_CPU4"},
        {"CPU5", Pattern(0x0400, 5), "", {plain}, "File_FW_CPU5"},
        {"FPGA1", Pattern(0x9000, 6), "", {plain}, "File_FW_FPGA1"},
        {"FPGA2", Pattern(0x5000, 7), "", {plain}, "File_FW_FPGA2"},
        // The raw calibration image, on a model whose calibration the
        // updater does not convert.
        {"EEPROM1", Pattern(0x10000, 8), "", {plain}, "File_EEPROM1"},
        {"SN", {0x78, 0x56, 0x34, 0x12}, "12345678", {"--snsnefilename", "--yes"}, "FileSN"},
        {"SSN", ToBytes("SENSOR-0042"), "SENSOR-0042", {"--snsnefilename", "--yes"}, "SensInfo"},
        {"DEVVER", Pattern(0x40, 9), "", {plain}, "FileDeviceVersion"},
        {"PTABLE", Pattern(0x100, 10), "", {plain}, "Partition_Table"},
        {"RESPOINTS", Pattern(0x700, 11), "", {plain}, "FwRestorePoints.zip"},
        {"FACTORYSETS",
         ToBytes("<UserSetFactory><content_version>1.4</content_version></UserSetFactory>"),
         "",
         {plain, key, special},
         "UserSetFactory"},
        {"USETS", ToBytes("<UserSets><content_version>2.0</content_version></UserSets>"), "", {plain}, "UserSets"},
        {"PFFS", Pattern(0x200, 12), "", {plain, key, special}, "FFS_Partition"},
        {"FFC", Pattern(0x2000, 13), "", {plain, key, special}, "FullFlashContent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const std::string word = row.value.empty() ? Write("KV410_" + row.type + ".bin", row.content) : row.value;
        std::vector<std::string> prog = {"prog", row.type, word};
        prog.insert(prog.end(), row.options.begin(), row.options.end());
        const e2e::ProgramRun programmed = Run(prog);
        EXPECT_EQ(programmed.status, 0) << programmed.out;
        EXPECT_TRUE(programmed.out.ends_with("Operation done OK  \n" + kDone)) << programmed.out;
        EXPECT_EQ(programmed.err, "");

        // The CPU image the camera runs carries its mark: written, not yet started.
        Bytes inCamera = row.content;
        if (row.type == "CPU1") {
            inCamera[0x22] = 0xFF;
        }
        EXPECT_EQ(Stored(0, row.ffsFile), inCamera);

        std::vector<std::string> verify = {"verify", row.type, word};
        verify.insert(verify.end(), row.options.begin(), row.options.end());
        const e2e::ProgramRun verified = Run(verify);
        EXPECT_EQ(verified.status, 0) << verified.out;
        EXPECT_TRUE(verified.out.ends_with("Operation done OK  \nVerify done OK\n" + kDone)) << verified.out;

        const std::string dumpFile = File("dump_" + row.type + ".bin");
        const e2e::ProgramRun dumped = Run({"dump", row.type, dumpFile});
        if (row.type == "EEPROM1") {
            // A dumped calibration image is also listed, where the model's
            // calibration definitions allow; this model has none, so the
            // command fails after the dump, which stays written.
            EXPECT_EQ(dumped.status, 1) << dumped.out;
            EXPECT_TRUE(dumped.out.ends_with("Read done OK\nConverting EEPROM data\n"
                                             "GetAssocZvFwType - Value is not defined.\n"
                                             "\n******** Error: ConvertEEPROMDumpData ERROR: Unknown camera model\n" +
                                             kFailed))
                << dumped.out;
        } else {
            EXPECT_EQ(dumped.status, 0) << dumped.out;
            EXPECT_TRUE(dumped.out.ends_with("Read done OK\nOperation done OK  \nDump done OK  \n" + kDone))
                << dumped.out;
        }
        EXPECT_EQ(Read(dumpFile), inCamera);
    }
    // The files guarded by the camera's special key stay closed without it.
    const e2e::ProgramRun refused = Run({"prog", "PFFS", Write("pffs.bin", Pattern(16, 1)), "--plain_file"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.ends_with("\n******** Error: Application does not have enough privileges (one or more "
                                      "app) (zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)\n" +
                                      kFailed))
        << refused.out;
    EXPECT_EQ(Stored(0, "FFS_Partition"), Pattern(0x200, 12));
}

TEST_F(FapiOperationsRun, TypesWithoutAFileInTheCameraAreRefused)
{
    const std::string file = Write("KV410_any.bin", Pattern(0x100, 1));
    const std::string unsupported = "Unsupported file-type selection for this camera.";
    struct Case {
        std::vector<std::string> args;
        std::string error;
        std::string before = {};  // printed between the camera's identification and the error
    };
    const Case cases[] = {
        {{"prog", "MCU1", file, "--plain_file"}, unsupported},
        {{"prog", "XMLMAN", file, "--plain_file"}, unsupported},
        {{"verify", "MCU1", file, "--plain_file"}, unsupported},
        {{"dump", "XMLMAN", File("out.bin")}, unsupported},
        {{"prog", "MMDESC"}, unsupported},
        {{"verify", "FLAG_U3V", "1"}, unsupported},
        {{"prog", "FLAG_U2F", "1"}, unsupported},
        {{"verify", "REST_INFO", "0"}, unsupported},
        {{"prog", "SID1", "--plain_file"}, unsupported},
        {{"dump", "SID2"}, unsupported},
        {{"upgrade", "MCU1"}, unsupported},
        // Types that have a file but take no file word cannot name one.
        {{"dump", "USET1"},
         "WriteFile - Can not open output file",
         "Reading...\nRequired file size is zero. Using 65536 instead to get some data.25%\r50%\r75%\r100%\r"},
        {{"verify", "USETD", "--plain_file"}, "LoadFile - Can not open fw file"},
        // Versions exist only for some types.
        {{"info", "MCU1"}, "FW_Updater_FAPI:GetCurrentFirmwareVersion: Unsupported firmware type"},
        {{"info", "SID1"}, "Not implemented yet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const e2e::ProgramRun r = Run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.ends_with(Identification("ZVEMU21000A0", "KV410XX-B", 0) + c.before +
                                    "\n******** Error: " + c.error + "\n" + kFailed))
            << r.out;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_FALSE(std::filesystem::exists(File("out.bin")));
}

TEST_F(FapiOperationsRun, InfoGivesTheVersionAndBlinksTheLeds)
{
    const e2e::ProgramRun cpu = Run({"info", "CPU1", "--number_of_led_blinks_on_end", "1"});
    EXPECT_EQ(cpu.out, kBanner + "Performing operation 3 on firmware type 1\nGetting version info\n" +
                           Identification("ZVEMU21000A0", "KV410XX-B", 0) + "Detected version V02.50\n" + kDone);
    EXPECT_EQ(cpu.status, 0);
    // One round switches every LED selector below the maximum off.
    EXPECT_EQ(emu.Camera(0).ledModes, (std::map<int, int>{{1, 7}, {2, 7}}));

    emu.State().WriteFfsFile(emu.CameraId(0), "UserSetFactory",
                             ToBytes("<?xml version=\"1.0\"?><UserSetFactory><UserSet id=\"0\"/>"
                                     "<content_version>1.4</content_version></UserSetFactory>"));
    const e2e::ProgramRun factory = Run({"info", "FACTORYSETS"});
    EXPECT_TRUE(factory.out.ends_with("Detected version V1.4\n" + kDone)) << factory.out;

    emu.State().WriteFfsFile(emu.CameraId(0), "UserSets", ToBytes("<UserSets><content_version>2.0</UserSets>"));
    const e2e::ProgramRun malformed = Run({"info", "USETS"});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_NE(malformed.out.find("\n******** Error: XML_Browser_ERR: XMLBrowser::OpenFromMemory failed()"),
              std::string::npos)
        << malformed.out;
}

TEST_F(FapiOperationsRun, UpgradeNeedsAModelTheCalibrationDefinitionsKnow)
{
    const e2e::ProgramRun unknown = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.out.find(Identification("ZVEMU21000A0", "KV410XX-B", 0) + "GetAssocZvFwType - "),
              std::string::npos)
        << unknown.out;
    EXPECT_TRUE(unknown.out.ends_with(
        "\n******** Error: EEPROM Data Update ERROR: operation not supported for camera model\n" + kFailed));

    emu.Hook(-1, "nocameras");
    const e2e::ProgramRun none = Run({"upgrade", "EEPROM1"});
    EXPECT_EQ(none.out, kBanner +
                            "Performing operation 8 on firmware type 15\n\n******** Error: No camera connected\n" +
                            kFailed);
}

TEST_F(FapiOperationsRun, AllCamerasRunTheOperationOnEachInOrder)
{
    const Bytes image = Pattern(0x1800, 21);
    const std::string file = Write("bitstream.bin", image);
    const e2e::ProgramRun r = Run({"prog", "FPGA1", file, "--plain_file", "--yes", "--allcameras"});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string serials[] = {"ZVEMU21000A0", "ZVEMU21010A0", "ZVEMU21020A0"};
    std::size_t at = 0;
    for (unsigned camera = 0; camera < 3; ++camera) {
        SCOPED_TRACE(camera);
        const std::string selected =
            "----------------------------------\nSelected camera id:" + std::to_string(camera) +
            " (total:3)\nPerforming operation 1 on firmware type 10\n";
        const std::size_t start = r.out.find(selected, at);
        ASSERT_NE(start, std::string::npos) << r.out;
        const std::size_t end = r.out.find("Operation done OK  \n", start);
        ASSERT_NE(end, std::string::npos);
        // Everything of this camera's run lies between its heading and its end.
        const std::string run = r.out.substr(start, end - start);
        EXPECT_NE(run.find("Camera SN:" + serials[camera]), std::string::npos);
        for (const std::string& other : serials) {
            if (other != serials[camera]) {
                EXPECT_EQ(run.find(other), std::string::npos);
            }
        }
        at = end;
        EXPECT_EQ(Stored(camera, "File_FW_FPGA1"), image);
        EXPECT_EQ(LogMessages(camera).size(), 4u);
    }
    EXPECT_TRUE(r.out.ends_with("Operation done OK  \n" + kDone));
    // The per-camera updaters have no progress printer.
    EXPECT_EQ(r.out.find('%'), std::string::npos) << r.out;
}

TEST_F(FapiOperationsRun, AProgrammingRunLeavesItsLinesInTheCameraLogInOrder)
{
    const Bytes payload = Pattern(0x10000, 31);
    const std::string file = Write("KV410_cpu1.bin", testing_support::Scramble(payload));
    const std::string identification = Identification("ZVEMU21000A0", "KV410XX-B", 0);
    const e2e::ProgramRun r = Run({"prog", "CPU1", file});
    EXPECT_EQ(r.out, kBanner + "Performing operation 1 on firmware type 1\nChecksum OK\n" + identification +
                         "Checking if Filename:" + file +
                         " contains short model name:KV410\n"
                         "Filename contains part of camera model name [OK]\nProgramming\n" +
                         identification +
                         "HandleModelSpecificOperation_BeforeProgramming: No operation required.\n"
                         "Writing FW\n"
                         "Erasing/Writing...\n20%\r30%\r40%\r50%\r60%\rErase/Write done OK  \n"
                         "Verifying...\n70%\r80%\r90%\r100%\rRead done OK  \n"
                         "Firmware_ok_mark on position 0x0022 read:xFF\n"
                         "Firmware_ok_mark shows, that firmware is not yet confirmed to run\n"
                         "Compare done OK  \n"
                         "HandleModelSpecificOperation_AfterProgramming: No operation required.\n"
                         "Operation done OK  \n" +
                         kDone);
    EXPECT_EQ(r.status, 0);
    Bytes inCamera = payload;
    inCamera[0x22] = 0xFF;
    EXPECT_EQ(Stored(0, "File_FW_CPU1"), inCamera);

    // The digest is that of the descrambled payload, without its check word.
    const std::string line = "FW prog of CPU1 [" + ShortDigest(payload) + "] ";
    const std::vector<std::string> programmed = {"Firmware Updater V2.64 started", line + "started", line + "finished",
                                                 "Firmware Updater V2.64 finished"};
    EXPECT_EQ(LogMessages(0), programmed);

    // A run that fails in the camera ends after the start lines.
    emu.Hook(0, "fail param=write_file_ffs code=8 file=File_FW_CPU1");
    const e2e::ProgramRun failed = Run({"prog", "CPU1", file});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.out.ends_with("Erasing/Writing...\n\n******** Error: Write block error "
                                     "(zvAPIplus_Camera::SetZVAPIParamStr - write_file_ffs)\n" +
                                     kFailed))
        << failed.out;
    std::vector<std::string> afterwards = programmed;
    afterwards.push_back("Firmware Updater V2.64 started");
    afterwards.push_back(line + "started");
    EXPECT_EQ(LogMessages(0), afterwards);
}

}  // namespace
