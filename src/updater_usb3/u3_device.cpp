#include "u3_device.h"

#include <cstring>
#include <vector>

#include <algorithm>

#include "camera_run_lock.h"
#include "debug_print.h"
#include "os_clock.h"
#include "u3_transport.h"
#include "zvusb3/usb3_transfer.h"

using zv::usb3::DeviceHandle;
using zv::usb3::DeviceInfoSet;

namespace {

constexpr std::string_view kInterfaceClasses[] = {zv::usb3::kPublicInterfaceClass, zv::usb3::kMakerInterfaceClass};
constexpr std::uint32_t kOpenSettleMs = 200;

// The text of a property buffer: up to its first NUL, at most the limit.
std::string TextOf(const std::vector<char>& buffer)
{
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    std::string text(buffer.begin(), end);
    if (text.size() > kU3MaxPathLength) {
        text.resize(kU3MaxPathLength);
    }
    return text;
}

// Step 4 of the open: the location paths of the device, or its location
// information when the paths property is invalid data.
bool ReadLocation(const DeviceInfoSet& set, std::uint32_t member, std::string& location)
{
    std::uint32_t error = 0;
    if (!set.EnumDeviceInfo(member, &error)) {
        return false;
    }
    std::uint32_t property = zv::usb3::kPropertyLocationPaths;
    std::uint32_t needed = 0;
    if (set.RegistryProperty(member, property, nullptr, 0, &needed, &error)) {
        return false;  // a size query must fail
    }
    if (error == zv::usb3::kErrorInvalidData) {
        property = zv::usb3::kPropertyLocationInformation;
        if (set.RegistryProperty(member, property, nullptr, 0, &needed, &error)) {
            return false;
        }
    }
    if (error != zv::usb3::kErrorInsufficientBuffer || needed > kU3MaxPathLength) {
        return false;
    }
    std::vector<char> buffer(kU3MaxPathLength, '\0');
    if (!set.RegistryProperty(member, property, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &needed,
                              &error)) {
        return false;
    }
    location = TextOf(buffer);
    return true;
}

bool CopyText(const std::string& text, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return false;
    }
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

}  // namespace

int GetMaxPieceSize(const U3DeviceContext& context)
{
    if (context.bulkMode == 0) {
        return 64;
    }
    return context.highSpeed != 0 ? 448 : 960;
}

int CountDeviceInterfaces(std::string_view interfaceClass)
{
    std::uint32_t error = 0;
    const auto set = DeviceInfoSet::Open(interfaceClass, &error);
    if (!set) {
        return 0;
    }
    int count = 0;
    while (count < kU3MaxInterfacesPerClass && set->EnumInterface(static_cast<std::uint32_t>(count), &error)) {
        ++count;
    }
    return count;
}

int GetNumberDevicesUSB30()
{
    int total = 0;
    for (auto interfaceClass : kInterfaceClasses) {
        total += CountDeviceInterfaces(interfaceClass);
    }
    return total;
}

std::string U3MutexName(std::string_view devicePath)
{
    return zv::os::LockSystemName(devicePath.substr(0, std::min(devicePath.size(), kU3MaxPathLength)));
}

std::string U3DeviceSerial(std::string_view devicePath)
{
    // \\?\usb#vid_XXXX&pid_XXXX#<serial>[&...]#{class}
    std::size_t start = 0;
    for (int part = 0; part < 2; ++part) {
        start = devicePath.find('#', start);
        if (start == std::string_view::npos) {
            return std::string(devicePath);
        }
        ++start;
    }
    const std::size_t end = devicePath.find('#', start);
    if (end == std::string_view::npos) {
        return std::string(devicePath);
    }
    const std::string_view instance = devicePath.substr(start, end - start);
    const std::string_view serial = instance.substr(0, instance.find('&'));
    return std::string(serial.empty() ? devicePath : serial);
}

