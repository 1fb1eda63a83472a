#include "u3_transport.h"

#include <cstring>

#include "debug_print.h"
#include "os_clock.h"
#include "zvusb3/usb3_transfer.h"

using zv::usb3::GetLe16;
using zv::usb3::GetLe32;
using zv::usb3::PendingTransfer;
using zv::usb3::PutLe16;
using zv::usb3::PutLe32;

namespace {

std::uint16_t u3ReqId = 0;

constexpr int kBulkAckReads = 9;
constexpr int kBidAckReads = 4;
constexpr std::uint32_t kAckWaitMs = 1000;
constexpr std::uint32_t kProbeAckWaitMs = 200;
constexpr std::uint32_t kEp0RetryPauseMs = 100;

void Debug3(const char* text)
{
    if (DebugLevelAtMost(3)) {
        DebugPrintf("%s", text);
    }
}

int PacketSize(const U3DeviceContext& context)
{
    return static_cast<int>(zv::usb3::BulkPacketSize(context.highSpeed != 0));
}

// Takes the lock when asked; false (after the message) when it cannot.
bool TakeLockIfAsked(U3DeviceContext& context, std::uint8_t takeLock)
{
    if (takeLock == 0 || LockResourceAccess(context)) {
        return true;
    }
    Debug3("hRWMutex failed\r\n");
    return false;
}

void ReleaseLockIfTaken(U3DeviceContext& context, std::uint8_t takeLock)
{
    if (takeLock != 0) {
        UnlockResourceAccess(context);
    }
}

// Builds the command frame in the context's buffer; answers its size.
int BuildCommand(U3DeviceContext& context, U3Direction direction, std::uint8_t request, std::uint16_t value,
                 std::uint16_t index, const std::uint8_t* data, int carried, int dataLength)
{
    U3VrReqFrame frame;
    // A device-to-host command carries nothing: its length counts the block only.
    const int counted = direction == U3Direction::DeviceToHost ? 0 : dataLength;
    frame.length = static_cast<std::uint16_t>(kRequestBlockSize + counted);
    frame.requestId = u3ReqId;
    frame.direction = static_cast<std::uint16_t>(direction);
    frame.request = request;
    frame.value = value;
    frame.index = index;
    frame.dataLength = static_cast<std::uint16_t>(dataLength);
    std::uint8_t* out = context.commandBuffer.data();
    frame.WriteTo(out);
    if (carried > 0) {
        zv::usb3::CopyCarried(out + kFrameHeaderSize + kRequestBlockSize, data, static_cast<std::size_t>(carried));
    }
    return kFrameHeaderSize + kRequestBlockSize + carried;
}

// One synchronous bulk transfer (see XferData30).
bool Transfer(U3DeviceContext& context, std::uint8_t endpoint, std::uint8_t* buffer, int* length)
{
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    const bool ok = context.hDevice && *length >= 0 &&
                    context.hDevice->BulkTransfer(endpoint, buffer, static_cast<std::uint32_t>(*length), &returned,
                                                  &error);
    if (!ok) {
        if (DebugLevelAtMost(4)) {
            DebugPrintf("XferData30 error %d\r\n", static_cast<int>(error));
        }
        *length = 0;
        return false;
    }
    *length = static_cast<int>(returned);
    return true;
}

// The driver's count of bytes written is not checked: a driver may report 0
// for a bulk transfer that moved everything.
bool WriteCommand(U3DeviceContext& context, int size)
{
    int length = size;
    if (Transfer(context, zv::usb3::kEndpointBulkOut, context.commandBuffer.data(), &length)) {
        return true;
    }
    Debug3("u3VrReq couldn't write command\n");
    return false;
}

enum class ReadStart {
    Completed,
    Pending,
    Failed
};

// Starts an overlapped bulk read; a failure is printed at level 4.
ReadStart BeginTransfer(U3DeviceContext& context, std::uint8_t endpoint, int length, PendingTransfer& transfer)
{
    std::uint32_t error = 0;
    if (context.hDeviceOvl && length >= 0) {
        if (context.hDeviceOvl->BeginBulkRead(endpoint, static_cast<std::uint32_t>(length), transfer, &error)) {
            return ReadStart::Completed;
        }
        if (error == zv::usb3::kErrorIoPending) {
            return ReadStart::Pending;
        }
    }
    if (DebugLevelAtMost(4)) {
        DebugPrintf("BeginDataXfer30 error %d\r\n", static_cast<int>(error));
    }
    return ReadStart::Failed;
}

// Ends a read whose wait ran out before the record is used again, without
// waiting unbounded on a driver: a cancel, then, when the driver has not
// ended the read within its bound, the abort of the pipe; a read that even
// that leaves pending is given up to the driver with its buffer.
void EndRead(U3DeviceContext& context, PendingTransfer& transfer)
{
    if (transfer.Cancel()) {
        return;
    }
    AbortPipe30(context, zv::usb3::kEndpointBulkIn);
    if (!transfer.Wait(zv::usb3::kCancelWaitMs)) {
        transfer.Abandon();
    }
}

// Whether the acknowledgement belongs to the command; prints the line when not.
bool AckMatches(const U3VrReqFrame& ack, std::uint16_t sentId)
{
    if (ack.magic == kFrameMagic && ack.requestId == sentId && ack.command == kFrameCommand) {
        return true;
    }
    if (DebugLevelAtMost(3)) {
        DebugPrintf("ZAV u3VrReq bad ack %d!=%d %d!=%d %d!=%d\n", static_cast<int>(ack.magic),
                    static_cast<int>(kFrameMagic), static_cast<int>(ack.requestId), static_cast<int>(sentId),
                    static_cast<int>(ack.command), static_cast<int>(kFrameCommand));
    }
    return false;
}

// What one read of the acknowledgement brought. The bulk and bidirectional
// forms read them alike and differ only in what they do next.
enum class Ack {
    StartFailed,  // the read could not be started (printed)
    Timeout,      // nothing came within the wait; the read is ended (printed)
    Foreign,      // not the acknowledgement of the command sent (printed)
    Error,        // the device refused the command
    Pending,      // the device asks for another wait of `ack.length` ms
    Done          // the command is done; a reply follows the header
};

// Starts a read of one packet of the acknowledgement of the current command,
// waits for it and tells what it says; `ack` and `bytes` (the count the
// driver reports) are set once a packet came. A read that did not complete is
// ended before this returns: the record is free again whatever happened.
// `form` names the request form in the timeout line.
Ack ReadAck(U3DeviceContext& context, PendingTransfer& transfer, std::uint32_t waitMs, const char* form,
            U3VrReqFrame& ack, int& bytes)
{
    switch (BeginTransfer(context, zv::usb3::kEndpointBulkIn, PacketSize(context), transfer)) {
    case ReadStart::Failed:
        Debug3("u3VrReq coudn't read ack\n");
        return Ack::StartFailed;
    case ReadStart::Pending:
        if (!transfer.Wait(waitMs)) {
            EndRead(context, transfer);
            if (DebugLevelAtMost(3)) {
                DebugPrintf("%s u3VrReq timeout\n", form);
            }
            return Ack::Timeout;
        }
        break;
    case ReadStart::Completed:
        break;  // nothing to wait for
    }
    bytes = transfer.Succeeded() ? static_cast<int>(transfer.BytesTransferred()) : 0;
    ack = U3VrReqFrame::ReadAck(transfer.Data());
    if (!AckMatches(ack, u3ReqId)) {
        return Ack::Foreign;
    }
    if (ack.status == kAckError) {
        return Ack::Error;
    }
    return ack.status == kAckPending ? Ack::Pending : Ack::Done;
}

void ResetEndpoints(U3DeviceContext& context)
{
    Debug3("u3VrReq error: unknown ack. Reset endpoints.\n");
    for (std::uint8_t endpoint :
         {zv::usb3::kEndpointInterruptIn, zv::usb3::kEndpointBulkOut, zv::usb3::kEndpointBulkIn}) {
        AbortPipe30(context, endpoint);
        ResetPipe30(context, endpoint);
    }
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    if (context.hDevice) {
        context.hDevice->Control(zv::usb3::kIoctlResetPort, nullptr, 0, nullptr, 0, &returned, &error);
    }
}

// Reply bytes the acknowledgement carries, or -1 when its length field claims
// more than a packet holds or than the caller can take. The length is the
// frame's own: the count the driver reports (`bytes`) is shown, not trusted.
int CarriedReply(const U3DeviceContext& context, const U3VrReqFrame& ack, int bytes, int capacity)
{
    const int carried = bytes - kFrameHeaderSize;
    if (ack.length > PacketSize(context) - kFrameHeaderSize || ack.length > capacity) {
        if (DebugLevelAtMost(3)) {
            DebugPrintf("u3VrReq bad reply length %d (carried %d, room %d)\n", static_cast<int>(ack.length), carried,
                        capacity);
        }
        return -1;
    }
    return ack.length;
}

}  // namespace

