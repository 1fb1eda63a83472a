#pragma once

// Vendor requests to the camera's USB controller: as framed bulk commands
// (acknowledged), as endpoint-0 control transfers, or bidirectional (write
// data, read a reply in one exchange). Every request answers 0 for success and
// 1 for failure and prints its diagnostics only through DebugPrintf.
//
// takeLock 1 wraps the request in LockResourceAccess/UnlockResourceAccess;
// device routines that already hold the lock pass 0.
//
// Replies are never trusted: a device-to-host request succeeds only when the
// device delivered the bytes asked for (a request without data in endpoint-0
// mode may come back empty), and reply bytes are copied only as far as the
// acknowledgement's own length field says, never past a packet or the
// caller's capacity. The byte counts a driver reports for bulk transfers are
// not relied on: a driver may report 0 for a transfer that moved everything.

#include <cstdint>

#include "u3_device.h"
#include "zvusb3/usb3_driver.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

// Bulk command frame (12-byte header, 10-byte request block, data).
using zv::usb3::kAckError;
using zv::usb3::kAckPending;
using zv::usb3::kFrameCommand;
using zv::usb3::kFrameHeaderSize;
using zv::usb3::kFrameMagic;
using zv::usb3::kRequestBlockSize;

enum class U3Direction : std::uint16_t {
    HostToDevice = 0,
    DeviceToHost = 1,
    Bidirectional = 2
};

// The fields of a command frame (and, for the first five, of an acknowledgement).
struct U3VrReqFrame {
    std::uint32_t magic = kFrameMagic;
    std::uint16_t status = 0;
    std::uint16_t command = kFrameCommand;
    std::uint16_t length = 0;  // bytes after the 12-byte header
    std::uint16_t requestId = 0;
    std::uint16_t direction = 0;
    std::uint16_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t dataLength = 0;

    // Writes the 22 header bytes; the data follow at offset 22.
    void WriteTo(std::uint8_t* out) const
    {
        using zv::usb3::PutLe16;
        zv::usb3::PutLe32(out, magic);
        PutLe16(out + 4, status);
        PutLe16(out + 6, command);
        PutLe16(out + 8, length);
        PutLe16(out + 10, requestId);
        PutLe16(out + 12, direction);
        PutLe16(out + 14, request);
        // Value and index as one word: the device reads them so, and a word
        // read back right after being stored in two halves waits for both.
        zv::usb3::PutLe32(out + 16, static_cast<std::uint32_t>(value) | static_cast<std::uint32_t>(index) << 16);
        PutLe16(out + 20, dataLength);
    }
    // Reads the 12-byte acknowledgement header (the request block stays 0).
    static U3VrReqFrame ReadAck(const std::uint8_t* in)
    {
        using zv::usb3::GetLe16;
        U3VrReqFrame frame;
        frame.magic = zv::usb3::GetLe32(in);
        frame.status = GetLe16(in + 4);
        frame.command = GetLe16(in + 6);
        frame.length = GetLe16(in + 8);
        frame.requestId = GetLe16(in + 10);
        return frame;
    }
};

int u3VrReqEp0(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
               std::uint8_t* data, int length, std::uint8_t hostToDevice, std::uint8_t takeLock);
int u3VrReqBulk(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                std::uint8_t* data, int length, std::uint8_t hostToDevice, std::uint8_t takeLock);
// The form the device was opened in; inline, as every request of the flash
// routines passes here.
inline int u3VrReq(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::uint8_t* data, int length, std::uint8_t hostToDevice, std::uint8_t takeLock)
{
    if (context.bulkMode != 0) {
        return u3VrReqBulk(context, request, value, index, data, length, hostToDevice, takeLock);
    }
    return u3VrReqEp0(context, request, value, index, data, length, hostToDevice, takeLock);
}
// writeData may be null with writeLength 0; replyLength, when given, is set to
// the reply bytes copied (left unchanged otherwise).
int u3VrReqBulkBid(U3DeviceContext& context, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   const std::uint8_t* writeData, int writeLength, std::uint8_t* reply, int replyCapacity,
                   int* replyLength, std::uint8_t takeLock);

// One synchronous bulk transfer on `endpoint`; *length: bytes to move, then
// bytes moved (0 on failure).
bool XferData30(U3DeviceContext& context, std::uint8_t endpoint, std::uint8_t* buffer, int* length);
// Starts an overlapped bulk read of `length` bytes on `endpoint` into the
// record's own buffer; true when it completed at once or is pending.
bool BeginDataXfer30(U3DeviceContext& context, std::uint8_t endpoint, int length, zv::usb3::PendingTransfer& transfer);
bool AbortPipe30(U3DeviceContext& context, std::uint8_t endpoint);
bool ResetPipe30(U3DeviceContext& context, std::uint8_t endpoint);

// The process-wide request counter of the bulk and bidirectional forms
// (starts at 0, wraps at 65536). For tests.
std::uint16_t GetU3ReqId();
void SetU3ReqId(std::uint16_t id);
