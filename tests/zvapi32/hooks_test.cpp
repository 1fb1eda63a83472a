// Test hooks of the emulated library: fault injection in every form, the
// call trace and "no cameras".

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "file_io.h"
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

int32_t ReadInto(ZV_HANDLE h, const std::string& name, Bytes& out)
{
    if (int32_t rc = Select(h, name)) {
        return rc;
    }
    return zvGetParamString(h, "read_file_ffs", reinterpret_cast<char*>(out.data()), static_cast<int32_t>(out.size()));
}

int32_t Write(ZV_HANDLE h, const std::string& name, const Bytes& data)
{
    if (int32_t rc = zvSetParamInt(h, "ffs_access_key", static_cast<int32_t>(zvemu::kDefaultAccessKey))) {
        return rc;
    }
    if (int32_t rc = Select(h, name)) {
        return rc;
    }
    return zvSetParamString(h, "write_file_ffs", data.data(), static_cast<uint32_t>(data.size()));
}

TEST(Hooks, FailTheNthCallOfAFunction)
{
    EmuDir emu;
    emu.AddCamera();
    const ZV_HANDLE h = Open();
    emu.Hook(-1, "fail call=zvGetParamInt nth=2 code=10");
    std::vector<int32_t> results;
    for (int i = 0; i < 3; ++i) {
        int32_t v = -1;
        results.push_back(zvGetParamInt(h, "isexist", &v));
        EXPECT_EQ(v, results.back() == 0 ? 1 : -1);
    }
    EXPECT_EQ(results, (std::vector<int32_t>{0, 10, 0}));
    zvCloseDevice(h);
}

TEST(Hooks, FailAParameterWhileOneFileIsSelected)
{
    EmuDir emu;
    emu.AddCamera();
    emu.AddCamera();
    emu.Hook(0, "fail param=read_file_ffs file=File_EEPROM1 code=7 times=all");
    const ZV_HANDLE h = Open(0), other = Open(1);
    Bytes out(4, 0x33);
    EXPECT_EQ(ReadInto(h, "UserSet1", out), 0);
    for (int i = 0; i < 3; ++i) {
        out.assign(4, 0x33);
        EXPECT_EQ(ReadInto(h, "File_EEPROM1", out), ZV_READ_BLOCK_ERROR);
        EXPECT_EQ(out, Bytes(4, 0x33));
    }
    EXPECT_EQ(ReadInto(other, "File_EEPROM1", out), 0);  // a camera's hook is its own
    zvCloseDevice(h);
    zvCloseDevice(other);
}

TEST(Hooks, FailWithTimesAndAResultOfZero)
{
    EmuDir emu;
    emu.AddCamera();
    emu.Hook(-1, "fail param=led_selector:max nth=2 times=2 code=12");
    const ZV_HANDLE h = Open();
    std::vector<int32_t> results;
    for (int i = 0; i < 5; ++i) {
        int32_t v = 0;
        results.push_back(zvGetParamInt(h, "led_selector:max", &v));
    }
    EXPECT_EQ(results, (std::vector<int32_t>{0, 12, 12, 0, 0}));
    int32_t v = -4;
    EXPECT_EQ(zvGetParamInt(h, "led_selector", &v), 0);  // the plain parameter is another text

    // code=0: the call answers success and does nothing at all.
    emu.Hook(-1, "fail call=zvOpenDevice code=0");
    ZV_HANDLE none = 0;
    EXPECT_EQ(zvOpenDevice(0, &none), 0);
    EXPECT_EQ(none, 0u);
    zvCloseDevice(h);
}

