// Calibration image files and their listings without a camera: extract by
// file size, insert over defaults or an image, the diff report's form, and
// the listings of a dumped image.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "fapi_test_support.h"
#include "fw_sel_item.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using eeprom_test::DefaultsImage;
using eeprom_test::kJV966;
using eeprom_test::kTableOffset;
using eeprom_test::TableOf;
using fapi_test::Capture;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using zvtest::EmuDir;

namespace fs = std::filesystem;

constexpr const char* kCpu = "02.50";

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// No camera anywhere: these commands work from files and options alone.
class CalibrationFilesTest : public ::testing::Test {
protected:
    CalibrationFilesTest() { emu.Hook(-1, "nocameras"); }

    // An updater as the front end sets it up for an EEPROM1 command.
    TestUpdater& Updater(const std::string& input)
    {
        updater = std::make_unique<TestUpdater>();
        updater->SetFirmwareType(FW_TYPE_EEPROM1);
        updater->SetInputFile(input);
        return *updater;
    }

    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
    std::unique_ptr<TestUpdater> updater;
};

TEST_F(CalibrationFilesTest, ExtractWritesListingsAndCompletesImagesWithoutTable)
{
    const std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 1);
    std::vector<std::uint8_t> noTable = image;
    std::fill(noTable.begin() + kTableOffset, noTable.end(), 0xFF);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool completed;
    };
    const Case cases[] = {
        {"whole image with its table", image, false},
        {"whole image without table", noTable, true},
        {"pages and an erased table", std::vector<std::uint8_t>(noTable.begin(), noTable.begin() + 0xFF00), true},
        {"pages only", std::vector<std::uint8_t>(image.begin(), image.begin() + 0x4000), false},
    };
    const std::string suffix = std::string("_") + kJV966 + "_V02.01";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(fs::current_path() / "x");
        fs::create_directory("x");
        WriteFile("x/in.bin", c.bytes);
        TestUpdater& u = Updater("x/in.bin");
        u.SetNewFirmwareVersion(kCpu);
        u.SetCameraModelName(kJV966);
        u.SetEEPROMVersion("02.01");
        const Outcome o = Capture([&] { u.ExtractData(); });
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.printed, "Extracting EEPROM data  \nReading EEPROM data\nExtracting EEPROM data started\n"
                             "Extracting EEPROM data  OK\n");
        std::vector<std::string> expected = {"in.bin", "in.bin" + suffix + ".csv", "in.bin" + suffix + ".txt"};
        if (c.completed) {
            expected.insert(expected.begin() + 1, "in.bin" + suffix + ".bin");
        }
        EXPECT_EQ(FilesIn("x"), expected);
        EXPECT_TRUE(ReadText("x/in.bin" + suffix + ".csv").starts_with("Mode ID,Name,Value,Unit\n"));
        if (c.completed) {
            const std::vector<std::uint8_t> completed = ReadFile("x/in.bin" + suffix + ".bin");
            ASSERT_EQ(completed.size(), c.bytes.size());
            std::vector<std::uint8_t> whole = completed;
            whole.resize(0x10000, 0xFF);
            const eeprom_test::TableBytes table = TableOf(whole);
            EXPECT_TRUE(table.valid);
            EXPECT_EQ(table.structVersion, 2);
            EXPECT_EQ(table.defaultsVersion, 1);
            EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x4000, completed.begin()));
        }
    }
}

