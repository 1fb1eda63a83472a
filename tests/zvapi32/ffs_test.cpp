// The camera's flash file system, its keys and progress, persistence across
// processes, and what a reset does.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "zvapi32.h"

namespace {

using zvtest::EmuDir;
using Bytes = std::vector<uint8_t>;

ZV_HANDLE Open(uint32_t index = 0)
{
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(index, &h), 0);
    return h;
}

int32_t Select(ZV_HANDLE h, const std::string& name)
{
    return zvSetParamString(h, "ffs_file_name", name.data(), static_cast<uint32_t>(name.size()));
}

int32_t Write(ZV_HANDLE h, const std::string& name, uint32_t key, uint32_t offset, const Bytes& data)
{
    if (int32_t rc = zvSetParamInt(h, "ffs_access_key", static_cast<int32_t>(key))) {
        return rc;
    }
    if (int32_t rc = Select(h, name)) {
        return rc;
    }
    if (int32_t rc = zvSetParamInt(h, "ffs_file_offset", static_cast<int32_t>(offset))) {
        return rc;
    }
    return zvSetParamString(h, "write_file_ffs", data.data(), static_cast<uint32_t>(data.size()));
}

Bytes Read(ZV_HANDLE h, const std::string& name, uint32_t offset, uint32_t size)
{
    EXPECT_EQ(Select(h, name), 0);
    EXPECT_EQ(zvSetParamInt(h, "ffs_file_offset", static_cast<int32_t>(offset)), 0);
    Bytes out(size);
    EXPECT_EQ(zvGetParamString(h, "read_file_ffs", reinterpret_cast<char*>(out.data()), static_cast<int32_t>(size)), 0);
    return out;
}

int32_t Size(ZV_HANDLE h, const std::string& name)
{
    EXPECT_EQ(Select(h, name), 0);
    int32_t size = -1;
    EXPECT_EQ(zvGetParamInt(h, "ffs_file_size", &size), 0);
    return size;
}

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return b;
}

std::string Hex(const Bytes& b)
{
    std::string s;
    char two[3];
    for (uint8_t v : b) {
        std::snprintf(two, sizeof two, "%02x", v);
        s += two;
    }
    return s;
}

std::string RunProbe(const std::string& args, int* status = nullptr)
{
    std::string out;
    FILE* pipe = ::popen((std::string(ZVAPI32_PROBE) + " " + args).c_str(), "r");
    char chunk[4096];
    while (pipe && std::fgets(chunk, sizeof chunk, pipe)) {
        out += chunk;
    }
    const int rc = pipe ? ::pclose(pipe) : -1;
    if (status) {
        *status = rc;
    }
    return out;
}

TEST(Ffs, SelectingAFileStartsAtOffsetZero)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open();
    ASSERT_EQ(Select(h, "UserSet1"), 0);
    ASSERT_EQ(zvSetParamInt(h, "ffs_file_offset", 100), 0);
    ASSERT_EQ(Select(h, "UserSet2"), 0);
    int32_t offset = -1;
    ASSERT_EQ(zvGetParamInt(h, "ffs_file_offset", &offset), 0);
    EXPECT_EQ(offset, 0);
    char name[80] = {};
    ASSERT_EQ(zvGetParamString(h, "ffs_file_name", name, sizeof name), 0);
    EXPECT_STREQ(name, "UserSet2");

    for (const std::string& bad :
         {std::string(), std::string(65, 'A'), std::string("Bad\nName"), std::string("Nul\0Name", 8)}) {
        EXPECT_EQ(Select(h, bad), ZV_FFS_FILE_SELECTOR_INVALID) << bad.size();
    }
    ASSERT_EQ(zvGetParamString(h, "ffs_file_name", name, sizeof name), 0);
    EXPECT_STREQ(name, "UserSet2");  // a refused name keeps the old selection

    const ZV_HANDLE fresh = Open();
    int32_t size = -1;
    EXPECT_EQ(zvGetParamInt(fresh, "ffs_file_size", &size), ZV_FFS_FILE_SELECTOR_INVALID);
    char byte = 'k';
    EXPECT_EQ(zvGetParamString(fresh, "read_file_ffs", &byte, 1), ZV_FFS_FILE_SELECTOR_INVALID);
    EXPECT_EQ(byte, 'k');
    zvCloseDevice(h);
    zvCloseDevice(fresh);
}

