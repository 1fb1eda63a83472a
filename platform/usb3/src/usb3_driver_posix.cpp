// The driver seam on this platform: the emulated USB3 cameras of the state
// directory stand behind it. Everything the seam promises for a native
// driver holds here too: sizing queries fail with kErrorInsufficientBuffer,
// overlapped reads stay pending until data arrive or they are cancelled (or,
// with "cancel=ignore" below, until their pipe is aborted).

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "../emu/usb3_device.h"
#include "zvusb3/usb3_driver.h"
#include "zvusb3/usb3_transfer.h"

namespace zv::usb3 {
namespace {

// The text of a property as the driver answers it, NUL-terminated (and, for
// the location paths, the list closed by a second NUL).
bool AnswerText(const std::string& text, bool list, char* buffer, std::uint32_t size, std::uint32_t* needed,
                std::uint32_t* error)
{
    const auto need = static_cast<std::uint32_t>(text.size() + (list ? 2 : 1));
    if (needed != nullptr) {
        *needed = need;
    }
    if (buffer == nullptr || size < need) {
        *error = kErrorInsufficientBuffer;
        return false;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    if (list) {
        buffer[text.size() + 1] = '\0';
    }
    return true;
}

void TraceSpeed(const zvemu::Usb3Device& device)
{
    if (device.Tracing()) {
        device.Trace(std::string("speed ") + (device.HighSpeed() ? "high" : "super"));
    }
}

// How this emulated driver differs from the plain one, as real drivers may:
// ZVEMU_USB3_DRIVER holds words such as "counts=zero" (the bulk transfers,
// whose control code passes the buffers to the driver unchecked, report 0
// bytes moved) and "cancel=ignore" (a cancel leaves a pending read pending;
// only a pipe abort ends it). A test setting: builds for real cameras have
// none.
struct DriverQuirks {
    bool zeroCounts = false;
    bool ignoreCancel = false;
};

DriverQuirks Quirks()
{
    DriverQuirks quirks;
#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    if (const char* text = std::getenv("ZVEMU_USB3_DRIVER"); text != nullptr) {
        const std::string_view words(text);
        quirks.zeroCounts = words.find("counts=zero") != std::string_view::npos;
        quirks.ignoreCancel = words.find("cancel=ignore") != std::string_view::npos;
    }
#endif
    return quirks;
}

}  // namespace

struct DeviceInfoSet::Impl {
    zvemu::StateDir dir;
    std::vector<zvemu::Usb3Present> cameras;
};

struct DeviceHandle::Impl {
    std::shared_ptr<zvemu::Usb3Device> device;
    bool overlapped = false;
    DriverQuirks quirks = Quirks();
};

struct PendingTransfer::State {
    zvemu::Usb3Read read;
    zvemu::Usb3Device* device = nullptr;
    DriverQuirks quirks;
    std::array<std::uint8_t, kTransferHeaderSize> header{};
    std::vector<std::uint8_t> buffer;
};

DeviceInfoSet::DeviceInfoSet(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceInfoSet::~DeviceInfoSet() = default;

std::unique_ptr<DeviceInfoSet> DeviceInfoSet::Open(std::string_view interfaceClass, std::uint32_t* error)
{
    const bool publicClass = interfaceClass == kPublicInterfaceClass;
    if (!publicClass && interfaceClass != kMakerInterfaceClass) {
        *error = kErrorInvalidParameter;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>(Impl{zvemu::StateDir(zvemu::StateDir::FromEnvironment()), {}});
    try {
        impl->cameras = zvemu::PresentUsb3Cameras(impl->dir, publicClass, publicClass);
    } catch (const std::exception&) {
        *error = kErrorGenFailure;
        return nullptr;
    }
    for (const auto& camera : impl->cameras) {
        zvemu::Usb3Device::TraceTo(impl->dir, "enumerate " + camera.path);
    }
    return std::unique_ptr<DeviceInfoSet>(new DeviceInfoSet(std::move(impl)));
}

bool DeviceInfoSet::EnumInterface(std::uint32_t member, std::uint32_t* error) const
{
    if (member >= impl_->cameras.size()) {
        *error = kErrorNoMoreItems;
        return false;
    }
    return true;
}

bool DeviceInfoSet::InterfacePath(std::uint32_t member, char* buffer, std::uint32_t size, std::uint32_t* needed,
                                  std::uint32_t* error) const
{
    if (!EnumInterface(member, error)) {
        return false;
    }
    return AnswerText(impl_->cameras[member].path, false, buffer, size, needed, error);
}

bool DeviceInfoSet::EnumDeviceInfo(std::uint32_t member, std::uint32_t* error) const
{
    return EnumInterface(member, error);
}

bool DeviceInfoSet::RegistryProperty(std::uint32_t member, std::uint32_t property, char* buffer, std::uint32_t size,
                                     std::uint32_t* needed, std::uint32_t* error) const
{
    if (!EnumInterface(member, error)) {
        return false;
    }
    const auto& camera = impl_->cameras[member];
    std::optional<zvemu::Usb3Hook::Location> state;
    for (const auto& hook : camera.locationHooks) {
        state = hook.location;
    }
    if (property == kPropertyLocationPaths) {
        if (state == zvemu::Usb3Hook::Location::Invalid) {
            *error = kErrorInvalidData;
            return false;
        }
        if (state == zvemu::Usb3Hook::Location::Missing) {
            *error = kErrorNotFound;
            return false;
        }
        if (state == zvemu::Usb3Hook::Location::Long) {
            return AnswerText(std::string(2100, 'L'), true, buffer, size, needed, error);
        }
        return AnswerText(camera.location, true, buffer, size, needed, error);
    }
    if (property == kPropertyLocationInformation) {
        // Port and hub numbers, made of the location's own text.
        std::uint32_t h = 0;
        for (const char ch : camera.location) {
            h = h * 31 + static_cast<unsigned char>(ch);
        }
        char text[64];
        std::snprintf(text, sizeof text, "Port_#%04u.Hub_#%04u", 1 + h % 8, 1 + (h / 8) % 16);
        return AnswerText(text, false, buffer, size, needed, error);
    }
    *error = kErrorInvalidData;
    return false;
}

PendingTransfer::PendingTransfer() : state_(std::make_unique<State>()) {}

PendingTransfer::~PendingTransfer()
{
    if (!Cancel()) {
        Abandon();
    }
}

bool PendingTransfer::Valid() const
{
    return true;
}

bool PendingTransfer::Wait(std::uint32_t timeoutMs)
{
    State& s = *state_;
    if (!s.read.pending) {
        return true;
    }
    return s.device != nullptr && s.device->WaitRead(&s.read, timeoutMs);
}

bool PendingTransfer::Cancel()
{
    State& s = *state_;
    if (s.read.pending && s.device != nullptr && !s.quirks.ignoreCancel) {
        s.device->CancelRead(&s.read);
    }
    return !s.read.pending || Wait(kCancelWaitMs);
}

void PendingTransfer::Abandon()
{
    if (state_->read.pending) {
        // The device still holds this read and may fill its buffer whenever a
        // packet comes: the record is left to it for good.
        KeepForTheDriver(state_.release());
        state_ = std::make_unique<State>();
    }
}

bool PendingTransfer::Pending() const
{
    return state_->read.pending;
}
bool PendingTransfer::Succeeded() const
{
    return state_->read.done && state_->read.ok;
}
std::uint32_t PendingTransfer::BytesTransferred() const
{
    return state_->quirks.zeroCounts ? 0 : state_->read.bytes;
}
const std::uint8_t* PendingTransfer::Data() const
{
    return state_->buffer.data();
}

DeviceHandle::DeviceHandle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DeviceHandle::~DeviceHandle() = default;

std::unique_ptr<DeviceHandle> DeviceHandle::Open(const char* interfacePath, bool overlapped, std::uint32_t* error)
{
    const zvemu::StateDir dir(zvemu::StateDir::FromEnvironment());
    std::shared_ptr<zvemu::Usb3Device> device;
    try {
        device = interfacePath != nullptr ? zvemu::AttachUsb3Device(dir, interfacePath) : nullptr;
    } catch (const std::exception&) {
        device = nullptr;
    }
    zvemu::Usb3Device::TraceTo(dir, std::string("open ") + (interfacePath ? interfacePath : "(null)") +
                                        (overlapped ? " overlapped" : "") + (device ? " ok" : " failed"));
    if (!device) {
        *error = kErrorFileNotFound;
        return nullptr;
    }
    return std::unique_ptr<DeviceHandle>(new DeviceHandle(std::make_unique<Impl>(Impl{std::move(device), overlapped})));
}

bool DeviceHandle::Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                           std::uint32_t* returned, std::uint32_t* error)
{
    zvemu::Usb3Device& device = *impl_->device;
    *returned = 0;
    *error = 0;
    switch (code) {
    case kIoctlVendorTransfer:
        if (in != out || inSize != outSize) {
            *error = kErrorInvalidParameter;
            return false;
        }
        return device.Ep0(static_cast<std::uint8_t*>(out), outSize, returned, error);
    case kIoctlBulkTransfer: {
        if (inSize < kTransferHeaderSize) {
            *error = kErrorInvalidParameter;
            return false;
        }
        const std::uint8_t endpoint = TransferEndpoint(in);
        if (endpoint == kEndpointBulkOut) {
            if (!device.BulkOut(static_cast<const std::uint8_t*>(out), outSize, error)) {
                return false;
            }
            *returned = impl_->quirks.zeroCounts ? 0 : outSize;
            return true;
        }
        if (endpoint == kEndpointBulkIn) {
            const bool ok = device.BulkInNow(static_cast<std::uint8_t*>(out), outSize, returned, error);
            if (impl_->quirks.zeroCounts) {
                *returned = 0;
            }
            return ok;
        }
        *error = kErrorInvalidParameter;
        return false;
    }
    case kIoctlAbortPipe:
    case kIoctlResetPipe:
        if (inSize < 1) {
            *error = kErrorInvalidParameter;
            return false;
        }
        if (code == kIoctlAbortPipe) {
            device.AbortPipe(*static_cast<const std::uint8_t*>(in));
        } else {
            device.ResetPipe(*static_cast<const std::uint8_t*>(in));
        }
        return true;
    case kIoctlResetPort:
        device.ResetPort();
        return true;
    case kIoctlGetSpeed:
        if (outSize < 4) {
            *error = kErrorInsufficientBuffer;
            return false;
        }
        PutLe32(static_cast<std::uint8_t*>(out), device.HighSpeed() ? kSpeedHigh : 3);
        *returned = 4;
        TraceSpeed(device);
        return true;
    default:
        *error = kErrorInvalidParameter;
        return false;
    }
}

bool DeviceHandle::BeginBulkRead(std::uint8_t endpoint, std::uint32_t capacity, PendingTransfer& transfer,
                                 std::uint32_t* error)
{
    PendingTransfer::State& s = *transfer.state_;
    if (!impl_->overlapped || endpoint != kEndpointBulkIn || s.read.pending) {
        *error = kErrorInvalidParameter;  // one read per record
        return false;
    }
    s.header.fill(0);
    s.header[kTransferEndpointOffset] = endpoint;
    // The buffer reads as zeros beyond what this read will write. The
    // emulated device writes exactly the bytes it counts, so only the last
    // read's bytes can be non-zero here (a cancelled read wrote none).
    std::fill_n(s.buffer.begin(), std::min<std::size_t>(s.read.bytes, s.buffer.size()), std::uint8_t{0});
    if (s.buffer.size() < capacity) {
        s.buffer.resize(capacity, 0);
    }
    s.device = impl_->device.get();
    s.quirks = impl_->quirks;
    s.read.buffer = s.buffer.data();
    s.read.capacity = capacity;
    if (s.device->BeginRead(&s.read)) {
        return true;
    }
    *error = s.read.pending ? kErrorIoPending : kErrorGenFailure;
    return false;
}

}  // namespace zv::usb3