TEST_F(CalibrationFilesTest, ExtractRefusals)
{
    WriteFile("odd.bin", std::vector<std::uint8_t>(0x8000, 0xFF));
    struct Case {
        std::string input;
        std::int32_t type;
        std::string newFw;
        std::string model;
        std::string eeprom;
        std::string error;
    };
    const std::string m = kJV966;
    const Case cases[] = {
        {"odd.bin", 16, kCpu, m, "02.01", "FW_Updater_FAPI:ExtractData: Unsupported firmware type"},
        {"odd.bin", FW_TYPE_EEPROM1, "", m, "02.01",
         "FW_Updater_FAPI:ExtractData: New firmware version is not set, use '--new_fw_ver' parameter with value"},
        {"odd.bin", FW_TYPE_EEPROM1, kCpu, "", "02.01",
         "FW_Updater_FAPI:ExtractData: Camera model name is not set, use '--model' parameter with value"},
        {"odd.bin", FW_TYPE_EEPROM1, kCpu, m, "",
         "FW_Updater_FAPI:ExtractData: EEPROM data version is not set, use '--eeprom_ver' parameter with value"},
        {"odd.bin", FW_TYPE_EEPROM1, kCpu, m, "02.01", "FW_Updater_FAPI:ExtractData: EEPROM file has unexpected size"},
        {"missing.bin", FW_TYPE_EEPROM1, kCpu, m, "02.01",
         "FW_Updater_FAPI:ExtractData: failed to read EEPROM binary file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TestUpdater& u = Updater(c.input);
        u.SetFirmwareType(c.type);
        if (!c.newFw.empty()) {
            u.SetNewFirmwareVersion(c.newFw);
        }
        if (!c.model.empty()) {
            u.SetCameraModelName(c.model);
        }
        if (!c.eeprom.empty()) {
            u.SetEEPROMVersion(c.eeprom);
        }
        EXPECT_EQ(Capture([&] { u.ExtractData(); }).error, c.error);
        EXPECT_EQ(FilesIn("."), std::vector<std::string>{"odd.bin"});
    }
}

// A calibration CSV goes over the model's defaults, or as a patch over an
// image; the packed result carries its values.
TEST_F(CalibrationFilesTest, InsertOverDefaultsAndOverAnImage)
{
    // A listing of the defaults with one value changed.
    const std::vector<std::uint8_t> defaults = DefaultsImage(kJV966, kCpu, 2, 3);
    WriteFile("defaults.bin", defaults);
    TestUpdater& extract = Updater("defaults.bin");
    extract.SetNewFirmwareVersion(kCpu);
    extract.SetCameraModelName(kJV966);
    extract.SetEEPROMVersion("02.03");
    ASSERT_EQ(Capture([&] { extract.ExtractData(); }).error, "");
    std::string csv = ReadText(std::string("defaults.bin_") + kJV966 + "_V02.03.csv");
    const std::string row = "0x5A00,VRD,2.246,V\n";
    ASSERT_NE(csv.find(row), std::string::npos);
    csv.replace(csv.find(row), row.size(), "0x5A00,VRD,2.300,V\n");
    std::ofstream("edited.csv") << csv;

    TestUpdater& overDefaults = Updater("edited.csv");
    overDefaults.SetCurrentFirmwareVersion(kCpu);
    overDefaults.SetCameraModelName(kJV966);
    const Outcome o = Capture([&] { overDefaults.InsertData(); });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed,
              "Updating EEPROM data from CSV\nExtracting EEPROM data defaults start\nInserting EEPROM data from CSV\n"
              "Storing EEPROM data to packed binary data format\nPacked EEPROM data file was created\n");
    const std::string name = std::string("edited.csv_") + kJV966 + "_V_inserted.bin";
    ASSERT_TRUE(fs::exists(name));
    const std::vector<std::uint8_t> inserted = ReadFile(name);
    // Over the defaults the pages hold the defaults but for the one value.
    std::vector<std::uint8_t> edited = DefaultsImage(
        kJV966, kCpu, 2, 3, [](CalibDataStructureConverter& c) { eeprom_test::SetField(c, 0, "VRD", 2300); });
    EXPECT_TRUE(std::equal(edited.begin(), edited.begin() + 0x4000, inserted.begin()));

    TestUpdater& patch = Updater("defaults.bin");
    patch.SetCurrentFirmwareVersion(kCpu);
    patch.SetCameraModelName(kJV966);
    patch.SetPatchFile("edited.csv");
    patch.SetOutputFile("out/../patched.bin");
    fs::create_directory("out");
    const Outcome p = Capture([&] { patch.InsertData(); });
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.printed, "Updating EEPROM data from CSV\nExtracting EEPROM data from defaults.bin\n"
                         "Applying EEPROM data patch from edited.csv\n"
                         "Storing EEPROM data to packed binary data format\nPacked EEPROM data file was created\n");
    // The output name is the user's own, written as given.
    EXPECT_EQ(ReadFile("patched.bin"), edited);
}

