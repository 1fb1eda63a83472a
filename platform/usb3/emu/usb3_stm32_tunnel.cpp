#include "usb3_stm32_tunnel.h"

#include <cstring>

#include "usb3_hook_layer.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint16_t kStatusUnknownCommand = 1;
constexpr int kUniqueIdWords = 6;

}  // namespace

Usb3Outcome Usb3Stm32Tunnel::Handle(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.direction != kDirectionBoth || r.carried < kMcuFrameHeaderSize || GetLe16(r.data) != kMcuPrefix) {
        return Usb3Outcome::Error;
    }
    const std::uint16_t command = GetLe16(r.data + kMcuCommandOffset);
    const std::uint16_t requestId = GetLe16(r.data + kMcuRequestIdOffset);
    std::uint16_t status = kMcuAckOk;
    std::uint32_t n = 0;
    std::uint8_t data[2 * kUniqueIdWords] = {};
    if (command == kMcuCommandVersion) {
        PutLe16(data, core_.face.stm32Version);
        n = 2;
    } else if (command == kMcuCommandUniqueId) {
        std::uint32_t h = core_.IdentityHash("stm32");
        for (int i = 0; i < kUniqueIdWords; ++i) {
            h = (h ^ static_cast<std::uint32_t>(i)) * kFnvPrime;
            PutLe16(data + 2 * i, static_cast<std::uint16_t>(h >> 8));
        }
        n = 2 * kUniqueIdWords;
    } else {
        status = kStatusUnknownCommand;
    }
    if (kMcuReplyHeaderSize + n > reply.capacity) {
        return Usb3Outcome::Error;
    }
    std::uint16_t prefix = kMcuPrefix;
    std::uint16_t answeredId = requestId;
    if (const Usb3Hook* fault = hooks_.Firing(Usb3Hook::Kind::Mcu, r.code)) {
        switch (fault->mcu) {
        case Usb3Hook::McuFault::Status:
            status = static_cast<std::uint16_t>(fault->status);
            break;
        case Usb3Hook::McuFault::Prefix:
            prefix = static_cast<std::uint16_t>(kMcuPrefix + 1);
            break;
        case Usb3Hook::McuFault::Id:
            answeredId = static_cast<std::uint16_t>(requestId + 1);
            break;
        case Usb3Hook::McuFault::Short:
            n = 0;
            break;
        }
    }
    PutLe16(reply.bytes, prefix);
    PutLe16(reply.bytes + 2, static_cast<std::uint16_t>(kMcuReplyHeaderSize + n));
    PutLe16(reply.bytes + 4, status);
    PutLe16(reply.bytes + 6, answeredId);
    std::memcpy(reply.bytes + kMcuReplyHeaderSize, data, n);
    reply.length = kMcuReplyHeaderSize + n;
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
