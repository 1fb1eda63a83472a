#pragma once

// The camera's USB3 driver as the direct updater reaches it: device-interface
// enumeration of an interface class, device handles, the driver's control
// codes (usb3_transfer.h) and overlapped bulk reads.
//
// Every call answers success as true and, on failure, leaves a system error
// code in *error (the codes below); the callers compare them. On this
// platform the driver is the emulated USB3 camera of the state directory
// (ZVAPI_EMULATOR_DIR); a native build puts the system's driver behind the
// same calls. The buffers given to Control and BulkTransfer pass to the
// driver unchanged; nothing here waits without a bound.

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

// How long a cancelled read is waited for before the caller aborts its pipe.
inline constexpr std::uint32_t kCancelWaitMs = 1000;

// One overlapped bulk read: the record, its event, the transfer header the
// driver is handed and the buffer it reads into, all owned here. The header
// sits in writable memory of the request, as the driver's control code may
// write status words into it. A read that the driver never ends is never
// freed under it: a record destroyed while its read is still pending after a
// bounded cancel leaves that memory to the driver (see the destructor).
class PendingTransfer {
public:
    PendingTransfer();
    // Cancels a read still pending, waiting at most kCancelWaitMs; a read
    // still pending after that keeps its record and buffer for good.
    ~PendingTransfer();
    PendingTransfer(const PendingTransfer&) = delete;
    PendingTransfer& operator=(const PendingTransfer&) = delete;

    // False when the event could not be created: the record cannot be used.
    bool Valid() const;
    // Waits at most timeoutMs (OS clock, virtual in tests) for the read to
    // end; true when it has (see Succeeded). False: still pending.
    bool Wait(std::uint32_t timeoutMs);
    // Asks the driver to cancel a pending read and waits at most
    // kCancelWaitMs for it to end. True when no read is pending any more;
    // false when the driver has not ended it: abort its pipe, then Wait.
    bool Cancel();
    // Gives up a read that neither a cancel nor a pipe abort ended: its
    // record and buffer stay with the driver for good, and this object goes
    // on with a new, idle record. Nothing happens when none is pending.
    void Abandon();
    bool Pending() const;
    // Once ended: whether the read succeeded and the bytes the driver says it
    // moved (a driver may report 0 for a read that filled the buffer).
    bool Succeeded() const;
    std::uint32_t BytesTransferred() const;
    // The buffer of the last read begun on this record: what the driver wrote
    // there, and zeros beyond.
    const std::uint8_t* Data() const;

    struct State;

private:
    friend class DeviceHandle;
    // Keeps the record of a read given up while pending for the rest of the
    // process, reachable and never freed: the driver may still write it.
    static void KeepForTheDriver(State* state);
    std::unique_ptr<State> state_;
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
    // One synchronous bulk transfer on `endpoint` (kIoctlBulkTransfer):
    // `size` bytes from or into `data`. *returned is the count the driver
    // reports, which may be 0 although the transfer moved everything.
    bool BulkTransfer(std::uint8_t endpoint, std::uint8_t* data, std::uint32_t size, std::uint32_t* returned,
                      std::uint32_t* error);
    // Starts an overlapped bulk read of at most `capacity` bytes on
    // `endpoint` into the record's own buffer, on an overlapped handle: true
    // when it completed at once; false with kErrorIoPending when it is
    // pending on `transfer`; false with another code when it failed.
    bool BeginBulkRead(std::uint8_t endpoint, std::uint32_t capacity, PendingTransfer& transfer,
                       std::uint32_t* error);
    // Abort or reset the pipe of an endpoint (kIoctlAbortPipe, kIoctlResetPipe).
    bool AbortPipe(std::uint8_t endpoint, std::uint32_t* error);
    bool ResetPipe(std::uint8_t endpoint, std::uint32_t* error);

    struct Impl;

private:
    explicit DeviceHandle(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zv::usb3