std::uint16_t GetU3ReqId()
{
    return u3ReqId;
}
void SetU3ReqId(std::uint16_t id)
{
    u3ReqId = id;
}

bool XferData30(U3DeviceContext& context, std::uint8_t endpoint, std::uint8_t* buffer, int* length)
{
    return Transfer(context, endpoint, buffer, length);
}

bool BeginDataXfer30(U3DeviceContext& context, std::uint8_t endpoint, int length, PendingTransfer& transfer)
{
    return BeginTransfer(context, endpoint, length, transfer) != ReadStart::Failed;
}

bool AbortPipe30(U3DeviceContext& context, std::uint8_t endpoint)
{
    std::uint32_t error = 0;
    return context.hDevice && context.hDevice->AbortPipe(endpoint, &error);
}

bool ResetPipe30(U3DeviceContext& context, std::uint8_t endpoint)
{
    std::uint32_t error = 0;
    return context.hDevice && context.hDevice->ResetPipe(endpoint, &error);
}

int u3VrReqEp0(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
               std::uint8_t* data, int length, std::uint8_t hostToDevice, std::uint8_t takeLock)
{
    if (length > static_cast<int>(zv::usb3::kEp0MaxData) || length < 0 || (data == nullptr && length > 0)) {
        return 1;
    }
    if (!TakeLockIfAsked(context, takeLock)) {
        return 1;
    }
    // A request without data moves one dummy byte, which a device-to-host
    // request may get back empty.
    std::uint8_t dummy = 0;
    const bool withoutData = data == nullptr || length == 0;
    if (withoutData) {
        data = &dummy;
        length = 1;
    }
    std::uint8_t buffer[zv::usb3::kEp0BufferSize] = {};
    zv::usb3::WriteTransferHeader(
        std::span<std::uint8_t, zv::usb3::kTransferHeaderSize>(buffer, zv::usb3::kTransferHeaderSize),
        zv::usb3::VendorTransferHeader(hostToDevice == 0, request, value, index, static_cast<std::uint16_t>(length)));
    if (hostToDevice != 0) {
        std::memcpy(buffer + zv::usb3::kTransferHeaderSize, data, static_cast<std::size_t>(length));
    }
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    bool ok = context.hDevice && context.hDevice->Control(zv::usb3::kIoctlVendorTransfer, buffer, sizeof buffer, buffer,
                                                          sizeof buffer, &returned, &error);
    if (!ok) {
        if (DebugLevelAtMost(3)) {
            DebugPrintf("u3VrReq DeviceIoControl error: %d\n", static_cast<int>(error));
        }
        zv::os::SleepMs(kEp0RetryPauseMs);
    } else if (hostToDevice == 0) {
        const auto delivered =
            returned > zv::usb3::kTransferHeaderSize ? static_cast<int>(returned - zv::usb3::kTransferHeaderSize) : 0;
        if (delivered >= length) {
            std::memcpy(data, buffer + zv::usb3::kTransferHeaderSize, static_cast<std::size_t>(length));
        } else if (!(withoutData && delivered == 0)) {
            // Fewer bytes than asked: the rest of the buffer would be stale.
            if (DebugLevelAtMost(3)) {
                DebugPrintf("u3VrReq short reply %d of %d\n", delivered, length);
            }
            ok = false;
        }
    }
    ReleaseLockIfTaken(context, takeLock);
    return ok ? 0 : 1;
}

