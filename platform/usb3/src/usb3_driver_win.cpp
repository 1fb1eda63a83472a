// The USB3 driver seam on Windows: the camera's kernel driver, found by
// device-interface enumeration (SetupDi*) and driven with DeviceIoControl on
// handles opened with CreateFileA, overlapped requests completing on the
// event of their OVERLAPPED record.

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zvusb3/usb3_driver.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace zv::usb3 {
namespace {

bool ParseGuid(std::string_view text, GUID& guid)
{
    unsigned long d1 = 0;
    unsigned d2 = 0;
    unsigned d3 = 0;
    unsigned b[8] = {};
    const std::string s(text);
    if (std::sscanf(s.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                    &b[4], &b[5], &b[6], &b[7]) != 11) {
        return false;
    }
    guid.Data1 = d1;
    guid.Data2 = static_cast<unsigned short>(d2);
    guid.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<unsigned char>(b[i]);
    }
    return true;
}

bool Failed(std::uint32_t* error)
{
    *error = ::GetLastError();
    return false;
}

}  // namespace

struct DeviceInfoSet::Impl {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    GUID guid{};
    ~Impl()
    {
        if (set != INVALID_HANDLE_VALUE) {
            ::SetupDiDestroyDeviceInfoList(set);
        }
    }
};

DeviceInfoSet::DeviceInfoSet(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceInfoSet::~DeviceInfoSet() = default;

std::unique_ptr<DeviceInfoSet> DeviceInfoSet::Open(std::string_view interfaceClass, std::uint32_t* error)
{
    auto impl = std::make_unique<Impl>();
    if (!ParseGuid(interfaceClass, impl->guid)) {
        *error = kErrorInvalidParameter;
        return nullptr;
    }
    impl->set = ::SetupDiGetClassDevsA(&impl->guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (impl->set == INVALID_HANDLE_VALUE) {
        *error = ::GetLastError();
        return nullptr;
    }
    return std::unique_ptr<DeviceInfoSet>(new DeviceInfoSet(std::move(impl)));
}

bool DeviceInfoSet::EnumInterface(std::uint32_t member, std::uint32_t* error) const
{
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    return ::SetupDiEnumDeviceInterfaces(impl_->set, nullptr, &impl_->guid, member, &data) || Failed(error);
}

bool DeviceInfoSet::InterfacePath(std::uint32_t member, char* buffer, std::uint32_t size, std::uint32_t* needed,
                                  std::uint32_t* error) const
{
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!::SetupDiEnumDeviceInterfaces(impl_->set, nullptr, &impl_->guid, member, &data)) {
        return Failed(error);
    }
    DWORD detailSize = 0;
    if (::SetupDiGetDeviceInterfaceDetailA(impl_->set, &data, nullptr, 0, &detailSize, nullptr) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        *error = ::GetLastError();
        return false;
    }
    const std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const auto pathSize = static_cast<std::uint32_t>(detailSize - pathOffset);
    if (buffer == nullptr || size < pathSize) {
        *needed = pathSize;
        *error = kErrorInsufficientBuffer;
        return false;
    }
    std::vector<unsigned char> storage(detailSize);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(impl_->set, &data, detail, detailSize, nullptr, nullptr)) {
        return Failed(error);
    }
    std::memcpy(buffer, detail->DevicePath, pathSize);
    buffer[pathSize - 1] = '\0';
    return true;
}

bool DeviceInfoSet::EnumDeviceInfo(std::uint32_t member, std::uint32_t* error) const
{
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    return ::SetupDiEnumDeviceInfo(impl_->set, member, &info) || Failed(error);
}

bool DeviceInfoSet::RegistryProperty(std::uint32_t member, std::uint32_t property, char* buffer, std::uint32_t size,
                                     std::uint32_t* needed, std::uint32_t* error) const
{
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!::SetupDiEnumDeviceInfo(impl_->set, member, &info)) {
        return Failed(error);
    }
    DWORD required = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(impl_->set, &info, property, nullptr, reinterpret_cast<PBYTE>(buffer),
                                             buffer == nullptr ? 0 : size, &required)) {
        *error = ::GetLastError();
        *needed = required;
        return false;
    }
    return true;
}

