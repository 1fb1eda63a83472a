#include "usb3_device.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "zvusb3/usb3_driver.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kFnvBasis = 2166136261u;

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<Usb3Device>> devices;  // by folder
    std::map<std::string, Usb3Session> sessions;               // by folder
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::string Key(const StateDir& dir, const std::string& id)
{
    return (dir.Root() / id).string();
}

Usb3Session& SessionOf(const StateDir& dir, const std::string& id)
{
    // A camera made again under the same folder is another camera.
    std::string instance;
    if (const auto face = LoadUsb3Face(dir, id)) {
        instance = face->instance;
    }
    return TheRegistry().sessions[Key(dir, id) + "#" + instance];  // callers hold the registry mutex
}

bool LibraryHook(const StateDir& dir, Hook::Kind kind)
{
    for (const auto& line : dir.LoadHooks("")) {
        if (const auto hook = ParseHook(line, nullptr); hook && hook->kind == kind) {
            return true;
        }
    }
    return false;
}

// The camera's state as its folder holds it, with the process's session.
Usb3Core LoadCore(StateDir dir, std::string id)
{
    const auto face = LoadUsb3Face(dir, id);
    if (!face) {
        throw std::runtime_error("camera " + id + " has no USB3 face");
    }
    Usb3Core core{std::move(dir), std::move(id), *face, nullptr, std::nullopt, 0};
    std::lock_guard lock(TheRegistry().mutex);
    core.session = &SessionOf(core.dir, core.id);
    return core;
}

}  // namespace

// ---- the camera's shared state ---------------------------------------------

void Usb3Core::SaveFace()
{
    try {
        SaveUsb3Face(dir, id, face);
    } catch (...) {
        // The running state stays in this process when it cannot be kept.
    }
}

void Usb3Core::Vanish(std::uint32_t opens)
{
    if (opens == 0) {
        return;
    }
    std::lock_guard lock(TheRegistry().mutex);
    session->vanishLeft = opens;
    session->goneNow = true;
}

std::uint32_t Usb3Core::IdentityHash(std::string_view salt) const
{
    std::uint32_t h = kFnvBasis;
    const std::string root = dir.Root().string();
    for (const std::string_view part : {std::string_view(id), std::string_view(root), salt}) {
        for (const char ch : part) {
            h = (h ^ static_cast<unsigned char>(ch)) * kFnvPrime;
        }
    }
    return h;
}

// ---- the device --------------------------------------------------------------

Usb3Device::Usb3Device(StateDir dir, std::string id)
    : core_(LoadCore(std::move(dir), std::move(id))),
      hooks_(core_),
      endpoint_(BulkPacketSize(core_.face.highSpeed)),
      dispatcher_(core_, hooks_, endpoint_),
      layer_(core_, hooks_, endpoint_, dispatcher_)
{
    layer_.Load();
}

Usb3Device::~Usb3Device()
{
    // Reads still registered end as aborted: nothing refers to them afterwards.
    endpoint_.CancelReads();
}

void Usb3Device::AbortPipe(std::uint8_t endpoint)
{
    if (layer_.Tracing()) {
        layer_.TracePipe("abort", endpoint);
    }
    if (endpoint == kEndpointBulkIn) {
        endpoint_.CancelReads();
    }
}

void Usb3Device::ResetPipe(std::uint8_t endpoint)
{
    if (layer_.Tracing()) {
        layer_.TracePipe("reset", endpoint);
    }
    if (endpoint == kEndpointBulkIn) {
        endpoint_.DropPackets();
    }
}

void Usb3Device::ResetPort()
{
    if (layer_.Tracing()) {
        layer_.Trace("reset port");
    }
    endpoint_.CancelReads();
    endpoint_.DropPackets();
}

bool Usb3Device::BulkInNow(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* returned, std::uint32_t* error)
{
    Usb3Read read;
    read.buffer = out;
    read.capacity = capacity;
    if (!endpoint_.BeginRead(&read) && !endpoint_.WaitRead(&read, 1000)) {
        endpoint_.CancelRead(&read);
        *error = kErrorGenFailure;
        return false;
    }
    *returned = read.bytes;
    return true;
}

