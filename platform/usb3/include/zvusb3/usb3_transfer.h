#pragma once

// The driver's control codes and the 38-byte transfer header that goes with
// endpoint-0 and bulk transfers, built and read by portable code: a native
// build hands these bytes to the driver unchanged.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "zvusb3/usb3_protocol.h"

namespace zv::usb3 {

// Control codes.
inline constexpr std::uint32_t kIoctlVendorTransfer = 0x220020;  // endpoint-0 transfer, 550-byte buffer
inline constexpr std::uint32_t kIoctlBulkTransfer = 0x22004B;    // bulk transfer on the header's endpoint
inline constexpr std::uint32_t kIoctlAbortPipe = 0x220044;       // input: 1 byte, the endpoint address
inline constexpr std::uint32_t kIoctlResetPipe = 0x22002C;       // input: 1 byte, the endpoint address
inline constexpr std::uint32_t kIoctlResetPort = 0x220030;       // no input, no output
inline constexpr std::uint32_t kIoctlGetSpeed = 0x22004C;        // output: u32, kSpeedHigh or another value

inline constexpr std::uint32_t kSpeedHigh = 2;  // 512-byte bulk packets; any other speed: 1024

inline constexpr std::size_t kTransferHeaderSize = 38;
inline constexpr std::size_t kTransferEndpointOffset = 13;  // the endpoint byte within the header
inline constexpr std::size_t kTransferDataLengthOffset = 34;  // the data length: bytes moved, on return
inline constexpr std::size_t kEp0MaxData = 512;
inline constexpr std::size_t kEp0BufferSize = kTransferHeaderSize + kEp0MaxData;  // 550

// The header's fields. Offsets: 0 request type, 1 request, 2 value, 4 index,
// 6 length, 8 timeout, 12 reserved, 13 endpoint, 14-29 status words,
// 30 data offset, 34 data length; little-endian, packed.
struct TransferHeader {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
    std::uint32_t timeout = 0;
    std::uint8_t endpoint = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;
};

void WriteTransferHeader(std::span<std::uint8_t, kTransferHeaderSize> out, const TransferHeader& header);
TransferHeader ReadTransferHeader(std::span<const std::uint8_t, kTransferHeaderSize> in);

// The header of an endpoint-0 vendor transfer of `length` data bytes
// (timeout 1, data offset 38).
TransferHeader VendorTransferHeader(bool deviceToHost, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                    std::uint16_t length);
// The header of a bulk transfer on `endpoint`, written: every field 0 but the
// endpoint. A constant expression, so that a driver handed a header made at
// compile time can tell its endpoint without a load.
constexpr std::array<std::uint8_t, kTransferHeaderSize> BulkTransferHeaderBytes(std::uint8_t endpoint)
{
    std::array<std::uint8_t, kTransferHeaderSize> bytes{};
    bytes[kTransferEndpointOffset] = endpoint;
    return bytes;
}

// The endpoint of a written header, read without decoding the rest.
inline std::uint8_t TransferEndpoint(const void* header)
{
    return static_cast<const std::uint8_t*>(header)[kTransferEndpointOffset];
}

// Bulk packet size for a speed answer.
constexpr std::uint32_t BulkPacketSize(bool highSpeed)
{
    return highSpeed ? 512 : 1024;
}

// Little-endian helpers shared by both sides of the protocol. On a
// little-endian machine a field is one plain load or store.
template <typename T>
T GetLe(const std::uint8_t* p)
{
    T v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        for (std::size_t i = sizeof v; i-- > 0;) {
            v = static_cast<T>(v << 8 | p[i]);
        }
    }
    return v;
}
template <typename T>
void PutLe(std::uint8_t* p, T v)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        for (std::size_t i = 0; i < sizeof v; ++i) {
            p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
}
inline std::uint16_t GetLe16(const std::uint8_t* p)
{
    return GetLe<std::uint16_t>(p);
}
inline std::uint32_t GetLe32(const std::uint8_t* p)
{
    return GetLe<std::uint32_t>(p);
}
inline void PutLe16(std::uint8_t* p, std::uint16_t v)
{
    PutLe(p, v);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    PutLe(p, v);
}
inline void PutLe64(std::uint8_t* p, std::uint64_t v)
{
    PutLe(p, v);
}

// Copies the few dozen bytes a request or its reply carries (n at most a
// packet). Knowing that bound, the compiler would turn a plain memcpy of them
// into a string instruction, whose start-up alone outlasts copying them in
// 16-byte pieces.
inline void CopyCarried(std::uint8_t* to, const std::uint8_t* from, std::size_t n)
{
    // Short ones in 4-byte pieces: their caller has often just stored them as
    // such words, and a wider read of them would wait for the stores.
    if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) {
            to[i] = from[i];
        }
        return;
    }
    if (n < 16) {
        for (std::size_t i = 0; i + 4 < n; i += 4) {
            std::memcpy(to + i, from + i, 4);
        }
        std::memcpy(to + n - 4, from + n - 4, 4);
        return;
    }
    if (n <= 64) {
        // At most four pieces and no loop: the first ones from the start, the
        // last ones from the end, overlapping when n is no multiple of 16.
        std::memcpy(to, from, 16);
        if (n > 32) {
            std::memcpy(to + 16, from + 16, 16);
            std::memcpy(to + n - 32, from + n - 32, 16);
        }
        std::memcpy(to + n - 16, from + n - 16, 16);
        return;
    }
    for (std::size_t i = 0; i + 16 < n; i += 16) {
        std::memcpy(to + i, from + i, 16);
    }
    std::memcpy(to + n - 16, from + n - 16, 16);  // the last piece, overlapping the one before
}

}  // namespace zv::usb3