// The OVERLAPPED record with its manual-reset event, the header handed to
// the driver and the buffer it reads into.
struct PendingTransfer::State {
    OVERLAPPED overlapped{};
    HANDLE device = INVALID_HANDLE_VALUE;
    bool pending = false;
    bool succeeded = false;
    DWORD bytes = 0;
    std::array<std::uint8_t, kTransferHeaderSize> header{};
    std::vector<std::uint8_t> buffer;

    State() { overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~State()
    {
        if (overlapped.hEvent != nullptr) {
            ::CloseHandle(overlapped.hEvent);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Whether the read ended within timeoutMs; takes its outcome when it has.
    bool Ended(DWORD timeoutMs)
    {
        if (::WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0) {
            return false;
        }
        succeeded = ::GetOverlappedResult(device, &overlapped, &bytes, FALSE) != 0;
        pending = false;
        return true;
    }
};

PendingTransfer::PendingTransfer() : state_(std::make_unique<State>()) {}

PendingTransfer::~PendingTransfer()
{
    if (!Cancel()) {
        Abandon();
    }
}

bool PendingTransfer::Valid() const
{
    return state_->overlapped.hEvent != nullptr;
}

bool PendingTransfer::Wait(std::uint32_t timeoutMs)
{
    return !state_->pending || state_->Ended(timeoutMs);
}

bool PendingTransfer::Cancel()
{
    State& s = *state_;
    if (!s.pending) {
        return true;
    }
    ::CancelIoEx(s.device, &s.overlapped);
    // A driver that does not honour the cancel must not hold the program:
    // the caller aborts the pipe when this bound runs out.
    if (!s.Ended(kCancelWaitMs)) {
        return false;
    }
    s.succeeded = false;
    return true;
}

void PendingTransfer::Abandon()
{
    if (state_->pending) {
        // The driver may still write the buffer and signal the event of this
        // read: its record, buffer and event stay with it for good.
        KeepForTheDriver(state_.release());
        state_ = std::make_unique<State>();
    }
}

bool PendingTransfer::Pending() const
{
    return state_->pending;
}

bool PendingTransfer::Succeeded() const
{
    return state_->succeeded;
}

std::uint32_t PendingTransfer::BytesTransferred() const
{
    return state_->bytes;
}

const std::uint8_t* PendingTransfer::Data() const
{
    return state_->buffer.data();
}

struct DeviceHandle::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Impl()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

DeviceHandle::DeviceHandle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceHandle::~DeviceHandle() = default;

std::unique_ptr<DeviceHandle> DeviceHandle::Open(const char* interfacePath, bool overlapped, std::uint32_t* error)
{
    auto impl = std::make_unique<Impl>();
    impl->handle = ::CreateFileA(interfacePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (impl->handle == INVALID_HANDLE_VALUE) {
        *error = ::GetLastError();
        return nullptr;
    }
    return std::unique_ptr<DeviceHandle>(new DeviceHandle(std::move(impl)));
}

bool DeviceHandle::Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                           std::uint32_t* returned, std::uint32_t* error)
{
    DWORD bytes = 0;
    const bool ok =
        ::DeviceIoControl(impl_->handle, code, const_cast<void*>(in), inSize, out, outSize, &bytes, nullptr) != 0;
    *returned = bytes;
    return ok || Failed(error);
}

bool DeviceHandle::BeginBulkRead(std::uint8_t endpoint, std::uint32_t capacity, PendingTransfer& transfer,
                                 std::uint32_t* error)
{
    PendingTransfer::State& s = *transfer.state_;
    if (s.pending) {
        *error = kErrorInvalidParameter;  // one read per record
        return false;
    }
    s.overlapped.Internal = 0;
    s.overlapped.InternalHigh = 0;
    s.overlapped.Offset = 0;
    s.overlapped.OffsetHigh = 0;
    ::ResetEvent(s.overlapped.hEvent);
    s.header = BulkTransferHeaderBytes(endpoint);
    s.buffer.assign(capacity, 0);
    s.device = impl_->handle;
    s.bytes = 0;
    if (::DeviceIoControl(impl_->handle, kIoctlBulkTransfer, s.header.data(), kTransferHeaderSize, s.buffer.data(),
                          capacity, nullptr, &s.overlapped)) {
        s.succeeded = ::GetOverlappedResult(s.device, &s.overlapped, &s.bytes, FALSE) != 0;
        s.pending = false;
        return true;
    }
    *error = ::GetLastError();
    s.pending = *error == ERROR_IO_PENDING;
    s.succeeded = false;
    return false;
}

}  // namespace zv::usb3
