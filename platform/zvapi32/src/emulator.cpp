#include "emulator.h"

#include <stdexcept>

namespace zvemu {
namespace {

std::vector<LoadedHook> LoadHookList(const StateDir& dir, const std::string& scope)
{
    std::vector<LoadedHook> list;
    std::map<std::string, unsigned> seen;
    for (const auto& line : dir.LoadHooks(scope)) {
        auto hook = ParseHook(line, nullptr);
        if (!hook) {
            continue;  // zvcam-emu refuses bad lines; a hand-edited one is skipped
        }
        if (scope.empty() ? !HookAllowedLibraryWide(*hook) : !HookAllowedForCamera(*hook)) {
            continue;
        }
        const unsigned occurrence = seen[line]++;
        list.push_back({*hook, scope + "\n" + line + "\n" + std::to_string(occurrence)});
    }
    return list;
}

}  // namespace

Emulator& Emulator::Instance()
{
    static Emulator emulator;
    return emulator;
}

Call::Call(Emulator& e, const char* fn) : emu(e), function(fn), number(++e.callCount), dir(StateDir::FromEnvironment())
{
    UseDir(dir);
}

void Call::UseDir(const StateDir& to)
{
    dir = to;
    session = &emu.sessions[dir.Root().string()];
    hooks_ = LoadHookList(dir, "");
    noCameras_ = false;
    for (const auto& h : hooks_) {
        trace_ = trace_ || h.hook.kind == Hook::Kind::Trace;
        noCameras_ = noCameras_ || h.hook.kind == Hook::Kind::NoCameras;
    }
}

void Call::TargetHandle(ZV_HANDLE h)
{
    handle = h;
    Note("handle", static_cast<int64_t>(h));
    if (h == 0) {
        return;
    }
    auto it = emu.handles.find(h);
    if (it == emu.handles.end()) {
        staleHandle = true;
        return;
    }
    // A handle stays with the directory it was opened in.
    if (it->second.dir != dir.Root()) {
        UseDir(StateDir(it->second.dir));
    }
    if (!dir.HasCamera(it->second.cameraId)) {
        staleHandle = true;
        return;
    }
    hs = &it->second;
    TargetCamera(hs->cameraId);
}

void Call::TargetCamera(const std::string& id)
{
    cameraId = id;
    LoadCameraHooks();
}

void Call::LoadCameraHooks()
{
    for (auto& lh : LoadHookList(dir, cameraId)) {
        hooks_.push_back(std::move(lh));
    }
}

bool Call::Matches(const Hook& hook, std::string_view param) const
{
    const bool anyCall = hook.callNo != 0 && hook.call.empty() && hook.param.empty();
    const bool target =
        anyCall || (!hook.call.empty() && hook.call == function) || (!hook.param.empty() && hook.param == param);
    if (!target) {
        return false;
    }
    return hook.file.empty() || (hs && hs->ffsName == hook.file);
}

std::optional<int32_t> Call::InjectedResult(std::string_view param)
{
    std::optional<int32_t> result;
    for (const auto& lh : hooks_) {
        if (lh.hook.kind != Hook::Kind::Fail || !Matches(lh.hook, param)) {
            continue;
        }
        if (lh.hook.callNo != 0) {
            if (!result && lh.hook.FiresAtCall(number)) {
                result = lh.hook.code;
            }
            continue;
        }
        const uint64_t k = ++session->hookCounters[lh.key];
        if (!result && lh.hook.Fires(k)) {
            result = lh.hook.code;
        }
    }
    if (result) {
        Note("injected", *result);
    }
    return result;
}

std::vector<const Hook*> Call::Firing(Hook::Kind kind, const std::string& file,
                                      bool (*covers)(const Hook&, uint64_t, uint64_t), uint64_t from, uint64_t count)
{
    std::vector<const Hook*> firing;
    for (const auto& lh : hooks_) {
        if (lh.hook.kind != kind) {
            continue;
        }
        if (!lh.hook.file.empty() && lh.hook.file != file) {
            continue;
        }
        if (covers && !covers(lh.hook, from, count)) {
            continue;
        }
        if (lh.hook.callNo != 0) {
            if (lh.hook.callNo == number) {
                firing.push_back(&lh.hook);
            }
            continue;
        }
        const uint64_t k = ++session->hookCounters[lh.key];
        if (lh.hook.Fires(k)) {
            firing.push_back(&lh.hook);
        }
    }
    return firing;
}

CameraRecord& Call::Camera()
{
    if (!camera_) {
        camera_ = dir.LoadCamera(cameraId);
        if (!camera_) {
            throw std::runtime_error("camera " + cameraId + " is gone");
        }
    }
    return *camera_;
}

void Call::SaveCamera()
{
    dir.SaveCamera(cameraId, Camera());
}

std::string Call::EffectiveSerial(const std::string& id, const CameraRecord& record) const
{
    auto it = session->forcedSerial.find(id);
    return it == session->forcedSerial.end() ? record.serial : it->second;
}

std::vector<std::string> Call::VisibleCameras()
{
    if (noCameras_) {
        return {};
    }
    std::vector<std::string> visible;
    for (auto& id : dir.CameraIds()) {
        if (!Vanished(id)) {
            visible.push_back(std::move(id));
        }
    }
    return visible;
}

bool Call::Vanished(const std::string& id) const
{
    auto it = session->vanishOpens.find(id);
    return it != session->vanishOpens.end() && it->second > 0;
}

void Call::CountOpenAttempt()
{
    for (auto& [id, left] : session->vanishOpens) {
        if (left > 0) {
            --left;
        }
    }
}

bool Call::NoCameras() const
{
    return noCameras_;
}

void Call::Note(std::string_view key, std::string_view value)
{
    if (!trace_) {
        return;
    }
    traceLine_.append(" ").append(key).append("=").append(value);
}

void Call::Note(std::string_view key, int64_t value)
{
    Note(key, std::to_string(value));
}

void Call::Finish(int32_t rc)
{
    if (!trace_) {
        return;
    }
    try {
        dir.AppendTrace(std::string(function) + traceLine_ + " rc=" + std::to_string(rc));
    } catch (...) {
        // A trace that cannot be written must not change the call's result.
    }
}

}  // namespace zvemu
