#pragma once

// The emulated USB3 camera behind this platform's driver: the controller's
// vendor requests over bulk frames or endpoint 0, with the camera's memories
// mapped from its folder of the state directory. One object per camera and
// process while handles are open; what must outlive the process (memories,
// versions made running by a reset, a bare controller turned camera) is kept
// in the camera's folder.

#include <array>
#include <cstdint>
#include <memory>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "usb3_dispatch.h"
#include "usb3_endpoint.h"
#include "usb3_hook_layer.h"
#include "usb3_request.h"
#include "zvemu/hooks.h"
#include "zvemu/state_dir.h"
#include "zvemu/usb3_face.h"
#include "zvemu/usb3_hooks.h"

namespace zvemu {

// A present camera as enumeration shows it.
struct Usb3Present {
    std::string id;
    std::string path;
    std::string location;  // location paths
    std::vector<Usb3Hook> locationHooks;
};


// The camera's parts, in the order they are made: its shared state, its
// hooks, the bulk IN endpoint, the dispatcher with the devices behind it, and
// the hook and trace layer around the dispatcher.
class Usb3Device {
public:
    Usb3Device(StateDir dir, std::string id);
    ~Usb3Device();
    Usb3Device(const Usb3Device&) = delete;
    Usb3Device& operator=(const Usb3Device&) = delete;

    // Re-reads the hooks and the library-wide settings (at every open).
    void LoadHooks() { layer_.Load(); }
    bool Tracing() const { return layer_.Tracing(); }
    void Trace(const std::string& line) const { layer_.Trace(line); }
    // A trace line of the driver itself, when the state directory traces.
    static void TraceTo(const StateDir& dir, const std::string& line) { Usb3HookLayer::TraceTo(dir, line); }

    bool HighSpeed() const { return core_.face.highSpeed; }

    // Driver entry points. BulkOut takes a command frame; its acknowledgement
    // (if any) goes onto the bulk IN endpoint for BeginRead or BulkInNow.
    bool BulkOut(const std::uint8_t* data, std::uint32_t size, std::uint32_t* error);
    bool BulkInNow(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* returned, std::uint32_t* error);
    bool Ep0(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* returned, std::uint32_t* error)
    {
        return layer_.Ep0(buffer, size, returned, error);
    }
    // Registers the read; true when it completed at once.
    bool BeginRead(Usb3Read* read) { return endpoint_.BeginRead(read); }
    bool WaitRead(Usb3Read* read, std::uint32_t timeoutMs) { return endpoint_.WaitRead(read, timeoutMs); }
    void CancelRead(Usb3Read* read) { endpoint_.CancelRead(read); }
    void AbortPipe(std::uint8_t endpoint);
    void ResetPipe(std::uint8_t endpoint);
    void ResetPort();

private:
    Usb3Core core_;
    Usb3HookSet hooks_;
    Usb3Endpoint endpoint_;
    Usb3Dispatcher dispatcher_;
    Usb3HookLayer layer_;
};

// The cameras with a USB3 face of one class, in index order. Applies the
// library-wide "nocameras" hook and the cameras missing after a reset: those
// miss `vanish opens=N` enumeration rounds, a new round beginning with each
// enumeration of the public class (newRound).
std::vector<Usb3Present> PresentUsb3Cameras(const StateDir& dir, bool publicClass, bool newRound);
// The camera object of a present camera with this interface path, shared by
// every handle of the process; null when none.
std::shared_ptr<Usb3Device> AttachUsb3Device(const StateDir& dir, const std::string& path);

}  // namespace zvemu
