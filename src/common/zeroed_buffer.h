#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "updater_error.h"

// A buffer of `size` zero bytes. Running out of memory is reported as the
// operation's own text (an UpdaterError), never as a standard-library one.
inline std::vector<std::uint8_t> ZeroedBuffer(std::size_t size, const char* failure)
{
    try {
        return std::vector<std::uint8_t>(size, 0);
    } catch (const std::bad_alloc&) {
        throw UpdaterError(failure);
    } catch (const std::length_error&) {
        throw UpdaterError(failure);
    }
}