TEST_F(CalibrationFilesTest, InsertRefusals)
{
    struct Case {
        std::int32_t type;
        std::string cur;
        std::string model;
        std::string error;
    };
    const Case cases[] = {
        {16, kCpu, kJV966, "FW_Updater_FAPI:InsertData: Unsupported firmware type"},
        {FW_TYPE_EEPROM1, "", kJV966,
         "FW_Updater_FAPI:InsertData: New firmware version is not set, use '--cur_fw_ver' parameter with value"},
        {FW_TYPE_EEPROM1, kCpu, "",
         "FW_Updater_FAPI:InsertData: Camera model name is not set, use '--model' parameter with value"},
    };
    for (const Case& c : cases) {
        TestUpdater& u = Updater("in.csv");
        u.SetFirmwareType(c.type);
        if (!c.cur.empty()) {
            u.SetCurrentFirmwareVersion(c.cur);
        }
        if (!c.model.empty()) {
            u.SetCameraModelName(c.model);
        }
        EXPECT_EQ(Capture([&] { u.InsertData(); }).error, c.error);
    }
    EXPECT_TRUE(fs::is_empty("."));
}

// Only fields that differ from the defaults, hexadecimal ones in hex, others
// as unsigned decimals; the two bookkeeping fields never.
TEST_F(CalibrationFilesTest, DiffReportOfAFile)
{
    const std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 3, [](CalibDataStructureConverter& c) {
        eeprom_test::SetField(c, 0, "340 LVDS_T_EN", 0x11c);
        eeprom_test::SetField(c, 0, "FFC_GAIN", -1);
        eeprom_test::SetField(c, 0, "Mode_ID", 0x5A07);
        eeprom_test::SetField(c, 3, "VRD", 2300);
    });
    WriteFile("cam.bin", image);
    TestUpdater& u = Updater("cam.bin");
    u.SetCameraModelName(kJV966);
    u.SetCurrentFirmwareVersion(kCpu);
    const Outcome o = Capture([&] { u.DiffFirmwareContent(); });
    EXPECT_EQ(o.error, "");
    const std::string report = std::string(kJV966) + "_CPU_02.50_EEPROM_02_03_diff.txt";
    EXPECT_EQ(o.printed, "Reading EEPROM data from file: cam.bin\nLoading EEPROM data from cam.bin\n"
                         "Running diff operation for JV966JK-TD-G8-V7T9-JND CPU 02.50 EEPROM version 02.03\n"
                         "Extracting EEPROM data started\nLoading EEPROM defaults\n"
                         "Storing EEPROM defaults diff to file " +
                             report +
                             "\n"
                             "Found 2 changes on calibration page 0\nFound 1 changes on calibration page 3\n"
                             "Diff evaluation finished\nDiff Found 3 changes\n");
    EXPECT_EQ(ReadText(report), "//-------------------------------------------\n"
                                "Diff page 0\n"
                                "Field name          Value               Defaults            \n"
                                "340 LVDS_T_EN       0x11c               0x11b               \n"
                                "FFC_GAIN            4294967295          0                   \n"
                                "//-------------------------------------------\n"
                                "Diff page 3\n"
                                "Field name          Value               Defaults            \n"
                                "VRD                 2300                1253                \n");

    // The defaults themselves: an empty report.
    WriteFile("cam.bin", DefaultsImage(kJV966, kCpu, 2, 3));
    const Outcome none = Capture([&] { u.DiffFirmwareContent(); });
    EXPECT_TRUE(none.printed.ends_with("Diff evaluation finished\nNo changes found\n"));
    EXPECT_EQ(ReadText(report), "");
}

// A plain 16-bit word (the offsets of the JR families) is compared and shown
// as the word itself, never sign-extended: the defaults here are the words
// 0xFF77 and 0xFF81.
TEST_F(CalibrationFilesTest, DiffShowsPlainWordsAsTheyAreStored)
{
    const std::string model = "JR574XX-D0-BSI-1";
    const std::string cpu = "03.11";
    WriteFile("jr.bin", DefaultsImage(model, cpu, 2, 1, [](CalibDataStructureConverter& c) {
                  eeprom_test::SetField(c, 0, "T_OFFS", 0xFFFF);
                  eeprom_test::SetField(c, 0, "B_OFFS", 0x8000);
              }));
    TestUpdater& u = Updater("jr.bin");
    u.SetCameraModelName(model);
    u.SetCurrentFirmwareVersion(cpu);
    const Outcome o = Capture([&] { u.DiffFirmwareContent(); });
    EXPECT_EQ(o.error, "") << o.printed;
    EXPECT_EQ(ReadText(model + "_CPU_03.11_EEPROM_02_01_diff.txt"),
              "//-------------------------------------------\n"
              "Diff page 0\n"
              "Field name          Value               Defaults            \n"
              "T_OFFS              65535               65399               \n"
              "B_OFFS              32768               65409               \n");
}