TEST(Ffs, MissingFilesAndReadsPastTheEndReadErased)
{
    EmuDir emu;
    emu.AddCamera();
    emu.State().WriteFfsFile(emu.CameraId(0), "SensInfo", Pattern(10, 1));
    const ZV_HANDLE h = Open();
    EXPECT_EQ(Size(h, "UserSets"), 0);
    EXPECT_EQ(Read(h, "UserSets", 0, 4), Bytes(4, 0xFF));
    EXPECT_EQ(Size(h, "SensInfo"), 10);
    // Exactly the requested bytes, erased past the end, nothing beyond the request.
    Bytes buffer(20, 0x5A);
    ASSERT_EQ(Select(h, "SensInfo"), 0);
    ASSERT_EQ(zvSetParamInt(h, "ffs_file_offset", 6), 0);
    ASSERT_EQ(zvGetParamString(h, "read_file_ffs", reinterpret_cast<char*>(buffer.data()), 8), 0);
    Bytes expected = Pattern(10, 1);
    expected = Bytes(expected.begin() + 6, expected.end());
    expected.resize(8, 0xFF);
    expected.resize(20, 0x5A);
    EXPECT_EQ(buffer, expected);
    // The calibration EEPROM is a fixed region, erased until written.
    EXPECT_EQ(Size(h, "File_EEPROM1"), 65536);
    EXPECT_EQ(Read(h, "File_EEPROM1", 0xFFFC, 4), Bytes(4, 0xFF));
    zvCloseDevice(h);
}

TEST(Ffs, WritesReplaceAtZeroAndPatchElsewhere)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open();
    const uint32_t key = zvemu::kDefaultAccessKey;
    ASSERT_EQ(Write(h, "UserSet1", key, 0, Pattern(100, 3)), 0);
    ASSERT_EQ(Write(h, "UserSet1", key, 0, Pattern(10, 9)), 0);
    EXPECT_EQ(Size(h, "UserSet1"), 10);
    EXPECT_EQ(Read(h, "UserSet1", 0, 10), Pattern(10, 9));

    ASSERT_EQ(Write(h, "UserSet1", key, 4, Bytes{1, 2}), 0);
    ASSERT_EQ(Write(h, "UserSet1", key, 14, Bytes{7}), 0);
    // Bytes 10..13 were never written and read as erased flash.
    Bytes expected(15, 0xFF);
    const Bytes before = Pattern(10, 9);
    std::copy(before.begin(), before.end(), expected.begin());
    expected[4] = 1;
    expected[5] = 2;
    expected[14] = 7;
    EXPECT_EQ(Size(h, "UserSet1"), 15);
    EXPECT_EQ(Read(h, "UserSet1", 0, 15), expected);

    // The EEPROM region is patched in place: a partition-table write at
    // 0xFE00 leaves every other byte.
    const Bytes image = Pattern(65536, 5);
    ASSERT_EQ(Write(h, "File_EEPROM1", zvemu::kEepromKey, 0, image), 0);
    ASSERT_EQ(Write(h, "File_EEPROM1", zvemu::kEepromKey, 0xFE00, Bytes(180, 0x42)), 0);
    Bytes patched = image;
    std::fill(patched.begin() + 0xFE00, patched.begin() + 0xFE00 + 180, 0x42);
    EXPECT_EQ(Read(h, "File_EEPROM1", 0, 65536), patched);
    EXPECT_EQ(Write(h, "File_EEPROM1", zvemu::kEepromKey, 0xFF00, Bytes(257, 0)), ZV_WRONG_PARAM_SIZE);
    EXPECT_EQ(Read(h, "File_EEPROM1", 0, 65536), patched);
    EXPECT_EQ(Size(h, "File_EEPROM1"), 65536);
    zvCloseDevice(h);
}

