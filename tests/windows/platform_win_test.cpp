// The Win32 side of the platform layer: console control, the process runner,
// named locks, the clock and sleep, the debugger output, the emulated
// library's file primitives and the USB3 driver binding. The test program is also the child that the process runner
// starts (ZV_WIN_TEST_CHILD in its environment).

#include "os_clock.h"
#include "os_console_control.h"
#include "os_debug_output.h"
#include "os_named_lock.h"
#include "os_process.h"
#include "posix_file.h"
#include "temp_dir.h"
#include "zvusb3/usb3_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

std::string SelfPath()
{
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).string();
}

// The child's side: echoes its arguments, its input and ZV_X, and answers 3.
int ChildMain(const std::string& mode, int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (mode == "sleep") {
        ::Sleep(30000);
        return 0;
    }
    if (mode == "lock") {
        // Takes the lock, says so, and ends a second later without releasing it.
        auto lock = zv::os::NamedLock::Open(std::getenv("ZV_LOCK_NAME"));
        if (!lock || lock->Wait(10000) != zv::os::LockWait::Acquired) {
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        ::Sleep(1000);
        ::ExitProcess(0);
    }
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (mode == "big") {
        std::printf("%zu\n", input.size());
        std::fwrite(std::string(300000, 'z').data(), 1, 300000, stdout);
        return 0;
    }
    std::string words;
    for (int i = 1; i < argc; ++i) {
        words += std::string(argv[i]) + "|";
    }
    const char* x = std::getenv("ZV_X");
    std::printf("%s%s %s\n", words.c_str(), input.c_str(), x != nullptr ? x : "-");
    std::fputs("oops\n", stderr);
    return 3;
}

std::string TextFor(std::uint32_t event)
{
    return "event " + std::to_string(event) + "\n";
}

void SetEnv(const char* name, const char* value)
{
    ::_putenv_s(name, value);  // an empty value removes it
}

}  // namespace

TEST(ConsoleControlWin, CtrlCReachesTheHandlerAndTheProgramGoesOn)
{
    ASSERT_TRUE(zv::os::InstallConsoleControl(&TextFor));
    testing::internal::CaptureStdout();
    const bool first = zv::os::SimulateConsoleEvent(zv::os::kConsoleCtrlC);
    const bool second = zv::os::SimulateConsoleEvent(zv::os::kConsoleCtrlC);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(printed, TextFor(zv::os::kConsoleCtrlC) + TextFor(zv::os::kConsoleCtrlC));
    // Close, logoff and shutdown cannot be generated.
    EXPECT_FALSE(zv::os::SimulateConsoleEvent(zv::os::kConsoleClose));
    EXPECT_FALSE(zv::os::SimulateConsoleEvent(zv::os::kConsoleLogoff));
    EXPECT_FALSE(zv::os::InstallConsoleControl(nullptr));
    // The run goes on at a raised priority.
    EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), static_cast<DWORD>(ABOVE_NORMAL_PRIORITY_CLASS));
    zv::os::UninstallConsoleControl();
    ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

TEST(ProcessRunnerWin, CollectsOutputStatusAndFeedsInput)
{
    const auto r = zv::os::RunProcess(SelfPath(), {"a b", "q\"uote", "back\\\\", "tail\\", ""}, "line",
                                      {{"ZV_WIN_TEST_CHILD", "echo"}, {"ZV_X", "x y"}});
    EXPECT_EQ(r.out, "a b|q\"uote|back\\\\|tail\\||line x y\n");
    EXPECT_EQ(r.err, "oops\n");
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_FALSE(r.timedOut);
}

