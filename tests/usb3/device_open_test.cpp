// Finding, opening and locking cameras: enumeration over both interface
// classes, the context's paths, and the named device lock between threads
// and processes.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "debug_print.h"
#include "os_process.h"
#include "usb3_fixture.h"
#include "zvusb3/usb3_driver.h"

namespace usb3test {
namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

zvemu::Usb3Seed PublicSeed()
{
    zvemu::Usb3Seed seed;
    seed.face.publicClass = true;
    return seed;
}

TEST_F(Usb3Test, EnumerationRunsOverThePublicClassFirst)
{
    // No camera at all.
    EXPECT_EQ(GetNumberDevicesUSB30(), 0);
    EXPECT_FALSE(OpenDeviceUSB30(0));
    // A camera without a USB3 face is no USB3 device.
    emu_.AddCamera();
    EXPECT_EQ(GetNumberDevicesUSB30(), 0);
    AddUsb3();              // maker class, folder 1
    AddUsb3(PublicSeed());  // public class, folder 2
    EXPECT_EQ(CountDeviceInterfaces(zv::usb3::kPublicInterfaceClass), 1);
    EXPECT_EQ(CountDeviceInterfaces(zv::usb3::kMakerInterfaceClass), 1);
    EXPECT_EQ(GetNumberDevicesUSB30(), 2);
    auto first = OpenDeviceUSB30(0);
    auto second = OpenDeviceUSB30(1);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(Contains(first->devicePath, "{ae18aa60-"));
    EXPECT_TRUE(Contains(first->devicePath, emu_.Camera(2).serial));
    EXPECT_TRUE(Contains(second->devicePath, "{4b7e21c9-"));
    EXPECT_TRUE(Contains(second->devicePath, emu_.Camera(1).serial));
    EXPECT_EQ(first->location, emu_.Camera(2).locPath);
    // Past the present devices, and above 65535, nothing opens: the index
    // never wraps to camera 0.
    EXPECT_FALSE(OpenDeviceUSB30(2));
    EXPECT_FALSE(OpenDeviceUSB30(65536));
    EXPECT_FALSE(OpenDeviceUSB30(65537));
    // A library that reports no cameras reports no USB3 devices either.
    emu_.Hook(-1, "nocameras");
    EXPECT_FALSE(OpenDeviceUSB30(0));
}

TEST_F(Usb3Test, OnlyThePublicDevicesWithoutMakerOnesFailPastTheirCount)
{
    AddUsb3(PublicSeed());
    EXPECT_TRUE(OpenDeviceUSB30(0));
    EXPECT_FALSE(OpenDeviceUSB30(1));
}

TEST_F(Usb3Test, AtMost255InterfacesOfAClassAreCounted)
{
    // Enumeration needs only the faces' settings, not their memories.
    zvemu::Usb3Face face;
    face.publicClass = true;
    for (unsigned i = 0; i < 256; ++i) {
        const std::string id = emu_.State().AddCamera(zvemu::DefaultCamera("JV966", i));
        zvemu::SaveUsb3Face(emu_.State(), id, face);
    }
    EXPECT_EQ(CountDeviceInterfaces(zv::usb3::kPublicInterfaceClass), 255);
    EXPECT_EQ(GetNumberDevicesUSB30(), 255);
}

TEST_F(Usb3Test, LocationsAndPathsAreKeptWhole)
{
    const std::string longLocation = "PCIROOT(0)#PCI(1400)#USBROOT(0)" + std::string(1800, '#') + "#USB(4)";
    const unsigned cam = emu_.AddCamera("JV966", [&](zvemu::CameraRecord& r) { r.locPath = longLocation; });
    zvemu::AddUsb3Face(emu_.State(), emu_.CameraId(cam), emu_.Camera(cam), {});
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_GT(context->location.size(), context->devicePath.size());
    EXPECT_EQ(context->location, longLocation);
    std::vector<char> buffer(2049, 'x');
    ASSERT_TRUE(GetDeviceLocationUSB30(context.get(), buffer.data(), static_cast<int>(buffer.size())));
    EXPECT_EQ(std::string(buffer.data()), longLocation);
    char small[10];
    ASSERT_TRUE(GetDevicePathUSB30(context.get(), small, sizeof small));
    EXPECT_EQ(std::string(small), context->devicePath.substr(0, 9));
    EXPECT_FALSE(GetDevicePathUSB30(nullptr, small, sizeof small));
    EXPECT_FALSE(GetDeviceLocationUSB30(nullptr, small, sizeof small));
}

TEST_F(Usb3Test, LocationPropertyFaults)
{
    struct Case {
        const char* hook;
        bool opens;
        const char* location;  // beginning of the location, when it opens
    };
    for (const Case& c : {Case{"u3location state=invalid", true, "Port_#"}, Case{"u3location state=missing", false, ""},
                          Case{"u3location state=long", false, ""}}) {
        SCOPED_TRACE(c.hook);
        emu_.State().RemoveAll();
        AddUsb3();
        Hook(0, c.hook);
        auto context = OpenDeviceUSB30(0);
        EXPECT_EQ(static_cast<bool>(context), c.opens);
        if (context) {
            EXPECT_EQ(context->location.rfind(c.location, 0), 0u) << context->location;
        }
    }
}

TEST_F(Usb3Test, MutexNameTurnsEveryBackslashIntoABar)
{
    EXPECT_EQ(U3MutexName("\\\\?\\usb#vid_20f7&pid_3001#X\\Y#{guid}"), "||?|usb#vid_20f7&pid_3001#X|Y#{guid}");
    EXPECT_EQ(U3MutexName("plain/path:1"), "plain/path:1");
}

TEST_F(Usb3Test, TheSerialIsTheInstancePartOfTheDevicePathUpToItsTag)
{
    const std::pair<std::string, std::string> rows[] = {
        // What follows the serial after a '&' tells devices apart, not cameras.
        {"\\\\?\\usb#vid_20f7&pid_3001#ZVEMU21000A0&1a2b#{guid}", "ZVEMU21000A0"},
        {"\\\\?\\usb#vid_20f7&pid_3001#ABC#", "ABC"},
        // No instance part: the path itself names the camera.
        {"\\\\?\\usb#vid_20f7&pid_3001##{guid}", "\\\\?\\usb#vid_20f7&pid_3001##{guid}"},
        {"\\\\?\\usb#vid_20f7&pid_3001#ABC", "\\\\?\\usb#vid_20f7&pid_3001#ABC"},
        {"", ""},
    };
    for (const auto& [path, serial] : rows) {
        EXPECT_EQ(U3DeviceSerial(path), serial) << path;
    }
}

TEST_F(Usb3Test, TheLockNestsForItsThreadAndBlocksOthers)
{
    AddUsb3();
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    auto other = OpenDeviceUSB30(0);  // a second context on the same camera
    ASSERT_TRUE(other);
    auto otherThreadLocks = [&] {
        bool locked = false;
        std::thread([&] {
            locked = LockResourceAccess(*other);
            if (locked) {
                UnlockResourceAccess(*other);
            }
        }).join();
        return locked;
    };
    ASSERT_TRUE(LockResourceAccess(*context));
    ASSERT_TRUE(LockResourceAccess(*context));
    // A request taking the lock again inside a held one goes through.
    std::uint8_t version[2] = {};
    EXPECT_EQ(u3VrReq(*context, 0xC0, 0, 0, version, 2, 0, 1), 0);
    const std::uint32_t before = clock_.Now();
    EXPECT_FALSE(otherThreadLocks());
    EXPECT_GE(clock_.Now() - before, 5000u);
    EXPECT_TRUE(Contains(debug_.Text(), "zvAPI: LockResourceAccess Error: timeout\n"));
    EXPECT_TRUE(UnlockResourceAccess(*context));
    EXPECT_FALSE(otherThreadLocks());  // still held once
    EXPECT_TRUE(UnlockResourceAccess(*context));
    EXPECT_TRUE(otherThreadLocks());
}

TEST_F(Usb3Test, SeparateStateDirectoriesNeverShareALock)
{
    AddUsb3();
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    ASSERT_TRUE(LockResourceAccess(*context));
    {
        // The same camera (same serial) in another state directory.
        zvtest::EmuDir other;
        const unsigned cam = other.AddCamera();
        zvemu::AddUsb3Face(other.State(), other.CameraId(cam), other.Camera(cam), {});
        auto elsewhere = OpenDeviceUSB30(0);
        ASSERT_TRUE(elsewhere);
        EXPECT_NE(elsewhere->devicePath, context->devicePath);
        const std::uint32_t before = clock_.Now();
        EXPECT_TRUE(LockResourceAccess(*elsewhere));
        EXPECT_EQ(clock_.Now(), before);
        UnlockResourceAccess(*elsewhere);
    }
    UnlockResourceAccess(*context);
}

zv::os::ProcessResult Probe(const std::vector<std::string>& args)
{
    return zv::os::RunProcess(USB3_PROBE, args, {}, {{"ZVOS_VIRTUAL_SLEEP", "1"}});
}

TEST_F(Usb3Test, ASecondProcessWaitsOutTheLockAndFails)
{
    AddUsb3();
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    ASSERT_TRUE(LockResourceAccess(*context));
    const auto run = Probe({"lock-wait", "0"});
    UnlockResourceAccess(*context);
    ASSERT_EQ(run.exitStatus, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "rc=1 ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "zvAPI: LockResourceAccess Error: timeout\n"));
    EXPECT_TRUE(Contains(run.out, "zvAPI: hRWMutex failed\r\n"));
    // Its open (whose version request also waits) and its request: 5000 ms each, on its clock.
    const auto waited = std::stoul(run.out.substr(run.out.find("waited=") + 7));
    EXPECT_GE(waited, 10000u);
    EXPECT_LT(waited, 12000u);
    // Released, the same request passes at once.
    const auto again = Probe({"lock-wait", "0"});
    EXPECT_TRUE(Contains(again.out, "rc=0 ")) << again.out;
}

TEST_F(Usb3Test, AHolderKilledHoldingTheLockBlocksNoOne)
{
    AddUsb3();
    const auto run = Probe({"hold-and-die", "0"});
    ASSERT_EQ(run.out, "held\n");
    EXPECT_EQ(run.exitStatus, 128 + SIGKILL);
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    const std::uint32_t before = clock_.Now();
    EXPECT_TRUE(LockResourceAccess(*context));
    EXPECT_EQ(clock_.Now(), before);
    EXPECT_TRUE(Contains(debug_.Text(), "ended without releasing"));
    UnlockResourceAccess(*context);
    // Released properly, the next one takes it without a note.
    const std::string notes = debug_.Text();
    EXPECT_TRUE(LockResourceAccess(*context));
    EXPECT_EQ(debug_.Text(), notes);
    UnlockResourceAccess(*context);
}

TEST_F(Usb3Test, AWriterKilledMidWayLeavesExactlyWhatItWrote)
{
    const unsigned cam = AddUsb3();
    const auto run = Probe({"write-and-die", "0", "37"});
    ASSERT_EQ(run.out, "wrote 37\n");
    EXPECT_EQ(run.exitStatus, 128 + SIGKILL);
    const auto flash = Spi(cam, 0x210000, 64 * 40);
    for (int i = 0; i < 40; ++i) {
        for (int b = 0; b < 64; ++b) {
            const std::uint8_t expected = i < 37 ? static_cast<std::uint8_t>(i + b) : 0xFF;
            ASSERT_EQ(flash[static_cast<std::size_t>(64 * i + b)], expected) << "piece " << i << " byte " << b;
        }
    }
}

TEST_F(Usb3Test, DebugPrintPrefixesCutsAndNeverPrintsOnStandardOutput)
{
    testing::internal::CaptureStdout();
    DebugPrintf("hRWMutex failed\r\n");
    DebugPrintf("%s", std::string(2000, 'a').c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const std::string text = debug_.Text();
    EXPECT_EQ(text.rfind("zvAPI: hRWMutex failed\r\nzvAPI: aaa", 0), 0u);
    EXPECT_EQ(text.size(), std::string("zvAPI: hRWMutex failed\r\n").size() + 1023);  // cut before the last byte
    // The start level emits thresholds 3 and 4, not 1.
    EXPECT_EQ(GetDebugLevel(), 2);
    EXPECT_TRUE(DebugLevelAtMost(3));
    EXPECT_TRUE(DebugLevelAtMost(4));
    EXPECT_FALSE(DebugLevelAtMost(1));
    // Switches: to standard output as well, or nowhere.
    DebugToStdoutOn();
    testing::internal::CaptureStdout();
    DebugPrintf("x=%d\n", 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "zvAPI: x=5\n");
    DebugToStdoutOff();
    DebugToDebuggerOff();
    const std::size_t size = debug_.Text().size();
    DebugPrintf("silent\n");
    EXPECT_EQ(debug_.Text().size(), size);
    DebugToDebuggerOn();
}

}  // namespace
}  // namespace usb3test