TEST(Ffs, WritesNeedTheFilesKeyAndARefusedKeyChangesNothing)
{
    EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.accessKey = 0x11112222;
        r.specialKey = 0x33334444;
    });
    const uint32_t access = 0x11112222, special = 0x33334444;
    struct Case {
        const char* file;
        uint32_t key;
        int32_t rc;
    } cases[] = {
        {"File_EEPROM1", zvemu::kEepromKey, 0},
        {"File_EEPROM1", access, ZV_NOT_ENOUGH_PRIVILEGES},
        {"File_FW_FPGA1", access, 0},
        {"File_FW_FPGA1", zvemu::kDefaultAccessKey, ZV_NOT_ENOUGH_PRIVILEGES},
        {"UserSet3", access, 0},
        {"UserSet3", 0, ZV_NOT_ENOUGH_PRIVILEGES},
        {"FFS_Partition", special, 0},
        {"FFS_Partition", access, ZV_NOT_ENOUGH_PRIVILEGES},
        {"FullFlashContent", special, 0},
        {"FullFlashContent", access, ZV_NOT_ENOUGH_PRIVILEGES},
        {"UserSetFactory", special, 0},
        {"UserSetFactory", access, ZV_NOT_ENOUGH_PRIVILEGES},
        {"FwOperationLog.zip", 0, 0},
        {"FwOperationLog.zip", 0xDEADBEEF, 0},
    };
    const ZV_HANDLE h = Open();
    for (const auto& c : cases) {
        const Bytes before = Read(h, c.file, 0, 64);
        const Bytes data = Pattern(64, static_cast<uint8_t>(c.key));
        EXPECT_EQ(Write(h, c.file, c.key, 0, data), c.rc) << c.file << " " << std::hex << c.key;
        // Reads need no key.
        ASSERT_EQ(zvSetParamInt(h, "ffs_access_key", 0), 0);
        EXPECT_EQ(Read(h, c.file, 0, 64), c.rc == 0 ? data : before) << c.file;
    }
    zvCloseDevice(h);
}

std::vector<int>* g_percentages = nullptr;
void RecordPercent(int percent)
{
    g_percentages->push_back(percent);
}

TEST(Ffs, ProgressCallbackBelongsToTheHandle)
{
    EmuDir emu;
    emu.AddCamera();
    std::vector<int> seen;
    g_percentages = &seen;
    const ZV_HANDLE h = Open(), other = Open();
    const auto callback = reinterpret_cast<const void*>(&RecordPercent);
    ASSERT_EQ(zvSetParamString(h, "api_progress_callback", callback, 0), 0);
    EXPECT_EQ(zvSetParamString(h, "api_progress_callback", callback, 4), ZV_WRONG_PARAM_SIZE);

    auto check = [&](const char* what) {
        ASSERT_FALSE(seen.empty()) << what;
        EXPECT_EQ(seen.front(), 0) << what;
        EXPECT_EQ(seen.back(), 100) << what;
        EXPECT_GT(seen.size(), 3u) << what;
        for (size_t i = 1; i < seen.size(); ++i) {
            EXPECT_LE(seen[i - 1], seen[i]) << what;
        }
        seen.clear();
    };
    ASSERT_EQ(Write(h, "UserSet1", zvemu::kDefaultAccessKey, 0, Pattern(100000, 1)), 0);
    check("write");
    Read(h, "UserSet1", 0, 100000);
    check("read");
    Read(h, "UserSet1", 0, 0);
    EXPECT_EQ(seen, std::vector<int>{100});
    seen.clear();

    Read(other, "UserSet1", 0, 100000);  // another handle has no callback
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(zvSetParamString(h, "api_progress_callback", nullptr, 0), 0);
    Read(h, "UserSet1", 0, 100000);
    EXPECT_TRUE(seen.empty());
    g_percentages = nullptr;
    zvCloseDevice(h);
    zvCloseDevice(other);
}

TEST(Ffs, WritesLeaveNoTemporaryFiles)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Write(h, "UserSet1", zvemu::kDefaultAccessKey, 0, Pattern(5000, 1)), 0);
    }
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(emu.Root() / emu.CameraId(0) / "ffs")) {
        ++entries;
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
    }
    EXPECT_EQ(entries, 1u);
    zvCloseDevice(h);
}

TEST(Ffs, FilesPersistAcrossProcesses)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open();
    const Bytes mine = Pattern(32, 0x40);
    ASSERT_EQ(Write(h, "UserSet1", zvemu::kDefaultAccessKey, 0, mine), 0);
    EXPECT_EQ(RunProbe("read UserSet1 32"), Hex(mine) + "\n");

    int status = -1;
    RunProbe("write UserSet2 0x6B2F08D4 0102030405", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(h, "UserSet2", 0, 6), (Bytes{1, 2, 3, 4, 5, 0xFF}));
    // A refused key in the other process reaches this one as its code.
    RunProbe("write UserSet2 0x1 AA", &status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(Read(h, "UserSet2", 0, 1), Bytes{1});
    zvCloseDevice(h);
}