TEST(ProcessRunnerWin, LargeInputAndOutputDoNotBlock)
{
    const auto r = zv::os::RunProcess(SelfPath(), {}, std::string(1 << 20, 'x'), {{"ZV_WIN_TEST_CHILD", "big"}});
    EXPECT_EQ(r.out.size(), std::string("1048576\n").size() + 300000);
    EXPECT_EQ(r.out.substr(0, 8), "1048576\n");
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(ProcessRunnerWin, MissingProgramAndTimeout)
{
    EXPECT_EQ(zv::os::RunProcess("Z:\\nonexistent\\program.exe", {}).exitStatus, 127);
    const auto start = std::chrono::steady_clock::now();
    const auto r =
        zv::os::RunProcess(SelfPath(), {}, "", {{"ZV_WIN_TEST_CHILD", "sleep"}}, std::chrono::milliseconds(300));
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(NamedLockWin, TwoProcessesContendAndAnAbandonedLockPassesOn)
{
    using zv::os::LockWait;
    const std::string name = "zvtest|lock|" + std::to_string(::GetCurrentProcessId());
    auto lock = zv::os::NamedLock::Open(name);
    ASSERT_NE(lock, nullptr);
    // Re-entrant for its holder, which must give back every acquisition.
    EXPECT_EQ(lock->Wait(0), LockWait::Acquired);
    EXPECT_EQ(lock->Wait(0), LockWait::Acquired);
    EXPECT_TRUE(lock->Release());
    EXPECT_TRUE(lock->Release());
    EXPECT_FALSE(lock->Release());

    zv::os::ProcessResult child;
    std::thread runner([&] {
        child = zv::os::RunProcess(SelfPath(), {}, "", {{"ZV_WIN_TEST_CHILD", "lock"}, {"ZV_LOCK_NAME", name}});
    });
    // Once the other process holds the lock, waits here time out.
    bool busy = false;
    for (int i = 0; i < 1000 && !busy; ++i) {
        if (lock->Wait(0) == LockWait::Timeout) {
            busy = true;
        } else {
            lock->Release();
            ::Sleep(5);
        }
    }
    EXPECT_TRUE(busy);
    // It ends without releasing: the next holder gets the lock and is told.
    EXPECT_EQ(lock->Wait(10000), LockWait::Abandoned);
    EXPECT_TRUE(lock->Release());
    runner.join();
    EXPECT_EQ(child.out, "held\n");
    EXPECT_EQ(child.exitStatus, 0);
    // A name past the system's limit is refused.
    EXPECT_EQ(zv::os::NamedLock::Open(std::string(300, 'x')), nullptr);
}

#if defined(ZVOS_ENVIRONMENT_SWITCHES)
// ZVOS_LOCK_DIR keeps the locks of one set of processes apart, as the lock
// folder does on POSIX systems: the same name in another set is another lock.
TEST(NamedLockWin, LockFolderSettingSeparatesLockSets)
{
    using zv::os::LockWait;
    const std::string name = "zvtest|sets|" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(::_putenv_s("ZVOS_LOCK_DIR", "C:\\sets\\a"), 0);
    auto held = zv::os::NamedLock::Open(name);
    auto sameSet = zv::os::NamedLock::Open(name);
    ASSERT_EQ(::_putenv_s("ZVOS_LOCK_DIR", "C:\\sets\\b"), 0);
    auto otherSet = zv::os::NamedLock::Open(name);
    ASSERT_EQ(::_putenv_s("ZVOS_LOCK_DIR", ""), 0);
    auto noSet = zv::os::NamedLock::Open(name);
    ASSERT_TRUE(held && sameSet && otherSet && noSet);
    ASSERT_EQ(held->Wait(0), LockWait::Acquired);
    // Mutexes are re-entrant for their owner: the others wait in another thread.
    LockWait same{}, other{}, none{};
    std::thread([&] {
        same = sameSet->Wait(0);
        other = otherSet->Wait(0);
        otherSet->Release();
        none = noSet->Wait(0);
        noSet->Release();
    }).join();
    EXPECT_EQ(same, LockWait::Timeout);
    EXPECT_EQ(other, LockWait::Acquired);
    EXPECT_EQ(none, LockWait::Acquired);
    EXPECT_TRUE(held->Release());
}
#endif

TEST(ClockWin, RealSleepWaitsAndEnvironmentSleepDoesNot)
{
    const std::uint32_t before = zv::os::TickCountMs();
    zv::os::SleepMs(50);
    const std::uint32_t slept = zv::os::TickCountMs() - before;
    EXPECT_GE(slept, 40u);
    EXPECT_LT(slept, 5000u);

#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    SetEnv("ZVOS_VIRTUAL_SLEEP", "1");
    const auto wallStart = std::chrono::steady_clock::now();
    const std::uint32_t first = zv::os::TickCountMs();
    zv::os::SleepMs(60000);
    const std::uint32_t second = zv::os::TickCountMs();
    SetEnv("ZVOS_VIRTUAL_SLEEP", "");
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
    EXPECT_GE(second - first, 60000u);
#endif
}

TEST(DebugOutputWin, GoesToTheDebuggerAndToACapture)
{
    zv::os::DebugOutput("before the capture\n");
    zv::os::DebugOutputCapture capture;
    zv::os::DebugOutput("zvAPI: hRWMutex failed\r\n");
    EXPECT_EQ(capture.Text(), "zvAPI: hRWMutex failed\r\n");
}

TEST(StateFilesWin, WritesReplaceReadsAndAppendsKeepLinesWhole)
{
    zvtest::TempDir dir;
    const fs::path file = dir.path() / "camera.txt";
    EXPECT_FALSE(zvemu::posix::ReadWhole(file).has_value());
    EXPECT_FALSE(zvemu::posix::ReadWhole(dir.path() / "no" / "such").has_value());

    const std::vector<std::uint8_t> first{'a', '\n', 'b', '\n'};
    zvemu::posix::WriteAtomically(file, first);
    EXPECT_EQ(zvemu::posix::ReadWhole(file), first);
    {
        // A reader holding the file open for a moment delays the next
        // version; it does not make the write fail.
        HANDLE reader =
            ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        std::thread release([reader] {
            ::Sleep(200);
            ::CloseHandle(reader);
        });
        const std::vector<std::uint8_t> second(70000, 0x5A);
        EXPECT_NO_THROW(zvemu::posix::WriteAtomically(file, second));
        release.join();
        EXPECT_EQ(zvemu::posix::ReadWhole(file), second);
    }
    // No temporary file is left behind, and a missing folder is an error.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_THROW(zvemu::posix::WriteAtomically(dir.path() / "no" / "file", first), std::runtime_error);

    // A new version in pieces; bytes changed in place; reads from an offset
    // stop at the end of the file.
    const std::vector<std::uint8_t> head{1, 2, 3}, tail{4, 5};
    const std::span<const std::uint8_t> pieces[] = {head, tail};
    zvemu::posix::WriteAtomically(file, pieces);
    zvemu::posix::WriteInPlace(file, 1, std::vector<std::uint8_t>{9});
    EXPECT_EQ(zvemu::posix::ReadWhole(file), (std::vector<std::uint8_t>{1, 9, 3, 4, 5}));
    std::vector<std::uint8_t> part(4, 0xEE);
    EXPECT_EQ(zvemu::posix::ReadAt(file, 2, part), std::optional<std::size_t>(3));
    EXPECT_EQ(part, (std::vector<std::uint8_t>{3, 4, 5, 0xEE}));
    EXPECT_EQ(zvemu::posix::ReadAt(file, 10, part), std::optional<std::size_t>(0));
    EXPECT_FALSE(zvemu::posix::ReadAt(dir.path() / "missing", 0, part).has_value());
    EXPECT_THROW(zvemu::posix::WriteInPlace(dir.path() / "missing", 0, head), std::runtime_error);

    const fs::path trace = dir.path() / "trace.log";
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&trace, w] {
            for (int i = 0; i < 100; ++i) {
                zvemu::posix::AppendLine(trace, "writer " + std::to_string(w) + " line " + std::string(200, 'x'));
            }
        });
    }
    for (auto& t : writers) {
        t.join();
    }
    const std::string text = zvtest::ReadText(trace);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines) {
        const std::size_t eol = text.find('\n', at);
        ASSERT_NE(eol, std::string::npos);
        EXPECT_EQ(eol - at, std::string("writer 0 line ").size() + 200);
        at = eol + 1;
    }
    EXPECT_EQ(lines, 400u);
}