bool OpenDeviceInterface(unsigned index, U3DeviceContext& context)
{
    // Step 1: the class and the member number within it.
    std::string_view interfaceClass = zv::usb3::kPublicInterfaceClass;
    const auto publicCount = static_cast<unsigned>(CountDeviceInterfaces(interfaceClass));
    unsigned member = index;
    if (index >= publicCount) {
        interfaceClass = zv::usb3::kMakerInterfaceClass;
        const auto makerCount = static_cast<unsigned>(CountDeviceInterfaces(interfaceClass));
        member = index - publicCount;
        // An index past the present devices fails; it never wraps to another camera.
        if (makerCount == 0 || member >= makerCount) {
            return false;
        }
    }
    std::uint32_t error = 0;
    const auto set = DeviceInfoSet::Open(interfaceClass, &error);
    if (!set) {
        return false;
    }

    // Step 2: the interface path.
    if (!set->EnumInterface(member, &error)) {
        return false;
    }
    std::uint32_t needed = 0;
    if (set->InterfacePath(member, nullptr, 0, &needed, &error) || error != zv::usb3::kErrorInsufficientBuffer) {
        return false;
    }
    std::vector<char> pathBuffer(needed + 1, '\0');
    if (!set->InterfacePath(member, pathBuffer.data(), static_cast<std::uint32_t>(pathBuffer.size()), &needed,
                            &error)) {
        return false;
    }
    const std::string path = TextOf(pathBuffer);

    // Step 3: both handles.
    auto device = DeviceHandle::Open(path.c_str(), false, &error);
    if (!device) {
        return false;
    }
    auto deviceOvl = DeviceHandle::Open(path.c_str(), true, &error);
    if (!deviceOvl) {
        return false;  // closes the first
    }

    // Step 4: the location.
    std::string location;
    if (!ReadLocation(*set, member, location)) {
        return false;
    }

    // Step 6: the named lock.
    auto mutex = zv::os::NamedLock::Open(U3MutexName(path));
    if (!mutex) {
        return false;
    }

    // Step 5 and the hand-over: nothing is kept of a failed open.
    context.hDevice = std::move(device);
    context.hDeviceOvl = std::move(deviceOvl);
    context.devicePath = path;
    context.location = std::move(location);
    context.hRWMutex = std::move(mutex);
    return true;
}

U3DevicePtr OpenDeviceUSB30(unsigned index)
{
    auto context = std::make_unique<U3DeviceContext>();
    if (index > 0xFFFF || GetNumberDevicesUSB30() == 0 || !OpenDeviceInterface(index, *context)) {
        return nullptr;
    }
    context->bulkMode = 1;
    zv::os::SleepMs(kOpenSettleMs);
    std::uint32_t speed = 0;
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    if (context->hDevice->Control(zv::usb3::kIoctlGetSpeed, &speed, sizeof speed, &speed, sizeof speed, &returned,
                                  &error) &&
        speed == zv::usb3::kSpeedHigh) {
        context->highSpeed = 1;
    }
    // The controller's version; an unanswered request leaves it 0.
    u3VrReq(*context, zv::usb3::kReqControllerVersion, 0, 0, context->fwVersion.data(), 2, 0, 1);
    return context;
}

bool CloseDeviceUSB30(U3DevicePtr context)
{
    if (!context) {
        return false;
    }
    context->hDevice.reset();
    context->hDeviceOvl.reset();
    context->hRWMutex.reset();
    return true;
}

bool GetDevicePathUSB30(const U3DeviceContext* context, char* buffer, int size)
{
    return context != nullptr && CopyText(context->devicePath, buffer, size);
}

bool GetDeviceLocationUSB30(const U3DeviceContext* context, char* buffer, int size)
{
    return context != nullptr && CopyText(context->location, buffer, size);
}

namespace {

bool TakeDeviceLock(zv::os::NamedLock& lock, std::uint32_t timeoutMs)
{
    // Another run holding the device: the operator hears why this one waits.
    switch (WaitForCamera(lock, timeoutMs)) {
    case zv::os::LockWait::Acquired:
        return true;
    case zv::os::LockWait::Abandoned:
        // The last holder ended without giving the lock back; its sequence is
        // over, so the lock is ours.
        if (DebugLevelAtMost(3)) {
            DebugPrintf("LockResourceAccess: previous holder ended without releasing, lock taken over\n");
        }
        return true;
    case zv::os::LockWait::Timeout:
        if (timeoutMs > 0 && DebugLevelAtMost(4)) {
            DebugPrintf("LockResourceAccess Error: timeout\n");
        }
        return false;
    case zv::os::LockWait::Failed:
        break;
    }
    return false;
}

}  // namespace

bool LockResourceAccess(U3DeviceContext& context)
{
    return context.hRWMutex && TakeDeviceLock(*context.hRWMutex, kU3LockTimeoutMs);
}

bool UnlockResourceAccess(U3DeviceContext& context)
{
    if (context.hRWMutex) {
        context.hRWMutex->Release();
    }
    return true;
}