TEST(Hooks, CutAWriteShort)
{
    EmuDir emu;
    emu.AddCamera();
    emu.Hook(0, "cut bytes=10 file=UserSet1");
    emu.Hook(0, "cut bytes=3 code=3 nth=2 file=UserSet2");
    const ZV_HANDLE h = Open();
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(Write(h, "UserSet1", data), ZV_WRITE_BLOCK_ERROR);
    EXPECT_EQ(*emu.State().ReadFfsFile(emu.CameraId(0), "UserSet1"), Bytes(data.begin(), data.begin() + 10));
    EXPECT_EQ(Write(h, "UserSet1", data), 0);  // only the first write is cut
    EXPECT_EQ(emu.State().ReadFfsFile(emu.CameraId(0), "UserSet1")->size(), 100u);

    EXPECT_EQ(Write(h, "UserSet2", data), 0);
    EXPECT_EQ(Write(h, "UserSet2", Bytes(50, 0xEE)), ZV_WRITE_REG_ERROR);
    EXPECT_EQ(*emu.State().ReadFfsFile(emu.CameraId(0), "UserSet2"), Bytes(3, 0xEE));
    zvCloseDevice(h);
}

TEST(Hooks, CorruptAByteOfARead)
{
    EmuDir emu;
    emu.AddCamera();
    emu.State().WriteFfsFile(emu.CameraId(0), "File_FW_CPU1", Bytes(0x40, 0xFF));
    emu.Hook(0, "corrupt at=0x22 xor=0x5A file=File_FW_CPU1");
    const ZV_HANDLE h = Open();
    Bytes head(0x10);
    ASSERT_EQ(ReadInto(h, "File_FW_CPU1", head), 0);  // does not cover 0x22: not counted
    Bytes out(0x40);
    ASSERT_EQ(ReadInto(h, "File_FW_CPU1", out), 0);
    Bytes expected(0x40, 0xFF);
    expected[0x22] = 0xA5;
    EXPECT_EQ(out, expected);
    ASSERT_EQ(ReadInto(h, "File_FW_CPU1", out), 0);
    EXPECT_EQ(out, Bytes(0x40, 0xFF));
    zvCloseDevice(h);
}

TEST(Hooks, NoCameras)
{
    EmuDir emu;
    emu.AddCamera();
    emu.Hook(-1, "nocameras");
    uint32_t count = 5;
    ASSERT_EQ(zvGetNumberDevices(&count), 0);
    EXPECT_EQ(count, 0u);
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(0, &h), ZV_NO_DEVICES_FOUND);
    char text[64];
    EXPECT_EQ(zvGetDeviceInfoString(0, "device_loc_path", text, sizeof text), ZV_NO_DEVICES_FOUND);
    emu.ClearHooks(-1);
    ASSERT_EQ(zvGetNumberDevices(&count), 0);
    EXPECT_EQ(count, 1u);
}

TEST(Hooks, TraceRecordsEveryCall)
{
    EmuDir emu;
    emu.AddCamera();
    emu.StartTrace();
    const ZV_HANDLE h = Open();
    ASSERT_EQ(zvSetParamInt(h, "version_selector", 5), 0);
    ASSERT_EQ(Write(h, "UserSet1", Bytes(300, 1)), 0);
    int32_t v = 0;
    EXPECT_EQ(zvGetParamInt(0, "ffs_file_size", &v), ZV_INVALID_HANDLE);
    zvCloseDevice(h);
    const std::string hs = std::to_string(h);
    const std::vector<std::string> expected = {
        "zvOpenDevice index=0 opened=" + hs + " rc=0",
        "zvSetParamInt handle=" + hs + " param=version_selector value=5 rc=0",
        "zvSetParamInt handle=" + hs + " param=ffs_access_key value=1798244564 rc=0",
        "zvSetParamString handle=" + hs + " param=ffs_file_name size=8 value=UserSet1 rc=0",
        "zvSetParamString handle=" + hs + " param=write_file_ffs size=300 offset=0 rc=0",
        "zvGetParamInt handle=0 param=ffs_file_size rc=1",
        "zvCloseDevice handle=" + hs + " rc=0",
    };
    EXPECT_EQ(emu.Trace(), expected);
}

TEST(Hooks, CountingStartsAgainInEveryProcess)
{
    EmuDir emu;
    emu.AddCamera();
    emu.Hook(-1, "fail call=zvOpenDevice code=56");
    for (int run = 0; run < 2; ++run) {
        const int status = std::system((std::string(ZVAPI32_PROBE) + " string device_sn >/dev/null").c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 56) << "run " << run;
    }
}

