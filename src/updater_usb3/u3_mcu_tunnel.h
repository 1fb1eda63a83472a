#pragma once

// Commands to the camera's STM32 MCU, carried by the controller as the
// bidirectional MCU tunnel request. The caller supplies the frame buffer (at
// least 10 bytes; a payload after the header is the caller's) and the reply
// buffer.

#include <cstdint>

#include "u3_device.h"
#include "zvusb3/usb3_protocol.h"

using zv::usb3::kMcuAckOk;
using zv::usb3::kMcuCommandUniqueId;
using zv::usb3::kMcuCommandVersion;
using zv::usb3::kMcuFrameHeaderSize;
using zv::usb3::kMcuPrefix;
using zv::usb3::kMcuReplyHeaderSize;

// Reply bytes a command must bring: the reply header and its data.
int McuReplySizeOf(std::uint16_t command);

// Plain form, request ids from context.mcuReqId: 0 success, 1 failure (each
// failure printed at level 3). A reply too short for what the command's
// callers read fails.
int SendCommandToStmMcu(U3DeviceContext& context, std::uint16_t command, std::uint8_t* reply, int replyCapacity,
                        std::uint8_t* frame, std::uint16_t frameLength);

// Object form, request ids from one process-wide counter; reply status 0 and 2
// pass. Throws UpdaterError: "MCU Communication ERROR u3VrReqBulkBid",
// "MCU Communication ERROR Prefix", "MCU Communication ERROR ack",
// "MCU Communication ERROR req_id".
void SendMcuCommand(U3DeviceContext& context, std::uint16_t command, std::uint8_t* reply, int replyCapacity,
                    std::uint8_t* frame, std::uint16_t frameLength);

// The object form's counter, for tests.
std::uint16_t GetMcuObjectReqId();
