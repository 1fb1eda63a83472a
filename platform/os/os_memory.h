#pragma once

#include <cstddef>

namespace zv::os {

// A block of `size` bytes for a buffer of a firmware file's size. From a MiB
// on it is mapped on its own, aligned to large pages and advised to take them
// where the system has them, and mapped in one call: filling it then costs a
// fault per 2 MiB instead of one per 4 KiB (and the processor one translation
// per 2 MiB). A block whose last large page would stay less than half used
// takes normal pages there. Smaller blocks come from the heap. The bytes are
// not initialised. Throws std::bad_alloc.
void* AllocateLargeBuffer(std::size_t size);
// Frees a block of AllocateLargeBuffer, given its size.
void FreeLargeBuffer(void* data, std::size_t size) noexcept;

// Maps every page of a buffer about to be written whole (fresh memory, a
// range of a mapped file) now, in one call, where the system can: writing it
// then takes no fault per page. Only advice, like the above.
void PrefaultBuffer(void* data, std::size_t size);

}  // namespace zv::os
