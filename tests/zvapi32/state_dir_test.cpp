// Reads of the state directory answer what the files hold at the time of the
// read, however and by whom they were changed since the last one.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "zvemu/state_dir.h"

namespace {

namespace fs = std::filesystem;
using zvtest::EmuDir;

// Writes the file in place, as an editor or a script would (no rename).
void WriteInPlace(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(StateDirectory, ReadsFollowEveryKindOfChange)
{
    EmuDir emu;
    emu.AddCamera();
    const zvemu::StateDir& dir = emu.State();
    const std::string id = emu.CameraId(0);
    const fs::path cameraFile = emu.Root() / id / "camera.txt";

    struct Case {
        const char* change;
        std::function<void()> make;
        std::function<void()> check;
    };
    const std::string serial = dir.LoadCamera(id)->serial;
    std::string edited = serial;
    edited.back() = edited.back() == '7' ? '8' : '7';
    const std::vector<Case> cases = {
        {"library hooks written in place",
         [&] { WriteInPlace(emu.Root() / "hooks.txt", "nocameras\n"); },
         [&] { EXPECT_EQ(dir.LoadHooks(""), std::vector<std::string>{"nocameras"}); }},
        {"library hooks removed", [&] { fs::remove(emu.Root() / "hooks.txt"); },
         [&] { EXPECT_TRUE(dir.LoadHooks("").empty()); }},
        {"camera hooks written in place", [&] { WriteInPlace(emu.Root() / id / "hooks.txt", "vanish opens=1\n"); },
         [&] { EXPECT_EQ(dir.LoadHooks(id), std::vector<std::string>{"vanish opens=1"}); }},
        {"camera record edited in place to the same size",
         [&] {
             std::string text = ReadText(cameraFile);
             text.replace(text.find(serial), serial.size(), edited);
             WriteInPlace(cameraFile, text);
         },
         [&] { EXPECT_EQ(dir.LoadCamera(id)->serial, edited); }},
        {"camera added by hand",
         [&] {
             fs::create_directories(emu.Root() / "cam0007");
             fs::copy_file(cameraFile, emu.Root() / "cam0007" / "camera.txt");
         },
         [&] {
             EXPECT_EQ(dir.CameraIds(), (std::vector<std::string>{id, "cam0007"}));
             EXPECT_TRUE(dir.HasCamera("cam0007"));
         }},
        {"camera record removed", [&] { fs::remove(emu.Root() / "cam0007" / "camera.txt"); },
         [&] {
             EXPECT_EQ(dir.CameraIds(), std::vector<std::string>{id});
             EXPECT_FALSE(dir.HasCamera("cam0007"));
         }},
        {"camera folder removed", [&] { fs::remove_all(emu.Root() / id); },
         [&] {
             EXPECT_TRUE(dir.CameraIds().empty());
             EXPECT_FALSE(dir.LoadCamera(id).has_value());
             EXPECT_TRUE(dir.LoadHooks(id).empty());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        // Everything read once before the change, so a kept answer would show.
        dir.LoadHooks("");
        dir.CameraIds();
        dir.HasCamera("cam0007");
        if (dir.HasCamera(id)) {
            dir.LoadHooks(id);
            dir.LoadCamera(id);
        }
        c.make();
        c.check();
    }
}

TEST(StateDirectory, AChildProcessLeavesItsParentTheNoticeOfChanges)
{
    EmuDir emu;
    const zvemu::StateDir& dir = emu.State();
    ASSERT_TRUE(dir.LoadHooks("").empty());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child changes the file and reads it back itself.
        WriteInPlace(emu.Root() / "hooks.txt", "trace\n");
        ::_exit(dir.LoadHooks("") == std::vector<std::string>{"trace"} ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.LoadHooks(""), std::vector<std::string>{"trace"});
}

TEST(StateDirectory, ARelativeRootFollowsTheWorkingDirectory)
{
    EmuDir first;
    EmuDir second;
    WriteInPlace(first.Root() / "hooks.txt", "trace\n");
    WriteInPlace(second.Root() / "hooks.txt", "nocameras\n");
    const fs::path previous = fs::current_path();
    const zvemu::StateDir relative(".");

    fs::current_path(first.Root());
    EXPECT_EQ(relative.LoadHooks(""), std::vector<std::string>{"trace"});
    fs::current_path(second.Root());
    EXPECT_EQ(relative.LoadHooks(""), std::vector<std::string>{"nocameras"});
    fs::current_path(previous);
}

}  // namespace