// callno= aims at one call of a process by its number, whatever the
// function: the probe opens (call 1), selects (2) and reads or writes (3, 4).
TEST(Hooks, AimAtTheNthCallOfTheProcess)
{
    struct Case {
        const char* hook;
        const char* args;
        int status;
        const char* stored;  // UserSet1 afterwards, in hex
        const char* printed;
    } cases[] = {
        {"fail callno=1 code=57", "string device_sn", 57, "00112233", ""},
        {"fail callno=2 code=57", "string device_sn", 57, "00112233", ""},
        {"fail callno=2 code=57 times=all", "read UserSet1 4", 57, "00112233", ""},
        {"fail callno=2 call=zvOpenDevice code=57", "read UserSet1 4", 0, "00112233", "00112233\n"},
        {"corrupt callno=3 at=1", "read UserSet1 4", 0, "00112233", "00ee2233\n"},
        {"corrupt callno=2 at=1", "read UserSet1 4", 0, "00112233", "00112233\n"},
        {"cut callno=4 bytes=1", "write UserSet1 0x6B2F08D4 aabbccdd", 8, "aa", ""},
        {"cut callno=3 bytes=1", "write UserSet1 0x6B2F08D4 aabbccdd", 0, "aabbccdd", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        EmuDir emu;
        emu.AddCamera();
        emu.State().WriteFfsFile(emu.CameraId(0), "UserSet1", Bytes{0x00, 0x11, 0x22, 0x33});
        emu.Hook(-1, c.hook);
        const std::string out = (emu.Root() / "out.txt").string();
        const int status = std::system((std::string(ZVAPI32_PROBE) + " " + c.args + " >" + out).c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
        std::string hex;
        const Bytes stored = emu.State().ReadFfsFile(emu.CameraId(0), "UserSet1").value_or(Bytes{});
        for (uint8_t b : stored) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        EXPECT_EQ(hex, c.stored);
        if (std::string(c.args).starts_with("read")) {
            EXPECT_EQ(zvtest::ReadText(out), c.printed);
        }
    }
}

TEST(Hooks, SpecsAreCheckedWhenParsed)
{
    struct Case {
        const char* line;
        bool ok;
        bool libraryWide;
        bool forCamera;
    } cases[] = {
        {"fail call=zvGetParamInt code=10", true, true, true},
        {"fail param=read_file_ffs code=0x7 nth=3 times=all file=File_EEPROM1", true, true, true},
        {"cut bytes=16", true, true, true},
        {"corrupt at=0x22 xor=0x01", true, true, true},
        {"vanish opens=3", true, false, true},
        {"nocameras", true, true, false},
        {"trace", true, true, false},
        {"fail callno=7 code=10 times=all", true, true, true},
        {"cut callno=3 bytes=1", true, true, true},
        {"fail code=10", false, false, false},
        {"fail callno=0 code=10", false, false, false},
        {"fail callno=2 nth=2 code=10", false, false, false},
        {"fail callno=2 call=zvOpenDevice param=x code=10", false, false, false},
        {"fail call=zvNoSuchCall code=10", false, false, false},
        {"fail call=zvOpenDevice param=x code=1", false, false, false},
        {"fail call=zvOpenDevice", false, false, false},
        {"fail call=zvOpenDevice code=1 nth=0", false, false, false},
        {"fail call=zvOpenDevice code=1 times=0", false, false, false},
        {"cut bytes=4 code=0", false, false, false},
        {"corrupt xor=3", false, false, false},
        {"corrupt at=1 xor=0x100", false, false, false},
        {"vanish opens=0", false, false, false},
        {"vanish", false, false, false},
        {"trace now=1", false, false, false},
        {"cut bytes=ten", false, false, false},
        {"explode", false, false, false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto hook = zvemu::ParseHook(c.line, &error);
        EXPECT_EQ(hook.has_value(), c.ok) << c.line;
        if (!hook) {
            EXPECT_FALSE(error.empty()) << c.line;
            continue;
        }
        EXPECT_EQ(zvemu::HookAllowedLibraryWide(*hook), c.libraryWide) << c.line;
        EXPECT_EQ(zvemu::HookAllowedForCamera(*hook), c.forCamera) << c.line;
    }
}

}  // namespace
