// The program's calibration file commands (--zvapi): extract, insert,
// file_diff and diff, on image files and on an emulated camera's EEPROM.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include "file_io.h"
#include <filesystem>
#include <fstream>
#include <sstream>

using zvtest::kBanner;
using zvtest::ReadFile;
using zvtest::ReadText;
using zvtest::WriteFile;

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::kJV966;
using zvtest::EmuDir;

namespace fs = std::filesystem;

const std::string kCameraLines = "Camera SN:ZVEMU21000A0, Model:JV966JK-TD-G8-V7T9-JND, FPGA1:V01.00\n"
                                 "Device ID:ZVEMU-DEV-0000\n";
constexpr const char* kCpu = "02.50";

class CalibrationRun : public ::testing::Test {
protected:
    CalibrationRun()
    {
        emu.AddCamera(kJV966, [](zvemu::CameraRecord& r) { r.versions["version_mcu1"] = kCpu; });
        emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1", DefaultsImage(kJV966, kCpu, 2, 3));
    }

    e2e::ProgramRun Run(const std::vector<std::string>& args)
    {
        return e2e::RunProgram(args, "", {{"ZVAPI_EMULATOR_DIR", emu.Root().string()}});
    }

    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
};

TEST_F(CalibrationRun, ExtractedListingsGoBackIntoTheSameImageAndEditsShowInTheDiff)
{
    // An image whose partition table was lost: extract completes it.
    std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 3);
    std::fill(image.begin() + eeprom_test::kTableOffset, image.end(), 0xFF);
    WriteFile("eeprom.bin", image);
    const std::string base = std::string("eeprom.bin_") + kJV966 + "_V02.03";

    e2e::ProgramRun r = Run({"extract", "EEPROM1", "eeprom.bin", "--zvapi", "--model", kJV966, "--new_fw_ver", kCpu,
                             "--eeprom_ver", "02.03"});
    EXPECT_EQ(r.out, kBanner + "Performing operation 6 on firmware type 15\n"
                               "Extracting EEPROM data  \nReading EEPROM data\nExtracting EEPROM data started\n"
                               "Extracting EEPROM data  OK\n"
                               "Done return 0\nAll OK\n");
    EXPECT_EQ(r.status, 0);
    for (const char* ending : {".txt", ".csv", ".bin"}) {
        EXPECT_TRUE(fs::exists(base + ending)) << ending;
    }
    EXPECT_EQ(eeprom_test::TableOf(ReadFile(base + ".bin")).valid, true);

    r = Run({"insert", "EEPROM1", base + ".bin", "--zvapi", "--model", kJV966, "--cur_fw_ver", kCpu, "--patch_file",
             base + ".csv", "--output_file_name", "same.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadFile("same.bin"), ReadFile(base + ".bin"));

    std::string csv = ReadText(base + ".csv");
    const std::string row = "0x5A00,VRD,2.246,V\n";
    ASSERT_NE(csv.find(row), std::string::npos);
    csv.replace(csv.find(row), row.size(), "0x5A00,VRD,2.300,V\n");
    std::ofstream("edited.csv") << csv;
    r = Run({"insert", "EEPROM1", base + ".bin", "--zvapi", "--model", kJV966, "--cur_fw_ver", kCpu, "--patch_file",
             "edited.csv", "--output_file_name", "edited.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::vector<std::uint8_t> edited = ReadFile("edited.bin");
    EXPECT_NE(edited, ReadFile(base + ".bin"));
    EXPECT_EQ(eeprom_test::FieldOf(edited, kJV966, kCpu, 0, "VRD"), 2300);

    // The camera tells model and CPU version.
    r = Run({"file_diff", "EEPROM1", "edited.bin", "--zvapi"});
    const std::string report = std::string(kJV966) + "_CPU_02.50_EEPROM_02_03_diff.txt";
    EXPECT_EQ(r.out, kBanner + "Performing operation 11 on firmware type 15\n" + kCameraLines +
                         "Using camera JV966JK-TD-G8-V7T9-JND current CPU firmware version 02.50 for diff operation.\n"
                         "Reading EEPROM data from file: edited.bin\nLoading EEPROM data from edited.bin\n"
                         "Running diff operation for JV966JK-TD-G8-V7T9-JND CPU 02.50 EEPROM version 02.03\n"
                         "Extracting EEPROM data started\nLoading EEPROM defaults\n"
                         "Storing EEPROM defaults diff to file " +
                         report +
                         "\n"
                         "Found 1 changes on calibration page 0\nDiff evaluation finished\nDiff Found 1 changes\n"
                         "Done return 0\nAll OK\n");
    EXPECT_EQ(ReadText(report), "//-------------------------------------------\nDiff page 0\n"
                                "Field name          Value               Defaults            \n"
                                "VRD                 2300                2246                \n");
}

TEST_F(CalibrationRun, AFileOfAnotherSizeFailsTheCommand)
{
    WriteFile("short.bin", std::vector<std::uint8_t>(1000, 0));
    e2e::ProgramRun r = Run({"extract", "EEPROM1", "short.bin", "--zvapi", "--model", kJV966, "--new_fw_ver", kCpu,
                             "--eeprom_ver", "02.03"});
    EXPECT_EQ(r.out, kBanner + "Performing operation 6 on firmware type 15\n"
                               "Extracting EEPROM data  \nReading EEPROM data\n"
                               "\n******** Error: FW_Updater_FAPI:ExtractData: EEPROM file has unexpected size\n"
                               "Done return 1\n");
    EXPECT_EQ(r.status, 1);

    r = Run({"file_diff", "EEPROM1", "short.bin", "--zvapi"});
    EXPECT_NE(r.out.find("\n******** Error: FW_Updater_FAPI:DiffFirmwareContent: EEPROM file has unexpected size\n"
                         "Done return 1\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(".")) {
        files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"short.bin"});
}

TEST_F(CalibrationRun, DiffOfTheCamerasEeprom)
{
    emu.State().WriteFfsFile(emu.CameraId(0), "File_EEPROM1",
                             DefaultsImage(kJV966, kCpu, 2, 3, [](CalibDataStructureConverter& c) {
                                 eeprom_test::SetField(c, 5, "VRD", 2345);
                             }));
    e2e::ProgramRun r = Run({"diff", "EEPROM1", "--zvapi"});
    const std::string report = std::string(kJV966) + "_CPU_02.50_EEPROM_02_03_diff.txt";
    EXPECT_EQ(r.out, kBanner + "Performing operation 10 on firmware type 15\n" + kCameraLines +
                         "Using camera JV966JK-TD-G8-V7T9-JND current CPU firmware version 02.50 for diff operation.\n"
                         "Reading EEPROM data from camera\nReading...\nRead done OK  \n"
                         "Running diff operation for JV966JK-TD-G8-V7T9-JND CPU 02.50 EEPROM version 02.03\n"
                         "Extracting EEPROM data started\nLoading EEPROM defaults\n"
                         "Storing EEPROM defaults diff to file " +
                         report +
                         "\n"
                         "Found 1 changes on calibration page 5\nDiff evaluation finished\nDiff Found 1 changes\n"
                         "Done return 0\nAll OK\n");
    EXPECT_NE(ReadText(report).find("VRD                 2345"), std::string::npos);

    // Without a camera, diff has nothing to read; file_diff goes by the options.
    emu.Hook(-1, "nocameras");
    fs::remove(report);
    r = Run({"diff", "EEPROM1", "--zvapi", "--model", kJV966, "--cur_fw_ver", kCpu});
    EXPECT_TRUE(r.out.ends_with(
        "\n******** Error: FW_Updater_FAPI:DiffFirmwareContent: No camera connected, cannot run 'diff' operation\n"
        "Done return 1\n"))
        << r.out;
    EXPECT_FALSE(fs::exists(report));
    WriteFile("saved.bin", DefaultsImage(kJV966, kCpu, 2, 3));
    r = Run({"file_diff", "EEPROM1", "saved.bin", "--zvapi", "--model", kJV966, "--cur_fw_ver", kCpu});
    EXPECT_TRUE(r.out.ends_with("Diff evaluation finished\nNo changes found\nDone return 0\nAll OK\n")) << r.out;
    EXPECT_EQ(ReadText(report), "");
}

}  // namespace
