#include "zvusb3/usb3_transfer.h"

namespace zv::usb3 {

void WriteTransferHeader(std::span<std::uint8_t, kTransferHeaderSize> out, const TransferHeader& h)
{
    std::uint8_t* p = out.data();
    for (std::size_t i = 0; i < kTransferHeaderSize; ++i) {
        p[i] = 0;
    }
    p[0] = h.requestType;
    p[1] = h.request;
    PutLe16(p + 2, h.value);
    PutLe16(p + 4, h.index);
    PutLe16(p + 6, h.length);
    PutLe32(p + 8, h.timeout);
    p[kTransferEndpointOffset] = h.endpoint;
    PutLe32(p + 30, h.dataOffset);
    PutLe32(p + 34, h.dataLength);
}

TransferHeader ReadTransferHeader(std::span<const std::uint8_t, kTransferHeaderSize> in)
{
    const std::uint8_t* p = in.data();
    TransferHeader h;
    h.requestType = p[0];
    h.request = p[1];
    h.value = GetLe16(p + 2);
    h.index = GetLe16(p + 4);
    h.length = GetLe16(p + 6);
    h.timeout = GetLe32(p + 8);
    h.endpoint = p[kTransferEndpointOffset];
    h.dataOffset = GetLe32(p + 30);
    h.dataLength = GetLe32(p + 34);
    return h;
}

TransferHeader VendorTransferHeader(bool deviceToHost, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                    std::uint16_t length)
{
    TransferHeader h;
    h.requestType = deviceToHost ? kRequestTypeVendorIn : kRequestTypeVendorOut;
    h.request = request;
    h.value = value;
    h.index = index;
    h.length = length;
    h.timeout = 1;
    h.endpoint = kEndpointControl;
    h.dataOffset = kTransferHeaderSize;
    h.dataLength = length;
    return h;
}

}  // namespace zv::usb3
