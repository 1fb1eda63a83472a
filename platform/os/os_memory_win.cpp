#include "os_memory.h"

#include <new>

namespace zv::os {

// Large pages need a privilege that ordinary accounts do not hold: the
// block keeps the system's normal pages.
void* AllocateLargeBuffer(std::size_t size)
{
    return ::operator new(size);
}

void FreeLargeBuffer(void* data, std::size_t) noexcept
{
    ::operator delete(data);
}

// The pages come one fault at a time.
void PrefaultBuffer(void*, std::size_t) {}

}  // namespace zv::os
