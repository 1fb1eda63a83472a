#pragma once

// One open USB3 camera of the direct path and the functions that find, open,
// close and lock it. Plain functions over the context; results are true/false
// (or a context / null), and nothing is printed except through DebugPrintf.
//
// Call order: OpenDeviceUSB30 -> requests (u3_transport.h, u3_mcu_tunnel.h),
// each device routine bracketed by LockResourceAccess / UnlockResourceAccess
// -> CloseDeviceUSB30. The context is owned by whoever opened it
// (std::unique_ptr); CloseDeviceUSB30 takes it back. A null context stands for
// a failed open.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "os_named_lock.h"
#include "zvusb3/usb3_driver.h"

// Paths and locations are kept whole up to this many characters.
inline constexpr std::size_t kU3MaxPathLength = 2048;
// Interfaces counted per class at most.
inline constexpr int kU3MaxInterfacesPerClass = 255;
// How long a routine waits for the device lock.
inline constexpr std::uint32_t kU3LockTimeoutMs = 5000;

struct U3DeviceContext {
    std::unique_ptr<zv::usb3::DeviceHandle> hDevice;     // synchronous handle; null when none
    std::unique_ptr<zv::usb3::DeviceHandle> hDeviceOvl;  // overlapped handle; null when none
    std::uint32_t bulkMode = 0;                          // 1: requests as bulk frames; 0: as endpoint-0 transfers
    std::uint32_t highSpeed = 0;                         // 1: 512-byte bulk packets; 0: 1024
    std::unique_ptr<zv::os::NamedLock> hRWMutex;         // the device's named lock; null when none
    std::array<std::uint8_t, 2> fwVersion{};             // controller firmware version: minor, major
    std::string devicePath;                              // interface path (at most kU3MaxPathLength)
    std::string location;                                // location path (at most kU3MaxPathLength)
    std::uint16_t mcuReqId = 0;                          // request counter of the MCU tunnel

    // The transport's command frame and the record of the acknowledgement
    // read, which owns the buffer the driver reads into. No read is pending
    // on the record between requests; it is declared after the handles so
    // that it goes before them.
    std::array<std::uint8_t, 1024 + 32> commandBuffer{};  // a command frame: 22 + at most 1014 bytes
    zv::usb3::PendingTransfer ackTransfer;
};

using U3DevicePtr = std::unique_ptr<U3DeviceContext>;

// Largest data piece a device routine moves in one request: 448 in bulk mode
// at high speed, 960 in bulk mode otherwise, 64 in endpoint-0 mode.
int GetMaxPieceSize(const U3DeviceContext& context);

// Present devices with an interface of the class, at most 255.
int CountDeviceInterfaces(std::string_view interfaceClass);
// Over both classes; camera indices run over the public class first.
int GetNumberDevicesUSB30();
// Opens camera `index` into the context: handles, paths, named lock.
bool OpenDeviceInterface(unsigned index, U3DeviceContext& context);
// Null when no camera has this index (an index above 65535 never wraps).
U3DevicePtr OpenDeviceUSB30(unsigned index);
// False for a null context.
bool CloseDeviceUSB30(U3DevicePtr context);
// Copy devicePath or location (NUL-terminated, at most size - 1 characters);
// false for a null context or buffer.
bool GetDevicePathUSB30(const U3DeviceContext* context, char* buffer, int size);
bool GetDeviceLocationUSB30(const U3DeviceContext* context, char* buffer, int size);

// The device lock, re-entrant for the holding thread; waits at most 5000 ms.
// A time-out prints "LockResourceAccess Error: timeout\n" at level 4; a lock
// whose previous holder died is taken over (noted at level 3).
bool LockResourceAccess(U3DeviceContext& context);
bool UnlockResourceAccess(U3DeviceContext& context);

// The named lock's name for an interface path: every '\' becomes '|'.
std::string U3MutexName(std::string_view devicePath);

// The serial number an interface path carries (its third '#'-separated part
// up to a '&'); the whole path when it carries none.
std::string U3DeviceSerial(std::string_view devicePath);
