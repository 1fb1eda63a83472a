#include "u3_mcu_tunnel.h"

#include <algorithm>

#include "debug_print.h"
#include "u3_transport.h"
#include "updater_error.h"
#include "zvusb3/usb3_transfer.h"

using zv::usb3::GetLe16;
using zv::usb3::PutLe16;

namespace {

std::uint16_t g_objectReqId = 0;

enum class TunnelResult {
    Ok,
    RequestFailed,
    Prefix,
    Ack,
    RequestId,
    Short
};

// One exchange: frame header, the tunnel request, reply checks in their order.
// okStatus2 lets reply status 2 pass as well.
TunnelResult Exchange(U3DeviceContext& context, std::uint16_t command, std::uint8_t* reply, int replyCapacity,
                      std::uint8_t* frame, std::uint16_t frameLength, std::uint16_t requestId, bool okStatus2)
{
    if (frame == nullptr || frameLength < kMcuFrameHeaderSize || reply == nullptr) {
        return TunnelResult::RequestFailed;
    }
    PutLe16(frame, kMcuPrefix);
    PutLe16(frame + 2, frameLength);
    PutLe16(frame + 4, 0);
    PutLe16(frame + 6, command);
    PutLe16(frame + 8, requestId);
    int replyLength = 0;
    if (u3VrReqBulkBid(context, zv::usb3::kReqMcuTunnel, 0, 0, frame, frameLength, reply, replyCapacity, &replyLength, 1) !=
        0) {
        return TunnelResult::RequestFailed;
    }
    // A reply too short for the fields read from it fails: the caller's
    // buffer would otherwise answer for the camera.
    if (replyLength < kMcuReplyHeaderSize) {
        return TunnelResult::Short;
    }
    if (GetLe16(reply) != kMcuPrefix) {
        return TunnelResult::Prefix;
    }
    const std::uint16_t status = GetLe16(reply + 4);
    if (status != kMcuAckOk && !(okStatus2 && status == 2)) {
        return TunnelResult::Ack;
    }
    if (GetLe16(reply + 6) != requestId) {
        return TunnelResult::RequestId;
    }
    if (replyLength < McuReplySizeOf(command)) {
        return TunnelResult::Short;
    }
    return TunnelResult::Ok;
}

}  // namespace

int McuReplySizeOf(std::uint16_t command)
{
    switch (command) {
    case kMcuCommandVersion:
        return kMcuReplyHeaderSize + 2;
    case kMcuCommandUniqueId:
        return kMcuReplyHeaderSize + 12;
    case 12:
    case 13:
        return kMcuReplyHeaderSize + 4;
    default:
        return kMcuReplyHeaderSize;
    }
}

int SendCommandToStmMcu(U3DeviceContext& context, std::uint16_t command, std::uint8_t* reply, int replyCapacity,
                        std::uint8_t* frame, std::uint16_t frameLength)
{
    const std::uint16_t requestId = context.mcuReqId++;
    const char* line = nullptr;
    switch (Exchange(context, command, reply, replyCapacity, frame, frameLength, requestId, false)) {
    case TunnelResult::Ok:
        return 0;
    case TunnelResult::RequestFailed:
        line = "SendCommandToStmMcu error on u3VrReqBulkBid\n";
        break;
    case TunnelResult::Prefix:
        line = "SendCommandToStmMcu wrong FX3_MCU_PREFIX\n";
        break;
    case TunnelResult::Ack:
        line = "SendCommandToStmMcu ack is not FX3_MCU_ACK_OK\n";
        break;
    case TunnelResult::RequestId:
        line = "CameraFW::SendCommandToStmMcu ack-req_id is not cmd-req_id\n";
        break;
    case TunnelResult::Short:
        line = "SendCommandToStmMcu reply too short\n";
        break;
    }
    if (DebugLevelAtMost(3)) {
        DebugPrintf("%s", line);
    }
    return 1;
}

void SendMcuCommand(U3DeviceContext& context, std::uint16_t command, std::uint8_t* reply, int replyCapacity,
                    std::uint8_t* frame, std::uint16_t frameLength)
{
    const std::uint16_t requestId = g_objectReqId++;
    switch (Exchange(context, command, reply, replyCapacity, frame, frameLength, requestId, true)) {
    case TunnelResult::Ok:
        return;
    case TunnelResult::RequestFailed:
        throw UpdaterError("MCU Communication ERROR u3VrReqBulkBid");
    case TunnelResult::Prefix:
        throw UpdaterError("MCU Communication ERROR Prefix");
    case TunnelResult::Ack:
        throw UpdaterError("MCU Communication ERROR ack");
    case TunnelResult::RequestId:
        throw UpdaterError("MCU Communication ERROR req_id");
    case TunnelResult::Short:
        throw UpdaterError("MCU Communication ERROR short reply");
    }
}

std::uint16_t GetMcuObjectReqId()
{
    return g_objectReqId;
}
