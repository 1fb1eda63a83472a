// The EEPROM data version of emulated cameras: checked offline, rewritten in
// the camera's partition table, read and cached, and the upgrade queries.

#include "eeprom_test_support.h"
#include "emu_dir.h"
#include "fapi_test_support.h"
#include "fw_sel_item.h"

#include <gtest/gtest.h>

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

constexpr const char* kCpu = "02.50";
constexpr const char* kEepromFile = "File_EEPROM1";
constexpr const char* kUnknownModel = "XY100-UNKNOWN";

class EepromVersionTest : public ::testing::Test {
protected:
    unsigned AddCamera(const std::string& model, const std::string& cpu, const std::vector<std::uint8_t>& image)
    {
        const unsigned index =
            emu.AddCamera(model, [&](zvemu::CameraRecord& r) { r.versions[r.CpuVersionParam()] = cpu; });
        Store(index, image);
        return index;
    }
    void Store(unsigned index, const std::vector<std::uint8_t>& image)
    {
        emu.State().WriteFfsFile(emu.CameraId(index), kEepromFile, image);
    }
    std::vector<std::uint8_t> Eeprom(unsigned index) const
    {
        return emu.State().ReadFfsFile(emu.CameraId(index), kEepromFile).value_or(std::vector<std::uint8_t>{});
    }
    void Open(TestUpdater& updater, unsigned index)
    {
        updater.SelectCameraOnBus(static_cast<int>(index));
        updater.SetAccessKey(ZV_DEFAULT_ACCESS_KEY);
        Printed([&] { updater.Open(); });
    }
    std::size_t Writes() const { return emu.TraceWith("param=write_file_ffs").size(); }

    EmuDir emu;
};