int u3VrReqBulk(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                std::uint8_t* data, int length, std::uint8_t hostToDevice, std::uint8_t takeLock)
{
    const int packet = PacketSize(context);
    if (length > packet - (kFrameHeaderSize + kRequestBlockSize) || length < 0 ||
        (data == nullptr && length > 0 && hostToDevice != 0)) {
        return 1;
    }
    if (!TakeLockIfAsked(context, takeLock)) {
        return 1;
    }
    const int carried = hostToDevice != 0 ? length : 0;
    const int size = BuildCommand(context, hostToDevice != 0 ? U3Direction::HostToDevice : U3Direction::DeviceToHost,
                                  request, value, index, data, carried, length);
    bool ok = false;
    bool resetEndpoints = false;
    PendingTransfer& transfer = context.ackTransfer;
    const bool written = WriteCommand(context, size);
    if (written && request == zv::usb3::kReqCameraReset) {
        // Nothing to read: a reset is never acknowledged.
        Debug3("u3VrReq Sent reset Not wait ack\n");
        ReleaseLockIfTaken(context, takeLock);
        return 1;
    }
    if (written && transfer.Valid()) {
        std::uint32_t waitMs = request == zv::usb3::kReqStartupProbe ? kProbeAckWaitMs : kAckWaitMs;
        for (int read = 0; read < kBulkAckReads; ++read) {
            U3VrReqFrame ack;
            int bytes = 0;
            const Ack result = ReadAck(context, transfer, waitMs, "u3VrReqBulk", ack, bytes);
            if (result == Ack::Timeout || result == Ack::Foreign) {
                resetEndpoints = true;
                break;
            }
            if (result == Ack::Pending) {
                waitMs = ack.length;
                continue;
            }
            if (result != Ack::Done) {
                break;
            }
            // Done: a reply is taken only whole.
            if (hostToDevice == 0) {
                const int reply = CarriedReply(context, ack, bytes, length);
                if (reply < 0) {
                    break;
                }
                if (reply < length) {
                    if (DebugLevelAtMost(3)) {
                        DebugPrintf("u3VrReq short reply %d of %d\n", reply, length);
                    }
                    break;
                }
                if (reply > 0 && data != nullptr) {
                    zv::usb3::CopyCarried(data, transfer.Data() + kFrameHeaderSize,
                                          static_cast<std::size_t>(reply));
                }
            }
            ok = true;
            break;
        }
    }
    if (resetEndpoints) {
        ResetEndpoints(context);
    }
    ++u3ReqId;
    ReleaseLockIfTaken(context, takeLock);
    return ok ? 0 : 1;
}