// A written CPU image is unconfirmed until a reset starts it; the reset makes
// the image's version (bytes 6 and 5) the running one.
TEST(Reset, ConfirmsTheNewCpuImageAndRunsItsVersion)
{
    struct Case {
        const char* model;
        const char* cpuFile;
        const char* otherCpuFile;
        const char* versionParam;
        int32_t selector;
    } cases[] = {
        {"JV966JK-TD-G8-V7T9-JND", "File_FW_CPU1", "File_FW_CPU2", "version_mcu1", ZV_VER_MCU1},
        {"JR574XX-D0-BSI-1", "File_FW_CPU2", "File_FW_CPU1", "version_mcu2", ZV_VER_MCU2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        EmuDir emu;
        emu.AddCamera(c.model);
        const ZV_HANDLE h = Open();
        Bytes image = Pattern(0x100, 0);
        image[5] = 0x20;
        image[6] = 0x03;
        image[0x22] = 0x12;
        ASSERT_EQ(Write(h, c.cpuFile, zvemu::kDefaultAccessKey, 0, image), 0);
        ASSERT_EQ(Write(h, c.otherCpuFile, zvemu::kDefaultAccessKey, 0, image), 0);
        EXPECT_EQ(Read(h, c.cpuFile, 0x22, 1), Bytes{0xFF});
        EXPECT_EQ(Read(h, c.otherCpuFile, 0x22, 1), Bytes{0x12});  // not this model's CPU
        EXPECT_EQ(emu.Camera(0).Version(c.versionParam), "01.00");

        ASSERT_EQ(zvSetParamInt(h, "device_reset", 1), 0);
        EXPECT_EQ(Read(h, c.cpuFile, 0x22, 1), Bytes{0xA5});
        char text[32] = {};
        ASSERT_EQ(zvSetParamInt(h, "version_selector", c.selector), 0);
        ASSERT_EQ(zvGetParamString(h, "version", text, sizeof text), 0);
        EXPECT_STREQ(text, "03.20");
        ASSERT_EQ(zvGetParamString(h, c.versionParam, text, sizeof text), 0);
        EXPECT_STREQ(text, "03.20");

        // A patch of the image makes it unconfirmed again; a reset of a
        // confirmed image changes nothing.
        ASSERT_EQ(Write(h, c.cpuFile, zvemu::kDefaultAccessKey, 0x80, Bytes{1}), 0);
        EXPECT_EQ(Read(h, c.cpuFile, 0x22, 1), Bytes{0xFF});
        ASSERT_EQ(zvSetParamInt(h, "device_reset", 1), 0);
        ASSERT_EQ(zvSetParamInt(h, "device_reset", 1), 0);
        EXPECT_EQ(Read(h, c.cpuFile, 0x22, 1), Bytes{0xA5});
        EXPECT_EQ(emu.Camera(0).Version(c.versionParam), "03.20");
        zvCloseDevice(h);
    }
}

TEST(Reset, ACameraCanVanishForSomeOpenAttempts)
{
    EmuDir emu;
    emu.AddCamera();
    emu.Hook(0, "vanish opens=2");
    const ZV_HANDLE h = Open();
    ASSERT_EQ(zvSetParamInt(h, "device_reset", 1), 0);

    int32_t exist = -1;
    ASSERT_EQ(zvGetParamInt(h, "isexist", &exist), 0);
    EXPECT_EQ(exist, 0);
    char name[64] = {};
    EXPECT_EQ(zvGetParamString(h, "device_name", name, sizeof name), ZV_DEVICE_NOT_READY);
    uint32_t count = 9;
    ASSERT_EQ(zvGetNumberDevices(&count), 0);
    EXPECT_EQ(count, 0u);

    ZV_HANDLE again = 0;
    EXPECT_EQ(zvOpenDevice(0, &again), ZV_NO_DEVICES_FOUND);
    const std::string sn = emu.Camera(0).serial;
    EXPECT_EQ(zvOpenDeviceBy(ZV_OPEN_BY_SN, sn.c_str(), &again), ZV_NO_DEVICES_FOUND);
    ASSERT_EQ(zvOpenDevice(0, &again), 0);  // the third attempt finds it back
    ASSERT_EQ(zvGetParamInt(h, "isexist", &exist), 0);
    EXPECT_EQ(exist, 1);
    zvCloseDevice(h);
    zvCloseDevice(again);
}

}  // namespace