TEST_F(EepromVersionTest, OfflineCheckOfModelCpuAndDataVersion)
{
    // No camera is needed, and none is asked for.
    emu.Hook(-1, "nocameras");
    emu.StartTrace();
    struct Case {
        std::string model;
        std::string cpu;
        std::string eeprom;
        std::string printed;
        std::string error;
    };
    const std::string jv = kJV966;
    const Case cases[] = {
        {jv, "02.50", "02.03",
         "EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 02.50 and EEPROM version 02.03 is supported\n", ""},
        {jv, "01.02", "2.1",
         "EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 01.02 and EEPROM version 2.1 is supported\n", ""},
        {jv, "02.50", "02.04", "",
         "OperationVerifyEEPROMVersions ERROR: EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 02.50 and "
         "EEPROM version 02.04 is not supported\n"},
        // Without a point the pair is 0, 0, which no definition holds.
        {jv, "02.50", "2", "",
         "OperationVerifyEEPROMVersions ERROR: EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 02.50 and "
         "EEPROM version 2 is not supported\n"},
        // Read as a byte, 258 would pass for 2.
        {jv, "02.50", "258.3", "", "SplitMajorMinor ERROR: version number out of range 0-255 in '258.3'"},
        {jv, "04.00", "02.03", "",
         "OperationVerifyEEPROMVersions ERROR: EEPROM update for JV966JK-TD-G8-V7T9-JND, CPU firmware 04.00 is not "
         "supported\n"},
        {"JR574XX-D0-BSI-1", "04.10", "03.09",
         "EEPROM update for JR574XX-D0-BSI-1, CPU firmware 04.10 and EEPROM version 03.09 is supported\n", ""},
        {kUnknownModel, "02.50", "02.03", "", "SetCameraModel - Unknown camera model (XY100-UNKNOWN)"},
        {"", "", "", "",
         "OperationVerifyEEPROMVersions ERROR: CPU firmware version was not provided, please use '--cur_fw_ver' "
         "parameter"},
        {"", "02.50", "", "",
         "OperationVerifyEEPROMVersions ERROR: Camera model name was not provided, please use '--model' parameter"},
        {jv, "02.50", "", "",
         "OperationVerifyEEPROMVersions ERROR: EEPROM version wasnot provided, please use '--eeprom_ver' parameter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model + " " + c.cpu + " " + c.eeprom);
        TestUpdater updater;
        if (!c.model.empty()) {
            updater.SetCameraModelName(c.model);
        }
        if (!c.cpu.empty()) {
            updater.SetCurrentFirmwareVersion(c.cpu);
        }
        if (!c.eeprom.empty()) {
            updater.SetEEPROMVersion(c.eeprom);
        }
        const Outcome o = Capture([&] { updater.OperationVerifyEEPROMVersions(); });
        EXPECT_EQ(o.printed, c.printed);
        EXPECT_EQ(o.error, c.error);
    }
    EXPECT_EQ(emu.Trace(), std::vector<std::string>{});
}

TEST(SplitMajorMinor, TwoNumbersAroundTheFirstPoint)
{
    struct Case {
        std::string text;
        int major;
        int minor;
    };
    // Both start at 7: what the text leaves alone stays 7.
    const Case cases[] = {
        {"2.1", 2, 1}, {"02.03", 2, 3}, {" 3.07", 3, 7}, {"2.", 2, 7},    {"2", 7, 7},
        {"", 7, 7},    {"2.x", 2, 0},   {"x.5", 0, 5},   {"1.2.3", 1, 2}, {"255.0", 255, 0},
    };
    for (const Case& c : cases) {
        std::uint8_t major = 7;
        std::uint8_t minor = 7;
        FW_Updater_FAPI::SplitMajorMinor(c.text, major, minor);
        EXPECT_EQ(major, c.major) << c.text;
        EXPECT_EQ(minor, c.minor) << c.text;
    }
    for (const std::string bad : {"256.1", "1.300", "-1.2"}) {
        std::uint8_t major = 7;
        std::uint8_t minor = 7;
        EXPECT_THROW(FW_Updater_FAPI::SplitMajorMinor(bad, major, minor), UpdaterError) << bad;
        EXPECT_EQ(major, 7);
        EXPECT_EQ(minor, 7);
    }
}

// The version bytes change and nothing else: not the rest of the table, not
// the data.
TEST_F(EepromVersionTest, VersionUpdateRewritesOnlyTheTwoVersionBytes)
{
    std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 1);
    image[kTableOffset + 150] = 0x5A;  // table bytes the camera may use
    image[kTableOffset + 200] = 0x77;
    struct Case {
        const char* what;
        std::string eeprom;
        bool fromCpu;
        int structVersion;
        int defaultsVersion;
        std::string shown;
    };
    const Case cases[] = {
        {"given pair", "02.02", false, 2, 2, "02.02"},
        {"pair the CPU needs", "", true, 2, 3, "2.3"},
        {"the CPU's pair wins over a given one", "02.02", true, 2, 3, "2.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const unsigned camera = AddCamera(kJV966, kCpu, image);
        TestUpdater updater;
        Open(updater, camera);
        updater.SetCameraModelName("JV285");
        if (!c.eeprom.empty()) {
            updater.SetEEPROMVersion(c.eeprom);
        }
        if (c.fromCpu) {
            updater.SetEEPROMVersionFromCpu();
        }
        const Outcome o = Capture([&] { updater.OperationEEPROMVersionUpdate(); });
        EXPECT_EQ(o.error, "");
        EXPECT_TRUE(
            o.printed.ends_with("Reading EEPROM data...\nReading...\nRead done OK  \n"
                                "Erasing/Writing...\nErase/Write done OK  \n"
                                "JV966JK-TD-G8-V7T9-JND (CPU 02.50) EEPROM version was successfully updated to " +
                                c.shown + "\n"))
            << o.printed;
        EXPECT_EQ(updater.ModelName(), kJV966);
        EXPECT_EQ(updater.EepromVersion(), c.shown);

        std::vector<std::uint8_t> expected = image;
        expected[eeprom_test::kStructVersionOffset] = static_cast<std::uint8_t>(c.structVersion);
        expected[eeprom_test::kDefaultsVersionOffset] = static_cast<std::uint8_t>(c.defaultsVersion);
        EXPECT_EQ(Eeprom(camera), expected);
    }
}

TEST_F(EepromVersionTest, VersionUpdateWithoutATableCreatesOne)
{
    std::vector<std::uint8_t> image = DefaultsImage(kJV966, kCpu, 2, 3);
    std::fill(image.begin() + kTableOffset, image.end(), 0xFF);
    const unsigned camera = AddCamera(kJV966, kCpu, image);
    TestUpdater updater;
    Open(updater, camera);
    updater.SetEEPROMVersion("2.1");
    EXPECT_EQ(Capture([&] { updater.OperationEEPROMVersionUpdate(); }).error, "");
    const std::vector<std::uint8_t> after = Eeprom(camera);
    const eeprom_test::TableBytes table = TableOf(after);
    EXPECT_TRUE(table.valid);
    EXPECT_EQ(table.structVersion, 2);
    EXPECT_EQ(table.defaultsVersion, 1);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kTableOffset, after.begin()));
}

