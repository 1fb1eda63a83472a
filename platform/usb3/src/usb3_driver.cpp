// The calls of the driver seam that are made of the driver's control codes
// alone, the same on every platform.

#include "zvusb3/usb3_driver.h"

#include <mutex>
#include <vector>

namespace zv::usb3 {

void PendingTransfer::KeepForTheDriver(State* state)
{
    static std::mutex mutex;
    // Never destroyed, not even at exit: a driver may write a record any time.
    static auto* const kept = new std::vector<State*>;
    const std::lock_guard lock(mutex);
    kept->push_back(state);
}

bool DeviceHandle::BulkTransfer(std::uint8_t endpoint, std::uint8_t* data, std::uint32_t size,
                                std::uint32_t* returned, std::uint32_t* error)
{
    // The driver may write status words into the header: it belongs to this
    // transfer and is writable.
    auto header = BulkTransferHeaderBytes(endpoint);
    return Control(kIoctlBulkTransfer, header.data(), kTransferHeaderSize, data, size, returned, error);
}

bool DeviceHandle::AbortPipe(std::uint8_t endpoint, std::uint32_t* error)
{
    std::uint32_t returned = 0;
    return Control(kIoctlAbortPipe, &endpoint, 1, nullptr, 0, &returned, error);
}

bool DeviceHandle::ResetPipe(std::uint8_t endpoint, std::uint32_t* error)
{
    std::uint32_t returned = 0;
    return Control(kIoctlResetPipe, &endpoint, 1, nullptr, 0, &returned, error);
}

}  // namespace zv::usb3
