#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

// Reads a text through a camera API call that fills a caller's buffer of a
// given size (read(buffer, size)). The buffer starts zeroed and the text ends
// at its first NUL or at the buffer's end, so a camera that fills the whole
// buffer cannot make us read past it.
template <std::size_t Size, class Read>
std::string ReadCameraText(Read&& read)
{
    std::array<char, Size> buffer{};
    read(buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}
