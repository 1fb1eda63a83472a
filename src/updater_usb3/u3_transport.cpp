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

// A bulk transfer header differs only in its endpoint: the two the requests
// use are constants.
constexpr auto kBulkOutHeader = zv::usb3::BulkTransferHeaderBytes(zv::usb3::kEndpointBulkOut);
constexpr auto kBulkInHeader = zv::usb3::BulkTransferHeaderBytes(zv::usb3::kEndpointBulkIn);

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
[[gnu::always_inline]] inline bool TakeLockIfAsked(U3DeviceContext& context, std::uint8_t takeLock)
{
    if (takeLock == 0 || LockResourceAccess(context)) {
        return true;
    }
    Debug3("hRWMutex failed\r\n");
    return false;
}

[[gnu::always_inline]] inline void ReleaseLockIfTaken(U3DeviceContext& context, std::uint8_t takeLock)
{
    if (takeLock != 0) {
        UnlockResourceAccess(context);
    }
}

// Builds the command frame in the context's buffer; answers its size.
[[gnu::always_inline]] inline int BuildCommand(U3DeviceContext& context, U3Direction direction, std::uint8_t request,
                                               std::uint16_t value, std::uint16_t index, const std::uint8_t* data,
                                               int carried, int dataLength)
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

// One synchronous bulk transfer described by `header` (see XferData30).
bool Transfer(U3DeviceContext& context, const std::uint8_t* header, std::uint8_t* buffer, int* length)
{
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    const bool ok = context.hDevice && *length >= 0 &&
                    context.hDevice->Control(zv::usb3::kIoctlBulkTransfer, header, zv::usb3::kTransferHeaderSize,
                                             buffer, static_cast<std::uint32_t>(*length), &returned, &error);
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

bool WriteCommand(U3DeviceContext& context, int size)
{
    int length = size;
    if (Transfer(context, kBulkOutHeader.data(), context.commandBuffer.data(), &length) && length == size) {
        return true;
    }
    Debug3("u3VrReq couldn't write command\n");
    return false;
}

enum class AckRead {
    Done,
    Timeout,
    StartFailed
};

enum class ReadStart {
    Completed,
    Pending,
    Failed,
    NotWritten  // the command before it could not be written: no read began
};

// Starts an overlapped bulk transfer; a failure is printed at level 4.
ReadStart BeginTransfer(U3DeviceContext& context, const std::uint8_t* header, std::uint8_t* buffer, int length,
                        PendingTransfer& transfer)
{
    std::uint32_t error = 0;
    if (context.hDeviceOvl && length >= 0) {
        if (context.hDeviceOvl->BeginControl(zv::usb3::kIoctlBulkTransfer, header, zv::usb3::kTransferHeaderSize,
                                             buffer, static_cast<std::uint32_t>(length), transfer, &error)) {
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

// Waits for a read of the acknowledgement that `start` began. A read that did
// not complete is cancelled, and its end awaited, before this returns: the
// buffer is free again whatever happened.
[[gnu::always_inline]] inline AckRead AwaitAck(ReadStart start, PendingTransfer& transfer, std::uint32_t waitMs,
                                               int* bytes)
{
    switch (start) {
    case ReadStart::NotWritten:  // not given: the caller reads nothing then
    case ReadStart::Failed:
        Debug3("u3VrReq coudn't read ack\n");
        return AckRead::StartFailed;
    case ReadStart::Pending:
        if (!transfer.Wait(waitMs)) {
            transfer.Cancel();
            return AckRead::Timeout;
        }
        break;
    case ReadStart::Completed:
        break;  // nothing to wait for
    }
    *bytes = transfer.Succeeded() ? static_cast<int>(transfer.BytesTransferred()) : 0;
    return AckRead::Done;
}

// Starts a read of one packet into the acknowledgement buffer.
inline ReadStart BeginAckRead(U3DeviceContext& context, PendingTransfer& transfer)
{
    std::memset(context.ackBuffer.data(), 0, kFrameHeaderSize);
    return BeginTransfer(context, kBulkInHeader.data(), context.ackBuffer.data(), PacketSize(context), transfer);
}

// Starts a read of one packet into the acknowledgement buffer and waits for it.
inline AckRead ReadAck(U3DeviceContext& context, PendingTransfer& transfer, std::uint32_t waitMs, int* bytes)
{
    return AwaitAck(BeginAckRead(context, transfer), transfer, waitMs, bytes);
}

// Writes the command in the context's buffer and starts the read of its
// acknowledgement, in one driver call when both handles are there. NotWritten
// when the command could not be written (after its messages). Out of line:
// the one place that calls the driver's combined call, which then comes in
// here whole.
[[gnu::noinline]] ReadStart WriteCommandAndBeginAck(U3DeviceContext& context, int size, PendingTransfer& transfer)
{
    if (!context.hDevice || !context.hDeviceOvl) {
        return WriteCommand(context, size) ? BeginAckRead(context, transfer) : ReadStart::NotWritten;
    }
    std::memset(context.ackBuffer.data(), 0, kFrameHeaderSize);
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    bool written = false;
    const bool completed = context.hDevice->WriteThenBeginRead(
        kBulkOutHeader.data(), context.commandBuffer.data(), static_cast<std::uint32_t>(size), &returned, &written,
        *context.hDeviceOvl, kBulkInHeader.data(), context.ackBuffer.data(),
        static_cast<std::uint32_t>(PacketSize(context)), transfer, &error);
    if (completed) {
        return ReadStart::Completed;
    }
    if (!written || returned != static_cast<std::uint32_t>(size)) {
        if (!written && DebugLevelAtMost(4)) {
            DebugPrintf("XferData30 error %d\r\n", static_cast<int>(error));
        }
        Debug3("u3VrReq couldn't write command\n");
        return ReadStart::NotWritten;
    }
    if (error == zv::usb3::kErrorIoPending) {
        return ReadStart::Pending;
    }
    if (DebugLevelAtMost(4)) {
        DebugPrintf("BeginDataXfer30 error %d\r\n", static_cast<int>(error));
    }
    return ReadStart::Failed;
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

[[gnu::cold]] void ResetEndpoints(U3DeviceContext& context)
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
// more than the packet holds or than the caller can take.
int CarriedReply(const U3VrReqFrame& ack, int bytes, int capacity)
{
    const int carried = bytes - kFrameHeaderSize;
    if (ack.length > carried || ack.length > capacity) {
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
    const auto header = zv::usb3::BulkTransferHeaderBytes(endpoint);
    return Transfer(context, header.data(), buffer, length);
}

bool BeginDataXfer30(U3DeviceContext& context, const std::uint8_t* header, std::uint8_t* buffer, int length,
                     PendingTransfer& transfer)
{
    return BeginTransfer(context, header, buffer, length, transfer) != ReadStart::Failed;
}

bool AbortPipe30(U3DeviceContext& context, std::uint8_t endpoint)
{
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    return context.hDevice &&
           context.hDevice->Control(zv::usb3::kIoctlAbortPipe, &endpoint, 1, nullptr, 0, &returned, &error);
}

bool ResetPipe30(U3DeviceContext& context, std::uint8_t endpoint)
{
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    return context.hDevice &&
           context.hDevice->Control(zv::usb3::kIoctlResetPipe, &endpoint, 1, nullptr, 0, &returned, &error);
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
    if (request == zv::usb3::kReqCameraReset || !transfer.Valid()) {
        // Nothing to read: a reset is never acknowledged.
        if (WriteCommand(context, size) && request == zv::usb3::kReqCameraReset) {
            Debug3("u3VrReq Sent reset Not wait ack\n");
            ReleaseLockIfTaken(context, takeLock);
            return 1;
        }
    } else if (const ReadStart start = WriteCommandAndBeginAck(context, size, transfer);
               start != ReadStart::NotWritten) {
        std::uint32_t waitMs = request == zv::usb3::kReqStartupProbe ? kProbeAckWaitMs : kAckWaitMs;
        for (int read = 0; read < kBulkAckReads; ++read) {
            int bytes = 0;
            const AckRead result =
                read == 0 ? AwaitAck(start, transfer, waitMs, &bytes) : ReadAck(context, transfer, waitMs, &bytes);
            if (result == AckRead::StartFailed) {
                break;
            }
            if (result == AckRead::Timeout) {
                Debug3("u3VrReqBulk u3VrReq timeout\n");
                resetEndpoints = true;
                break;
            }
            const U3VrReqFrame ack = U3VrReqFrame::ReadAck(context.ackBuffer.data());
            if (!AckMatches(ack, u3ReqId) || bytes < kFrameHeaderSize) {
                resetEndpoints = true;
                break;
            }
            if (ack.status == kAckError) {
                break;
            }
            if (ack.status == kAckPending) {
                waitMs = ack.length;
                continue;
            }
            // Done: a reply is taken only whole and only from what came.
            const int reply = CarriedReply(ack, bytes, hostToDevice != 0 ? bytes : length);
            if (reply < 0) {
                break;
            }
            if (hostToDevice == 0) {
                if (reply < length) {
                    if (DebugLevelAtMost(3)) {
                        DebugPrintf("u3VrReq short reply %d of %d\n", reply, length);
                    }
                    break;
                }
                if (reply > 0 && data != nullptr) {
                    zv::usb3::CopyCarried(data, context.ackBuffer.data() + kFrameHeaderSize,
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
    if (!transfer.Valid()) {
        WriteCommand(context, size);
    } else if (const ReadStart start = WriteCommandAndBeginAck(context, size, transfer);
               start != ReadStart::NotWritten) {
        std::uint32_t waitMs = kAckWaitMs;
        for (int read = 0; read < kBidAckReads; ++read) {
            int bytes = 0;
            const AckRead result =
                read == 0 ? AwaitAck(start, transfer, waitMs, &bytes) : ReadAck(context, transfer, waitMs, &bytes);
            if (result == AckRead::StartFailed) {
                break;
            }
            if (result == AckRead::Timeout) {
                Debug3("u3VrReqBulkBid u3VrReq timeout\n");
                waitMs = kAckWaitMs;
                continue;
            }
            const U3VrReqFrame ack = U3VrReqFrame::ReadAck(context.ackBuffer.data());
            if (!AckMatches(ack, u3ReqId) || bytes < kFrameHeaderSize) {
                waitMs = kAckWaitMs;
                continue;
            }
            if (ack.status == kAckError) {
                break;
            }
            if (ack.status == kAckPending) {
                if (DebugLevelAtMost(3)) {
                    DebugPrintf("u3VrReq received pending %dms\n", static_cast<int>(ack.length));
                }
                waitMs = ack.length;
                continue;
            }
            const int got = CarriedReply(ack, bytes, replyCapacity);
            if (got < 0) {
                break;
            }
            if (got > 0 && reply != nullptr) {
                std::memcpy(reply, context.ackBuffer.data() + kFrameHeaderSize, static_cast<std::size_t>(got));
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
