// The driver seam on this platform: the emulated USB3 cameras of the state
// directory stand behind it. Everything the seam promises for a native
// driver holds here too: sizing queries fail with kErrorInsufficientBuffer,
// overlapped reads stay pending until data arrive or they are cancelled.

#include <cstring>
#include <functional>
#include <new>

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

// Out of line: the request path carries no trace text.
[[gnu::cold, gnu::noinline]] void TraceSpeed(const zvemu::Usb3Device& device)
{
    if (device.Tracing()) {
        device.Trace(std::string("speed ") + (device.HighSpeed() ? "high" : "super"));
    }
}

}  // namespace

struct DeviceInfoSet::Impl {
    zvemu::StateDir dir;
    std::vector<zvemu::Usb3Present> cameras;
};

struct DeviceHandle::Impl {
    std::shared_ptr<zvemu::Usb3Device> device;
    bool overlapped = false;
};

struct PendingTransfer::State {
    zvemu::Usb3Read read;
    zvemu::Usb3Device* device = nullptr;
};
static_assert(sizeof(PendingTransfer::State) <= 128, "the transfer record fits its room");

namespace {

// Starts the record's read on its device: true when it completed at once,
// else false with kErrorIoPending (pending) or kErrorGenFailure.
bool BeginRead(PendingTransfer::State& s, std::uint32_t* error)
{
    if (s.device->BeginRead(&s.read)) {
        return true;
    }
    *error = s.read.pending ? kErrorIoPending : kErrorGenFailure;
    return false;
}

}  // namespace

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

PendingTransfer::PendingTransfer()
{
    new (storage_) State();
}

PendingTransfer::~PendingTransfer()
{
    Cancel();
    state().~State();
}

inline PendingTransfer::State& PendingTransfer::state()
{
    return *std::launder(reinterpret_cast<State*>(storage_));
}
inline const PendingTransfer::State& PendingTransfer::state() const
{
    return *std::launder(reinterpret_cast<const State*>(storage_));
}

bool PendingTransfer::Valid() const
{
    return true;
}

bool PendingTransfer::Wait(std::uint32_t timeoutMs)
{
    State& s = state();
    if (!s.read.pending) {
        return true;
    }
    return s.device != nullptr && s.device->WaitRead(&s.read, timeoutMs);
}

void PendingTransfer::Cancel()
{
    State& s = state();
    if (s.read.pending && s.device != nullptr) {
        s.device->CancelRead(&s.read);
    }
}

bool PendingTransfer::Pending() const
{
    return state().read.pending;
}
bool PendingTransfer::Succeeded() const
{
    return state().read.done && state().read.ok;
}
std::uint32_t PendingTransfer::BytesTransferred() const
{
    return state().read.bytes;
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
            *returned = outSize;
            return true;
        }
        if (endpoint == kEndpointBulkIn) {
            return device.BulkInNow(static_cast<std::uint8_t*>(out), outSize, returned, error);
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

bool DeviceHandle::BeginControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                                std::uint32_t outSize, PendingTransfer& transfer, std::uint32_t* error)
{
    if (!impl_->overlapped || code != kIoctlBulkTransfer || inSize < kTransferHeaderSize) {
        *error = kErrorInvalidParameter;
        return false;
    }
    if (TransferEndpoint(in) != kEndpointBulkIn) {
        *error = kErrorInvalidParameter;
        return false;
    }
    PendingTransfer::State& s = transfer.state();
    if (s.read.pending) {
        *error = kErrorInvalidParameter;  // one transfer per record
        return false;
    }
    s.device = impl_->device.get();
    s.read.buffer = static_cast<std::uint8_t*>(out);
    s.read.capacity = outSize;
    return BeginRead(s, error);
}

bool DeviceHandle::WriteThenBeginRead(const void* writeHeader, void* data, std::uint32_t size, std::uint32_t* returned,
                                      bool* written, DeviceHandle& reader, const void* readHeader, void* buffer,
                                      std::uint32_t capacity, PendingTransfer& transfer, std::uint32_t* error)
{
    PendingTransfer::State& s = transfer.state();
    zvemu::Usb3Device* const device = impl_->device.get();
    // The device's answer can go straight to the read when both calls would
    // reach the one device on their usual endpoints, and the read's buffer is
    // not the command's own.
    const auto* const command = static_cast<const std::uint8_t*>(data);
    auto* const into = static_cast<std::uint8_t*>(buffer);
    if (!reader.impl_->overlapped || reader.impl_->device.get() != device || s.read.pending ||
        TransferEndpoint(writeHeader) != kEndpointBulkOut || TransferEndpoint(readHeader) != kEndpointBulkIn ||
        (std::less<const std::uint8_t*>()(command, into + capacity) &&
         std::less<const std::uint8_t*>()(into, command + size))) {
        return WriteThenBeginReadInTurn(writeHeader, data, size, returned, written, reader, readHeader, buffer,
                                        capacity, transfer, error);
    }
    s.device = device;
    s.read.buffer = into;
    s.read.capacity = capacity;
    s.read.done = false;
    *returned = 0;
    *written = device->BulkOut(command, size, error, &s.read);
    if (!*written) {
        return false;
    }
    *returned = size;
    return s.read.done || BeginRead(s, error);
}

}  // namespace zv::usb3