TEST(StateFilesWin, PerUserStateDirectoryIsUnderLocalAppData)
{
    const char* saved = std::getenv("LOCALAPPDATA");
    const std::string previous = saved != nullptr ? saved : "";
    SetEnv("LOCALAPPDATA", "C:\\Users\\op\\AppData\\Local");
    EXPECT_EQ(zvemu::posix::PerUserStateRoot(), fs::path("C:\\Users\\op\\AppData\\Local\\zvapi-emulator"));
    SetEnv("LOCALAPPDATA", previous.c_str());
}

TEST(Usb3DriverWin, ASystemWithoutCamerasHasNone)
{
    std::uint32_t error = 0;
    for (const auto interfaceClass : {zv::usb3::kPublicInterfaceClass, zv::usb3::kMakerInterfaceClass}) {
        const auto set = zv::usb3::DeviceInfoSet::Open(interfaceClass, &error);
        ASSERT_NE(set, nullptr) << error;
        EXPECT_FALSE(set->EnumInterface(0, &error));
        EXPECT_EQ(error, zv::usb3::kErrorNoMoreItems);
        char path[64];
        std::uint32_t needed = 0;
        EXPECT_FALSE(set->InterfacePath(0, path, sizeof path, &needed, &error));
        EXPECT_EQ(error, zv::usb3::kErrorNoMoreItems);
    }
    EXPECT_EQ(zv::usb3::DeviceInfoSet::Open("no class", &error), nullptr);
    EXPECT_EQ(error, zv::usb3::kErrorInvalidParameter);
    EXPECT_EQ(zv::usb3::DeviceHandle::Open("\\\\?\\usb#vid_0000&pid_0000#none", true, &error), nullptr);
    EXPECT_NE(error, 0u);
    // A transfer record that was never started is complete and cancels as a no-op.
    zv::usb3::PendingTransfer transfer;
    EXPECT_TRUE(transfer.Valid());
    EXPECT_FALSE(transfer.Pending());
    EXPECT_TRUE(transfer.Wait(0));
    transfer.Cancel();
}

int main(int argc, char** argv)
{
    if (const char* mode = std::getenv("ZV_WIN_TEST_CHILD"); mode != nullptr && *mode != '\0') {
        return ChildMain(mode, argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
