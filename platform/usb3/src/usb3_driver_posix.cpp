#include <new>

#include "zvusb3/usb3_driver.h"

// Interim binding: no device is present until the emulated camera lands.
namespace zv::usb3 {

struct DeviceInfoSet::Impl {};
struct DeviceHandle::Impl {};
struct PendingTransfer::State {
    bool pending = false;
    bool ok = false;
    std::uint32_t bytes = 0;
};

DeviceInfoSet::DeviceInfoSet(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceInfoSet::~DeviceInfoSet() = default;
std::unique_ptr<DeviceInfoSet> DeviceInfoSet::Open(std::string_view, std::uint32_t*)
{
    return std::unique_ptr<DeviceInfoSet>(new DeviceInfoSet(std::make_unique<Impl>()));
}
bool DeviceInfoSet::EnumInterface(std::uint32_t, std::uint32_t* error) const
{
    *error = kErrorNoMoreItems;
    return false;
}
bool DeviceInfoSet::InterfacePath(std::uint32_t, char*, std::uint32_t, std::uint32_t*, std::uint32_t* error) const
{
    *error = kErrorNoMoreItems;
    return false;
}
bool DeviceInfoSet::EnumDeviceInfo(std::uint32_t, std::uint32_t* error) const
{
    *error = kErrorNoMoreItems;
    return false;
}
bool DeviceInfoSet::RegistryProperty(std::uint32_t, std::uint32_t, char*, std::uint32_t, std::uint32_t*,
                                     std::uint32_t* error) const
{
    *error = kErrorNoMoreItems;
    return false;
}

PendingTransfer::PendingTransfer()
{
    new (storage_) State();
}
PendingTransfer::~PendingTransfer()
{
    state().~State();
}
PendingTransfer::State& PendingTransfer::state()
{
    return *std::launder(reinterpret_cast<State*>(storage_));
}
const PendingTransfer::State& PendingTransfer::state() const
{
    return *std::launder(reinterpret_cast<const State*>(storage_));
}
bool PendingTransfer::Valid() const
{
    return true;
}
bool PendingTransfer::Wait(std::uint32_t)
{
    return !state().pending;
}
void PendingTransfer::Cancel()
{
    state().pending = false;
}
bool PendingTransfer::Pending() const
{
    return state().pending;
}
bool PendingTransfer::Succeeded() const
{
    return state().ok;
}
std::uint32_t PendingTransfer::BytesTransferred() const
{
    return state().bytes;
}

DeviceHandle::DeviceHandle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceHandle::~DeviceHandle() = default;
std::unique_ptr<DeviceHandle> DeviceHandle::Open(const char*, bool, std::uint32_t* error)
{
    *error = kErrorFileNotFound;
    return nullptr;
}
bool DeviceHandle::Control(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t, std::uint32_t*,
                           std::uint32_t* error)
{
    *error = kErrorGenFailure;
    return false;
}
bool DeviceHandle::BeginControl(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t, PendingTransfer&,
                                std::uint32_t* error)
{
    *error = kErrorGenFailure;
    return false;
}

}  // namespace zv::usb3