TEST_F(CalibrationFilesTest, DiffRefusals)
{
    WriteFile("odd.bin", std::vector<std::uint8_t>(100, 0));
    struct Case {
        std::optional<std::string> input;
        std::string model;
        std::string cpu;
        std::string error;
    };
    const std::string m = kJV966;
    const Case cases[] = {
        {std::nullopt, m, kCpu,
         "FW_Updater_FAPI:DiffFirmwareContent: No camera connected, cannot run 'diff' operation"},
        {"odd.bin", m, kCpu, "FW_Updater_FAPI:DiffFirmwareContent: EEPROM file has unexpected size"},
        {"missing.bin", m, kCpu, "FW_Updater_FAPI:DiffFirmwareContent: failed to read EEPROM binary file"},
        {"odd.bin", "", kCpu,
         "FW_Updater_FAPI:DiffFirmwareContent: camera model name not defined, please use '--model' command line "
         "parameter"},
        {"odd.bin", m, "",
         "FW_Updater_FAPI:DiffFirmwareContent: firmware version not defined, please use '--cur_fw_ver' command line "
         "parameter"},
        {"odd.bin", m, "05.00",
         "DiffFirmwareContent ERROR: EEPROM diff for JV966JK-TD-G8-V7T9-JND, CPU firmware 05.00 is not supported\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        updater = std::make_unique<TestUpdater>();
        updater->SetFirmwareType(FW_TYPE_EEPROM1);
        if (c.input) {
            updater->SetInputFile(*c.input);
        }
        if (!c.model.empty()) {
            updater->SetCameraModelName(c.model);
        }
        if (!c.cpu.empty()) {
            updater->SetCurrentFirmwareVersion(c.cpu);
        }
        EXPECT_EQ(Capture([&] { updater->DiffFirmwareContent(); }).error, c.error);
    }
    TestUpdater& cpu = Updater("odd.bin");
    cpu.SetFirmwareType(1);
    EXPECT_EQ(Capture([&] { cpu.DiffFirmwareContent(); }).error,
              "DiffFirmwareContent ERROR: Operation supported only for EEEPROM1 firmware type");
    EXPECT_EQ(FilesIn("."), std::vector<std::string>{"odd.bin"});
}

// After a dump of EEPROM1 the image is also listed; a listing that cannot be
// made for a known model never fails the dump, a model without calibration
// definitions does.
TEST(ConvertEEPROMDumpData, ListsTheDumpOrSaysWhyNot)
{
    EmuDir emu;
    eeprom_test::WorkingDirectory work{emu.Root() / "work"};
    emu.AddCamera(kJV966, [](zvemu::CameraRecord& r) { r.versions["version_mcu1"] = kCpu; });
    emu.AddCamera("XY100-UNKNOWN");
    TestUpdater updater;
    updater.SetInputFile("dump.bin");
    Printed([&] { updater.Open(); });

    const std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 3);
    Outcome o = Capture([&] { updater.ConvertEEPROMDumpData(image); });
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "Converting EEPROM data  \nConverting EEPROM data  OK\n");
    EXPECT_EQ(FilesIn("."), (std::vector<std::string>{"dump.bin_CalibData.csv", "dump.bin_OrvikFormat.txt"}));
    EXPECT_TRUE(ReadText("dump.bin_CalibData.csv").starts_with("Mode ID,Name,Value,Unit\n"));

    // Version bytes no definition of the model knows.
    std::vector<std::uint8_t> unknownVersion = image;
    unknownVersion[eeprom_test::kStructVersionOffset] = 9;
    o = Capture([&] { updater.ConvertEEPROMDumpData(unknownVersion); });
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.printed.starts_with("Converting EEPROM data  \n"));
    EXPECT_TRUE(o.printed.ends_with("\nFailed to convert EEPROM calibration file.\n")) << o.printed;
    EXPECT_EQ(fapi_test::Count(o.printed, "\n"), 3u);

    // A model without calibration definitions has no listings: that fails.
    TestUpdater other;
    other.SelectCameraOnBus(1);
    other.SetInputFile("other.bin");
    Printed([&] { other.Open(); });
    o = Capture([&] { other.ConvertEEPROMDumpData(image); });
    EXPECT_EQ(o.error, "ConvertEEPROMDumpData ERROR: Unknown camera model");
    EXPECT_EQ(o.printed, "GetAssocZvFwType - Value is not defined.\n");
    EXPECT_EQ(FilesIn(".").size(), 2u);
}

}  // namespace
