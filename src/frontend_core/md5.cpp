#include "md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace {

constexpr std::array<std::uint32_t, 4> kInitialState = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

// Per step: the additive constant (integer part of 2^32 * |sin(i + 1)|), the
// left-rotation amount and which message word the step adds.
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u};

constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

constexpr std::size_t WordIndex(std::size_t step)
{
    switch (step / 16) {
    case 0:
        return step;
    case 1:
        return (5 * step + 1) % 16;
    case 2:
        return (3 * step + 5) % 16;
    default:
        return (7 * step) % 16;
    }
}

using State = std::array<std::uint32_t, 4>;

// One of the 64 steps. Each step rewrites one of the four chaining words and
// the roles a, b, c, d rotate by one word per step; with the step number a
// template argument every index and constant is fixed at compile time, so the
// compiler keeps the words in registers and unrolls the whole block.
template <std::size_t I>
inline void Step(State& v, const std::uint32_t* x)
{
    constexpr std::size_t a = (4 - I % 4) % 4;
    constexpr std::size_t b = (a + 1) % 4;
    constexpr std::size_t c = (a + 2) % 4;
    constexpr std::size_t d = (a + 3) % 4;
    std::uint32_t sum = v[a] + x[WordIndex(I)] + kSine[I];
    if constexpr (I < 16) {
        sum += v[d] ^ (v[b] & (v[c] ^ v[d]));  // F = (b & c) | (~b & d)
    } else if constexpr (I < 32) {
        // G = (b & d) | (c & ~d): the two halves share no bits, so they can
        // be added one after the other, the second without waiting for b.
        sum += v[c] & ~v[d];
        sum += v[b] & v[d];
    } else if constexpr (I < 48) {
        sum += v[b] ^ v[c] ^ v[d];  // H
    } else {
        sum += v[c] ^ (v[b] | ~v[d]);  // I
    }
    v[a] = v[b] + std::rotl(sum, kShift[(I / 16) * 4 + I % 4]);
}

template <std::size_t... I>
inline void AllSteps(State& v, const std::uint32_t* x, std::index_sequence<I...>)
{
    (Step<I>(v, x), ...);
}

inline std::uint32_t LoadLittleEndian(const std::uint8_t* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        w = (w >> 24) | ((w >> 8) & 0xff00u) | ((w << 8) & 0xff0000u) | (w << 24);
    }
    return w;
}

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

MD5::MD5() : state_(kInitialState) {}

MD5::MD5(const std::string& text) : MD5()
{
    Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    Finalize();
}

MD5::MD5(const char* bytes, std::uint32_t length) : MD5()
{
    Update(bytes, length);
    Finalize();
}

MD5& MD5::Update(const std::uint8_t* bytes, std::uint32_t length)
{
    if (bytes == nullptr) {
        return *this;
    }
    return Update(std::span(bytes, length));
}

MD5& MD5::Update(const char* bytes, std::uint32_t length)
{
    return Update(reinterpret_cast<const std::uint8_t*>(bytes), length);
}

MD5& MD5::Update(std::span<const std::uint8_t> bytes)
{
    if (finalized_ || bytes.empty()) {
        return *this;
    }
    std::size_t used = (bitCount_ / 8) % 64;
    bitCount_ += static_cast<std::uint64_t>(bytes.size()) * 8;

    // Complete the partial block first; then take whole blocks straight from
    // the input and keep only the tail.
    if (used != 0) {
        const std::size_t take = std::min(bytes.size(), 64 - used);
        std::memcpy(buffer_.data() + used, bytes.data(), take);
        bytes = bytes.subspan(take);
        used += take;
        if (used < 64) {
            return *this;
        }
        ProcessBlocks(buffer_.data(), 1);
    }
    const std::size_t whole = bytes.size() / 64;
    if (whole != 0) {
        ProcessBlocks(bytes.data(), whole);
        bytes = bytes.subspan(whole * 64);
    }
    if (!bytes.empty()) {
        std::memcpy(buffer_.data(), bytes.data(), bytes.size());
    }
    return *this;
}

void MD5::ProcessBlocks(const std::uint8_t* blocks, std::size_t count)
{
    State v = state_;
    for (std::size_t n = 0; n < count; ++n, blocks += 64) {
        std::uint32_t x[16];
        for (std::size_t i = 0; i < 16; ++i) {
            x[i] = LoadLittleEndian(blocks + 4 * i);
        }
        const State before = v;
        AllSteps(v, x, std::make_index_sequence<64>{});
        for (std::size_t i = 0; i < 4; ++i) {
            v[i] += before[i];
        }
    }
    state_ = v;
}

MD5& MD5::Finalize()
{
    if (finalized_) {
        return *this;
    }
    const std::uint64_t bits = bitCount_;
    std::array<std::uint8_t, 72> padding{};
    padding[0] = 0x80;
    const std::size_t used = (bits / 8) % 64;
    const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
    Update(std::span(padding.data(), padLength));
    std::array<std::uint8_t, 8> length{};
    for (std::size_t i = 0; i < 8; ++i) {
        length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    Update(std::span(length));

    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = 0; j < 4; ++j) {
            digest_[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
        }
    }
    buffer_.fill(0);
    bitCount_ = 0;
    finalized_ = true;
    return *this;
}

std::string MD5::HexDigest() const
{
    if (!finalized_) {
        return {};
    }
    std::string text;
    text.reserve(32);
    for (std::uint8_t byte : digest_) {
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0f]);
    }
    return text;
}

std::string md5Hex(const std::string& text)
{
    return MD5(text).HexDigest();
}

std::string md5Hex(const char* bytes, std::uint32_t length)
{
    return MD5(bytes, length).HexDigest();
}