TEST_F(EepromVersionTest, VersionUpdateRefusalsWriteNothing)
{
    std::vector<std::uint8_t> marked = DefaultsImage(kJV966, kCpu, 2, 1);
    marked[eeprom_test::kFlagOffset] = 1;
    struct Case {
        const char* what;
        std::string model;
        std::vector<std::uint8_t> image;
        std::string eeprom;
        std::string error;
    };
    const Case cases[] = {
        {"pair the CPU does not know", kJV966, DefaultsImage(kJV966, kCpu, 2, 1), "02.04",
         "OperationEEPROMVersionUpdate ERROR: Provided EEPROM structure version is not supported by camera"},
        {"no pair", kJV966, DefaultsImage(kJV966, kCpu, 2, 1), "",
         "OperationEEPROMVersionUpdate ERROR: New EEPROM version is not defined"},
        {"interrupted data update", kJV966, marked, "02.03",
         "OperationEEPROMVersionUpdate ERROR: an EEPROM data update of this camera was interrupted "
         "(update-in-progress mark set); finish it with 'upgrade EEPROM1' before changing the EEPROM version. "
         "Nothing was written."},
        {"model without definitions", kUnknownModel, std::vector<std::uint8_t>(0x10000, 0xFF), "02.03",
         "OperationEEPROMVersionUpdate ERROR: operation not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const unsigned camera = AddCamera(c.model, kCpu, c.image);
        TestUpdater updater;
        Open(updater, camera);
        if (!c.eeprom.empty()) {
            updater.SetEEPROMVersion(c.eeprom);
        }
        emu.StartTrace();
        EXPECT_EQ(Capture([&] { updater.OperationEEPROMVersionUpdate(); }).error, c.error);
        EXPECT_EQ(Writes(), 0u);
        EXPECT_EQ(Eeprom(camera), c.image);
    }
}

TEST_F(EepromVersionTest, DataVersionIsReadOncePerUpdater)
{
    const unsigned camera = AddCamera(kJV966, kCpu, DefaultsImage(kJV966, kCpu, 2, 1));
    TestUpdater updater;
    Open(updater, camera);
    const Outcome first = Capture([&] { EXPECT_EQ(updater.GetEEPROMDataVersion(6), "02.01"); });
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(first.printed, "Reading EEPROM data...\nReading...\nRead done OK  \n");

    // The camera's data change; the updater keeps what it read.
    Store(camera, DefaultsImage(kJV966, kCpu, 2, 3));
    emu.StartTrace();
    const Outcome second = Capture([&] { EXPECT_EQ(updater.GetEEPROMDataVersion(100), "02.01"); });
    EXPECT_EQ(second.printed, "Reading EEPROM data...\n");
    EXPECT_EQ(emu.TraceWith("param=read_file_ffs").size(), 0u);
    EXPECT_EQ(Capture([&] { updater.GetEEPROMDataVersion(5); }).error, "GetEEPROMDataVersion ERROR: Buffer too small");
    EXPECT_EQ(Capture([&] { updater.GetEEPROMDataVersion(0); }).error,
              "GetEEPROMDataVersion ERROR: Invalid buffer length");

    TestUpdater fresh;
    Open(fresh, camera);
    Printed([&] { EXPECT_EQ(fresh.GetEEPROMDataVersion(6), "02.03"); });
}

TEST_F(EepromVersionTest, DataVersionNeedsATableAndAKnownModel)
{
    std::vector<std::uint8_t> noTable = DefaultsImage(kJV966, kCpu, 2, 1);
    noTable[kTableOffset] = 0xFF;
    const unsigned withoutTable = AddCamera(kJV966, kCpu, noTable);
    const unsigned unknown = AddCamera(kUnknownModel, kCpu, std::vector<std::uint8_t>(0x10000, 0xFF));

    TestUpdater updater;
    Open(updater, withoutTable);
    EXPECT_EQ(Capture([&] { updater.GetEEPROMDataVersion(6); }).error,
              "GetEEPROMDataVersion ERROR: EEPROM partition data is not valid");
    TestUpdater other;
    Open(other, unknown);
    const Outcome o = Capture([&] { other.GetEEPROMDataVersion(6); });
    EXPECT_EQ(o.error, "GetEEPROMDataVersion ERROR: Unknown camera model");
    EXPECT_EQ(o.printed, "GetAssocZvFwType - Value is not defined.\n");
}

TEST_F(EepromVersionTest, UpgradeQueries)
{
    const unsigned old = AddCamera(kJV966, kCpu, DefaultsImage(kJV966, kCpu, 2, 1));
    const unsigned current = AddCamera(kJV966, kCpu, DefaultsImage(kJV966, kCpu, 2, 3));
    struct Case {
        unsigned camera;
        bool possible;
        bool needed;
    };
    for (const Case& c : {Case{old, true, true}, Case{current, true, false}}) {
        SCOPED_TRACE(c.camera);
        TestUpdater updater;
        updater.SelectCameraOnBus(static_cast<int>(c.camera));
        updater.SetFirmwareType(FW_TYPE_EEPROM1);
        updater.SetNewFirmwareVersion(kCpu);
        Printed([&] {
            EXPECT_EQ(updater.IsUpdatePossible(), c.possible);
            EXPECT_EQ(updater.IsDataUpgradeNeeded(), c.needed);
        });
        EXPECT_EQ(updater.EepromCache().size(), 0x10000u);
    }

    TestUpdater latest;
    latest.SelectCameraOnBus(static_cast<int>(old));
    Printed([&] { EXPECT_EQ(latest.GetLatestAvailableEEPROMDataVersion(), "02.03"); });

    // Only the calibration data has versions: other types answer at once,
    // without any camera.
    emu.Hook(-1, "nocameras");
    emu.StartTrace();
    TestUpdater cpu;
    cpu.SetFirmwareType(FW_TYPE_CPU1);
    EXPECT_TRUE(cpu.IsUpdatePossible());
    EXPECT_FALSE(cpu.IsDataUpgradeNeeded());
    EXPECT_EQ(emu.Trace(), std::vector<std::string>{});
}

TEST_F(EepromVersionTest, CpuVersionOfTheCameraThroughItsModel)
{
    const unsigned jr = AddCamera("JR574XX-D0-BSI-1", "04.10", DefaultsImage("JR574XX-D0-BSI-1", "04.10", 3, 9));
    const unsigned unknown = AddCamera(kUnknownModel, kCpu, std::vector<std::uint8_t>(0x10000, 0xFF));
    TestUpdater updater;
    Open(updater, jr);
    const Outcome known = Capture([&] { EXPECT_EQ(updater.GetCpuFirmwareVersion(), "04.10"); });
    EXPECT_EQ(known.printed, "");

    TestUpdater other;
    Open(other, unknown);
    other.SetFirmwareType(FW_TYPE_EEPROM1);
    Outcome o = Capture([&] { EXPECT_EQ(other.GetCpuFirmwareVersion(), std::nullopt); });
    EXPECT_EQ(o.printed, "GetAssocZvFwType - Value is not defined.\n");
    o = Capture([&] { other.IsUpdatePossible(); });
    EXPECT_EQ(o.error, "IsUpdatePossible ERROR: operation not supported for camera model");
}

}  // namespace
