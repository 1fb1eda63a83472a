#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// MD5 message digest (RFC 1321). The operation log stamps each programmed
// firmware image with a short digest of its payload, so that the log tells
// which image went into the camera. Bytes may arrive in any number of pieces;
// the digest is fixed by Finalize.
class MD5 {
public:
    MD5();
    // Digest of a whole text or byte range, finalized at once.
    explicit MD5(const std::string& text);
    MD5(const char* bytes, std::uint32_t length);

    MD5& Update(std::span<const std::uint8_t> bytes);
    MD5& Update(const std::uint8_t* bytes, std::uint32_t length);
    MD5& Update(const char* bytes, std::uint32_t length);

    // Pads the message and fixes the digest; later calls and later updates
    // leave the digest as it is.
    MD5& Finalize();

    // 32 lower-case hexadecimal digits, first digest byte first; empty until
    // the digest is finalized.
    std::string HexDigest() const;

private:
    void ProcessBlocks(const std::uint8_t* blocks, std::size_t count);

    bool finalized_ = false;
    std::array<std::uint8_t, 64> buffer_{};  // the current incomplete block
    std::uint64_t bitCount_ = 0;             // message length in bits, modulo 2^64
    std::array<std::uint32_t, 4> state_{};
    std::array<std::uint8_t, 16> digest_{};
};

// One-shot helpers: the hexadecimal digest of a text or of a byte range.
std::string md5Hex(const std::string& text);
std::string md5Hex(const char* bytes, std::uint32_t length);
