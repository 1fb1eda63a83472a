#pragma once

// The in-process side of the emulated camera API library: open handles,
// per-directory session state and the context of one library call.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "zvapi32.h"
#include "zvemu/camera_record.h"
#include "zvemu/hooks.h"
#include "zvemu/state_dir.h"

namespace zvemu {

// Settings of one open handle. The FFS selection, the version, LED and
// device-unit selectors and the progress callback belong to the handle, so
// several handles on one camera do not disturb each other.
struct HandleState {
    std::filesystem::path dir;
    std::string cameraId;
    int32_t versionSelector = ZV_VER_API;
    int32_t ledSelector = 1;
    int32_t unitSelector = 0;
    int32_t registerSelector = 0;
    uint32_t accessKey = 0;
    std::string ffsName;  // empty: no file selected
    uint32_t ffsOffset = 0;
    ZV_PROGRESS_CALLBACK progress = nullptr;
    bool acquiring = false;
    uint32_t frameNumber = 0;
    std::vector<uint8_t> frame;
};

// What one process remembers about one state directory; none of it is
// persisted.
struct Session {
    std::map<std::string, std::string> forcedSerial;  // camera id -> serial
    std::map<std::string, uint32_t> vanishOpens;      // camera id -> open attempts still to fail
    std::map<std::string, uint64_t> hookCounters;     // hook key -> matching calls so far
    // Camera settings changed in this process: camera id -> setting key ->
    // value. A camera starts from its defaults in every process.
    std::map<std::string, std::map<std::string, std::variant<int64_t, float, std::string>>> settings;
    std::map<std::string, uint32_t> pendingTriggers;  // camera id -> software triggers not yet delivered
    // The library's own settings changed in this process (reachable on the
    // null handle too): setting key -> value.
    std::map<std::string, std::variant<int64_t, float, std::string>> librarySettings;
};

struct ProcContext {
    bool hasImage = false;
    int32_t outputFormat = -1;  // "imgdataformat"; -1: images pass unchanged
    ImageDescriptor processed{};
    std::vector<uint8_t> pixels;
};

struct LoadedHook {
    Hook hook;
    std::string key;  // identifies the hook's counter
};

class Emulator {
public:
    static Emulator& Instance();

    std::recursive_mutex mutex;
    std::map<ZV_HANDLE, HandleState> handles;
    ZV_HANDLE nextHandle = 1;
    std::map<std::string, Session> sessions;  // by state directory
    std::map<ZV_PROC_HANDLE, ProcContext> procs;
    ZV_PROC_HANDLE nextProc = 1;
    uint64_t callCount = 0;  // library calls of the process so far
};

// One call of the library: where it goes, which hooks apply, what the trace
// line will say.
class Call {
public:
    Call(Emulator& emu, const char* function);

    Emulator& emu;
    const char* function;
    uint64_t number;  // of this call in the process, from 1
    StateDir dir;
    Session* session = nullptr;

    // Target of the call.
    ZV_HANDLE handle = 0;
    HandleState* hs = nullptr;  // set when handle names an open handle of a present camera
    bool staleHandle = false;   // a non-zero handle that is closed, unknown or whose camera is gone
    std::string cameraId;

    // Raw value of a string set, for parameters that take an address and for
    // the flash-file transfer, whose bytes are never copied into a string.
    const void* rawValue = nullptr;
    uint32_t rawSize = 0;
    // Caller's buffer of a byte get (the flash-file read lands there directly).
    void* readBuffer = nullptr;

    // Binds the call to a handle (also for handle 0) or to a camera.
    void TargetHandle(ZV_HANDLE h);
    void TargetCamera(const std::string& id);

    // The "fail" hook that answers this call instead of the library, if any.
    std::optional<int32_t> InjectedResult(std::string_view param);

    // Counts a matching call of a cut or corrupt hook and answers the hooks
    // that fire now.
    std::vector<const Hook*> Firing(Hook::Kind kind, const std::string& file,
                                    bool (*covers)(const Hook&, uint64_t, uint64_t) = nullptr, uint64_t from = 0,
                                    uint64_t count = 0);

    CameraRecord& Camera();  // the target camera, loaded on first use
    void SaveCamera();
    std::string EffectiveSerial(const std::string& id, const CameraRecord& record) const;

    // Cameras the library reports, in index order.
    std::vector<std::string> VisibleCameras();
    bool Vanished(const std::string& id) const;
    void CountOpenAttempt();
    bool NoCameras() const;

    void Note(std::string_view key, std::string_view value);
    void Note(std::string_view key, int64_t value);
    void Finish(int32_t rc);

private:
    void UseDir(const StateDir& to);
    bool Matches(const Hook& hook, std::string_view param) const;
    void LoadCameraHooks();

    std::vector<LoadedHook> hooks_;
    bool trace_ = false;
    bool noCameras_ = false;
    std::optional<CameraRecord> camera_;
    std::string traceLine_;
};

// Runs one call under the library lock; any failure inside the emulation
// itself becomes "Camera context error".
template <class Body>
int32_t RunCall(const char* function, Body&& body) noexcept
{
    try {
        Emulator& emu = Emulator::Instance();
        std::lock_guard<std::recursive_mutex> lock(emu.mutex);
        Call call(emu, function);
        int32_t rc;
        try {
            rc = body(call);
        } catch (...) {
            rc = ZV_CAMERA_CONTEXT_ERROR;
        }
        call.Finish(rc);
        return rc;
    } catch (...) {
        return ZV_CAMERA_CONTEXT_ERROR;
    }
}

// Parameters (params.cpp).
enum class ParamKind {
    Int,
    Float,
    String,
    Raw
};
using Value = std::variant<int64_t, float, std::string>;

int32_t GetParamValue(Call& c, const char* param, ParamKind want, uint32_t requested, Value& out);
int32_t SetParamValue(Call& c, const char* param, ParamKind given, const Value& in);
// Whether the parameter answers exact bytes (no terminator) through the string calls.
bool IsByteParam(const char* param);
// A number setting of the target camera, as a get would answer it (0 when it
// cannot be read).
int64_t IntSetting(Call& c, const char* param);
// Whether any handle of the target camera is acquiring.
bool CameraAcquiring(Call& c);

// How an image of a format lies in memory (imaging.cpp).
struct FrameLayout {
    uint32_t format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;       // bytes of one pixel within a line (of one plane)
    uint32_t planes = 1;       // 3 for the planar formats
    uint32_t linePadding = 0;  // bytes after each line
    uint64_t payload = 0;      // bytes of the whole image
};
// The layout of an image of the format and size; false for a format the
// cameras do not deliver.
bool LayoutOf(uint32_t format, uint32_t width, uint32_t height, FrameLayout& out);
// The layout of the target camera's next image, from "imgdataformat",
// "width" and "height".
FrameLayout CurrentLayout(Call& c);

// Flash file system and reset (ffs.cpp).
int32_t FfsFileSize(Call& c, int64_t& size);
int32_t FfsRead(Call& c, std::span<uint8_t> out);
int32_t FfsWrite(Call& c, std::span<const uint8_t> data);
int32_t ResetCamera(Call& c);
uint64_t FfsUsedBytes(Call& c);

}  // namespace zvemu
