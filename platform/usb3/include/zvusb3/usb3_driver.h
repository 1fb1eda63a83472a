#pragma once

// The camera's USB3 driver as the direct updater reaches it: device-interface
// enumeration of an interface class, device handles, the driver's control
// codes (usb3_transfer.h) and overlapped bulk reads.
//
// Every call answers success as true and, on failure, leaves a system error
// code in *error (the codes below); the callers compare them. On this
// platform the driver is the emulated USB3 camera of the state directory
// (ZVAPI_EMULATOR_DIR); a native build puts the system's driver behind the
// same calls. The buffers given to Control and BeginControl pass to the
// driver unchanged.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "zvusb3/usb3_transfer.h"

namespace zv::usb3 {

// The two interface classes, enumerated in this order: the public driver's,
// then the camera maker's own.
inline constexpr std::string_view kPublicInterfaceClass = "{AE18AA60-7F6A-11D4-97DD-00010229B959}";
inline constexpr std::string_view kMakerInterfaceClass = "{4B7E21C9-3A5D-4F08-B6E2-91D07C5A3E64}";

// System error codes the callers act on.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorSemTimeout = 121;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorIoPending = 997;
inline constexpr std::uint32_t kErrorNotFound = 1168;

// Registry properties of a device asked by RegistryProperty.
inline constexpr std::uint32_t kPropertyLocationInformation = 13;
inline constexpr std::uint32_t kPropertyLocationPaths = 35;

// The present devices with an interface of one class, indexed by member
// number from 0 (one interface per device).
class DeviceInfoSet {
public:
    // Null (with *error) when the set cannot be built.
    static std::unique_ptr<DeviceInfoSet> Open(std::string_view interfaceClass, std::uint32_t* error);
    ~DeviceInfoSet();
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    // Whether member `member` has an interface; past the last one: false, kErrorNoMoreItems.
    bool EnumInterface(std::uint32_t member, std::uint32_t* error) const;
    // The interface path, NUL-terminated. With no buffer or one too small it
    // fails with kErrorInsufficientBuffer and *needed (terminator included).
    bool InterfacePath(std::uint32_t member, char* buffer, std::uint32_t size, std::uint32_t* needed,
                       std::uint32_t* error) const;
    // Whether member `member` is a device of the set.
    bool EnumDeviceInfo(std::uint32_t member, std::uint32_t* error) const;
    // A text property of the device (kPropertyLocationPaths: a list of texts,
    // each NUL-terminated, the list ended by one more NUL). Sizing as for
    // InterfacePath; a property the device has in no usable form fails with
    // kErrorInvalidData.
    bool RegistryProperty(std::uint32_t member, std::uint32_t property, char* buffer, std::uint32_t size,
                          std::uint32_t* needed, std::uint32_t* error) const;

    struct Impl;

private:
    explicit DeviceInfoSet(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class DeviceHandle;

// One overlapped transfer: the record and its manual-reset event. It must
// outlive the transfer it was given to: wait for the transfer to complete,
// or Cancel it, before the object or the transfer's buffer goes. The
// destructor cancels a transfer still pending, as a last safety net.
// Creating and using one allocates nothing.
class PendingTransfer {
public:
    PendingTransfer();
    ~PendingTransfer();
    PendingTransfer(const PendingTransfer&) = delete;
    PendingTransfer& operator=(const PendingTransfer&) = delete;

    // False when the event could not be created: the record cannot be used.
    bool Valid() const;
    // Waits at most timeoutMs (OS clock, virtual in tests) for the transfer to
    // complete; true when it has (see Succeeded). False: still pending.
    bool Wait(std::uint32_t timeoutMs);
    // Cancels a pending transfer and returns once it has ended; afterwards the
    // driver no longer touches its buffer. Nothing happens when none is pending.
    void Cancel();
    bool Pending() const;
    // Once completed: whether the transfer succeeded and the bytes it moved.
    bool Succeeded() const;
    std::uint32_t BytesTransferred() const;

    // Room for the platform's record; each implementation checks that it fits.
    struct State;

private:
    friend class DeviceHandle;
    State& state();
    const State& state() const;
    alignas(16) unsigned char storage_[128];
};

// An open device: one synchronous or one overlapped handle on an interface path.
class DeviceHandle {
public:
    // Null (with *error) when the path names no present device.
    static std::unique_ptr<DeviceHandle> Open(const char* interfacePath, bool overlapped, std::uint32_t* error);
    ~DeviceHandle();
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    // One control request, synchronous: `in` goes to the driver, `out`
    // receives its answer and *returned the bytes it wrote there.
    bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                 std::uint32_t* returned, std::uint32_t* error);
    // One control request on an overlapped handle: true when it completed at
    // once; false with kErrorIoPending when it is pending on `transfer`; false
    // with another code when it failed. `out` must stay valid until the
    // transfer has completed or was cancelled.
    bool BeginControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                      PendingTransfer& transfer, std::uint32_t* error);
    // A command and the read of its answer: the bulk transfer of `data` on
    // this handle (Control, kIoctlBulkTransfer, `writeHeader`) and, when that
    // moved all `size` bytes, the overlapped bulk transfer into `buffer` on
    // `reader` (BeginControl, kIoctlBulkTransfer, `readHeader`), in this
    // order and in one call, so that a driver whose device answers at once
    // can complete the read on the spot. *written and *returned are the
    // write's outcome; the answer and *error are the read's as BeginControl
    // gives them, or false with the write's error when the read was not
    // started. Both headers are kTransferHeaderSize bytes.
    bool WriteThenBeginRead(const void* writeHeader, void* data, std::uint32_t size, std::uint32_t* returned,
                            bool* written, DeviceHandle& reader, const void* readHeader, void* buffer,
                            std::uint32_t capacity, PendingTransfer& transfer, std::uint32_t* error);

    struct Impl;

private:
    // WriteThenBeginRead as its two calls one after the other. Out of line:
    // a driver that answers in one call keeps its own way short.
    [[gnu::noinline]] bool WriteThenBeginReadInTurn(const void* writeHeader, void* data, std::uint32_t size,
                                                    std::uint32_t* returned, bool* written, DeviceHandle& reader,
                                                    const void* readHeader, void* buffer, std::uint32_t capacity,
                                                    PendingTransfer& transfer, std::uint32_t* error)
    {
        *written = Control(kIoctlBulkTransfer, writeHeader, kTransferHeaderSize, data, size, returned, error);
        return *written && *returned == size &&
               reader.BeginControl(kIoctlBulkTransfer, readHeader, kTransferHeaderSize, buffer, capacity, transfer,
                                   error);
    }

    explicit DeviceHandle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zv::usb3