bool Usb3Device::BulkOut(const std::uint8_t* data, std::uint32_t size, std::uint32_t* error)
{
    *error = kErrorGenFailure;
    if (size < kFrameDataOffset || GetLe32(data + kFrameMagicOffset) != kFrameMagic ||
        GetLe16(data + kFrameCommandOffset) != kFrameCommand) {
        if (layer_.Tracing()) {
            layer_.TraceNoCommand(size);
        }
        return true;  // the bytes went out; the controller ignores them
    }
    const std::uint16_t length = GetLe16(data + kFrameLengthOffset);
    const std::uint16_t id = GetLe16(data + kFrameIdOffset);
    Usb3Request r;
    r.direction = GetLe16(data + kFrameDirectionOffset);
    r.code = static_cast<std::uint8_t>(GetLe16(data + kFrameRequestOffset));
    r.value = GetLe16(data + kFrameValueOffset);
    r.index = GetLe16(data + kFrameIndexOffset);
    const std::uint16_t dataLength = GetLe16(data + kFrameDataLengthOffset);
    r.data = data + kFrameDataOffset;
    r.carried = size - static_cast<std::uint32_t>(kFrameDataOffset);
    r.wanted = r.direction == kDirectionIn ? dataLength : 0;
    // A frame whose length fields disagree with what it carries is refused.
    bool sane = r.direction <= kDirectionBoth && length >= kRequestBlockSize;
    if (r.direction == kDirectionOut) {
        sane = sane && length == kRequestBlockSize + r.carried && dataLength == r.carried;
    } else if (r.direction == kDirectionIn) {
        sane = sane && r.carried == 0 && length == kRequestBlockSize;
    }
    return layer_.Answer(r, id, size, dataLength, sane, error);
}

// ---- enumeration -----------------------------------------------------------

std::vector<Usb3Present> PresentUsb3Cameras(const StateDir& dir, bool publicClass, bool newRound)
{
    std::vector<Usb3Present> present;
    if (LibraryHook(dir, Hook::Kind::NoCameras)) {
        return present;
    }
    std::lock_guard lock(TheRegistry().mutex);
    for (const auto& id : dir.CameraIds()) {
        std::optional<Usb3Face> face;
        try {
            face = LoadUsb3Face(dir, id);
        } catch (const std::exception&) {
            continue;  // an unreadable face shows no device
        }
        if (!face) {
            continue;
        }
        Usb3Session& session = SessionOf(dir, id);
        // Every enumeration round begins with the public class: a camera gone
        // after a reset misses that many rounds.
        if (newRound) {
            session.goneNow = session.vanishLeft > 0;
            if (session.vanishLeft > 0) {
                --session.vanishLeft;
            }
        }
        if (session.goneNow || face->publicClass != publicClass) {
            continue;
        }
        const auto record = dir.LoadCamera(id);
        if (!record) {
            continue;
        }
        Usb3Present camera;
        camera.id = id;
        camera.path = Usb3InterfacePath(dir, id, *record, *face);
        camera.location = record->locPath;
        for (const auto& line : dir.LoadHooks(id)) {
            if (IsUsb3HookLine(line)) {
                if (auto hook = ParseUsb3Hook(line, nullptr); hook && hook->kind == Usb3Hook::Kind::Location) {
                    camera.locationHooks.push_back(*hook);
                }
            }
        }
        present.push_back(std::move(camera));
    }
    return present;
}

std::shared_ptr<Usb3Device> AttachUsb3Device(const StateDir& dir, const std::string& path)
{
    std::string id;
    for (bool publicClass : {false, true}) {
        for (const auto& camera : PresentUsb3Cameras(dir, publicClass, false)) {
            if (camera.path == path) {
                id = camera.id;
            }
        }
    }
    if (id.empty()) {
        return nullptr;
    }
    std::shared_ptr<Usb3Device> device;
    {
        std::lock_guard lock(TheRegistry().mutex);
        device = TheRegistry().devices[Key(dir, id)].lock();
    }
    if (device) {
        device->LoadHooks();
        return device;
    }
    device = std::make_shared<Usb3Device>(dir, id);
    std::lock_guard lock(TheRegistry().mutex);
    TheRegistry().devices[Key(dir, id)] = device;
    return device;
}

}  // namespace zvemu