int u3VrReqBulkBid(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   const std::uint8_t* writeData, int writeLength, std::uint8_t* reply, int replyCapacity,
                   int* replyLength, std::uint8_t takeLock)
{
    const int packet = PacketSize(context);
    if (writeLength > packet - kRequestBlockSize || writeLength < 0 || replyCapacity < 0 ||
        (writeData == nullptr && writeLength > 0)) {
        return 1;
    }
    if (!TakeLockIfAsked(context, takeLock)) {
        return 1;
    }
    const int dataLength = writeLength > 0 ? writeLength : replyCapacity;
    const int size =
        BuildCommand(context, U3Direction::Bidirectional, request, value, index, writeData, writeLength, dataLength);
    bool ok = false;
    PendingTransfer& transfer = context.ackTransfer;
    if (WriteCommand(context, size) && transfer.Valid()) {
        std::uint32_t waitMs = kAckWaitMs;
        for (int read = 0; read < kBidAckReads; ++read) {
            U3VrReqFrame ack;
            int bytes = 0;
            const Ack result = ReadAck(context, transfer, waitMs, "u3VrReqBulkBid", ack, bytes);
            if (result == Ack::Timeout || result == Ack::Foreign) {
                waitMs = kAckWaitMs;
                continue;
            }
            if (result == Ack::Pending) {
                if (DebugLevelAtMost(3)) {
                    DebugPrintf("u3VrReq received pending %dms\n", static_cast<int>(ack.length));
                }
                waitMs = ack.length;
                continue;
            }
            if (result != Ack::Done) {
                break;
            }
            const int got = CarriedReply(context, ack, bytes, replyCapacity);
            if (got < 0) {
                break;
            }
            if (got > 0 && reply != nullptr) {
                std::memcpy(reply, transfer.Data() + kFrameHeaderSize, static_cast<std::size_t>(got));
                if (replyLength != nullptr) {
                    *replyLength = got;
                }
            }
            ok = true;
            break;
        }
    }
    ++u3ReqId;
    ReleaseLockIfTaken(context, takeLock);
    return ok ? 0 : 1;
}
