#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os_memory.h"

// Allocator of firmware-file-sized buffers (large pages where the system has
// them: see AllocateLargeBuffer) whose resize leaves new bytes uninitialized:
// a file's bytes are read straight over them, so zeroing them first would be
// a wasted pass.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    T* allocate(std::size_t n)
    {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(zv::os::AllocateLargeBuffer(n * sizeof(T)));
    }
    void deallocate(T* data, std::size_t n) noexcept { zv::os::FreeLargeBuffer(data, n * sizeof(T)); }
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept
    {}
    template <class U>
    void construct(U* at) noexcept
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// The content an operation writes to the camera or compares with it: a
// firmware file (scrambled binary with a trailing check word, plain binary, or
// Intel HEX), or bytes given on the command line in place of a file.
// A container takes exactly one load.
class FwDecrypter {
public:
    static constexpr std::uint32_t kSeed = 0x00009E4B;
    // Zero bytes kept after a binary file's content: the updaters write in
    // fixed-size pieces and may read past the last content byte.
    static constexpr std::size_t kBinaryPadding = 4096;
    // An Intel HEX file describes a 64 KiB image.
    static constexpr std::size_t kHexImageSize = 0x10000;
    static constexpr std::uint32_t kCheckWordSize = 4;

    void SetHexFormat() { hexFormat = true; }
    void ClearScrambled() { scrambled = false; }

    // Loads a binary or Intel HEX file; every failure is thrown as an UpdaterError.
    bool LoadFile(const std::string& fileName);
    // Descrambles the rest of the payload and compares the check word; true
    // for content that carries none (plain or HEX).
    bool IsChecksumValid();
    bool Decrypt() { return IsChecksumValid(); }

    // Content taken from the command-line word instead of a file.
    bool ParseHexFromStringToBuffer(const char* text);
    bool ParseSnSneFromStringToBuffer(const char* text);
    bool SSnFromNameToBuffer(const char* text);

    // The whole buffer (content and any padding); empty before a load.
    std::span<const std::uint8_t> GetFileBuffer() const { return file_buffer; }
    // The payload size: without the check word for a scrambled file.
    std::uint32_t GetDataSize() const
    {
        if (!scrambled) {
            return fileSize;
        }
        return fileSize >= kCheckWordSize ? fileSize - kCheckWordSize : 0;
    }
    std::uint32_t GetFileSize() const { return fileSize; }
    std::uint32_t GetKeyState() const { return keyState; }

    // Descrambler steps, exposed for the updaters' own checks and for tests.
    void ResetKey() { keyState = kSeed; }
    // Advances the register by one byte fed with `feed`; returns the key byte.
    std::uint8_t DecryptByte(std::uint8_t feed);
    // Descrambles up to out.size() bytes in place at the current position and
    // copies them to `out`; returns how many were descrambled.
    std::int32_t DecryptBlock(std::span<std::uint8_t> out);

private:
    void LoadBinary(const std::string& fileName);
    void LoadIntelHex(const std::string& fileName);
    // Descrambles up to `count` bytes in place; returns how many.
    std::uint32_t DescrambleInPlace(std::uint32_t count);

    std::uint32_t fileSize = 0;
    std::uint32_t position = 0;
    std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>> file_buffer;
    std::uint32_t keyState = 0;
    bool hexFormat = false;
    bool scrambled = true;
};

// An 8-digit hexadecimal legacy serial number (most significant byte first)
// into 4 bytes, least significant first. Characters after the eighth are ignored.
void DecodeLegacySN(std::string_view text, std::span<std::uint8_t, 4> out);
