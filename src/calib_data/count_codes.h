#pragma once

#include <cstdint>

// Register forms of the sensors' counter fields (raw data type 3).
//
// Three-part code (TestCam and JV966 sensors, 21-bit counters): bits 9-20
// hold count / 32, bits 3-8 hold 32 + (count / 2) % 16 and bits 0-2 hold 4;
// the decoded sum is a signed 17-bit number. Even counts from -65536 to 65534
// survive an encode and decode; an odd count loses its lowest bit.
//
// Two-part code with offset k (JR574: 32, JR574 D88 and JR825: 64, 16-bit
// counters): bits 0-4 hold count % 32, the bit of value k is set, bits 7-15
// hold (count - k) / 32. Counts from k to k + 16383 survive a round trip.

constexpr int32_t ThreePartCountDecode(int32_t raw)
{
    const int32_t sum = ((raw & 0x1FFE00) >> 4) + ((raw & 0x1F8) >> 2) + (raw & 7);
    // Sign-extend the 17-bit sum.
    return static_cast<int32_t>(static_cast<uint32_t>(sum) << 15) >> 15;
}

constexpr int32_t ThreePartCountEncode(int32_t count)
{
    const int32_t w = count - 4;
    return static_cast<int32_t>((static_cast<uint32_t>((w - 64) & 0x1FFE0) << 4) +
                                static_cast<uint32_t>(w & 0x1E) * 4u + 0x104u);
}

constexpr int32_t TwoPartCountDecode(int32_t raw)
{
    return ((raw >> 2) & 0xFFE0) + (raw & 0x7F);
}

constexpr int32_t TwoPartCountEncode(int32_t count, int32_t offset)
{
    return ((4 * count - 4 * offset) & 0xFF80) + offset + (count & 0x1F);
}

static_assert(ThreePartCountDecode(2085636) == -668);
static_assert(ThreePartCountEncode(-668) == 2085636);
static_assert(TwoPartCountDecode(62271) == 15615);
static_assert(TwoPartCountEncode(15615, 32) == 62271);
static_assert(TwoPartCountEncode(15680, 64) == 62528);
