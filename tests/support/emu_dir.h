#pragma once

// A fresh emulator state directory for one test: created empty, named by
// ZVAPI_EMULATOR_DIR while it lives (the previous value comes back), removed
// afterwards. A folder beside it is the lock folder (ZVOS_LOCK_DIR) of the
// runs meanwhile, so tests side by side never wait on each other's cameras,
// whose serial numbers are alike.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zvemu/hooks.h"
#include "zvemu/state_dir.h"

namespace zvtest {

class EmuDir {
public:
    EmuDir() : root_(MakeRoot()), state_(root_)
    {
        if (const char* previous = std::getenv("ZVAPI_EMULATOR_DIR")) {
            previous_ = previous;
        }
        if (const char* previous = std::getenv("ZVOS_LOCK_DIR")) {
            previousLocks_ = previous;
        }
        std::filesystem::create_directories(root_);
        ::setenv("ZVAPI_EMULATOR_DIR", root_.c_str(), 1);
        ::setenv("ZVOS_LOCK_DIR", LockDir().c_str(), 1);
    }
    ~EmuDir()
    {
        Restore("ZVAPI_EMULATOR_DIR", previous_);
        Restore("ZVOS_LOCK_DIR", previousLocks_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        std::filesystem::remove_all(LockDir(), ec);
    }
    EmuDir(const EmuDir&) = delete;
    EmuDir& operator=(const EmuDir&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path LockDir() const { return root_.string() + "-locks"; }
    const zvemu::StateDir& State() const { return state_; }

    // Adds a camera of the model; edit may change its record first. Answers its index.
    unsigned AddCamera(const std::string& model = "JV966JK-TD-G8-V7T9-JND",
                       const std::function<void(zvemu::CameraRecord&)>& edit = {})
    {
        const auto index = static_cast<unsigned>(state_.CameraIds().size());
        auto record = zvemu::DefaultCamera(model, index);
        if (edit) {
            edit(record);
        }
        state_.AddCamera(record);
        return index;
    }
    std::string CameraId(unsigned index) const { return state_.CameraIds().at(index); }
    zvemu::CameraRecord Camera(unsigned index) const { return *state_.LoadCamera(CameraId(index)); }

    // A hook for one camera, or library-wide with index -1.
    void Hook(int index, const std::string& line)
    {
        const std::string id = index < 0 ? std::string() : CameraId(static_cast<unsigned>(index));
        auto lines = state_.LoadHooks(id);
        lines.push_back(line);
        state_.SaveHooks(id, lines);
    }
    void ClearHooks(int index)
    {
        state_.SaveHooks(index < 0 ? std::string() : CameraId(static_cast<unsigned>(index)), {});
    }

    void StartTrace()
    {
        Hook(-1, "trace");
        ClearTrace();
    }
    void ClearTrace()
    {
        std::error_code ec;
        std::filesystem::remove(state_.TracePath(), ec);
    }
    std::vector<std::string> Trace() const
    {
        std::vector<std::string> lines;
        std::ifstream in(state_.TracePath());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    // Trace lines that mention the text.
    std::vector<std::string> TraceWith(const std::string& text) const
    {
        std::vector<std::string> found;
        for (auto& line : Trace()) {
            if (line.find(text) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }

private:
    static void Restore(const char* name, const std::string& previous)
    {
        if (previous.empty()) {
            ::unsetenv(name);
        } else {
            ::setenv(name, previous.c_str(), 1);
        }
    }
    static std::filesystem::path MakeRoot()
    {
        std::random_device rd;
        return std::filesystem::temp_directory_path() /
               ("zvemu-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    }

    std::filesystem::path root_;
    zvemu::StateDir state_;
    std::string previous_;
    std::string previousLocks_;
};

}  // namespace zvtest
