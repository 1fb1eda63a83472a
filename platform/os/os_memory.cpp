#include "os_memory.h"

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>

namespace zv::os {

void AdviseLargeBuffer(void* data, std::size_t size)
{
#ifdef MADV_HUGEPAGE
    // The advice applies to whole large pages inside the buffer.
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kLargePage - 1);
    if (first < last) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}

void PrefaultBuffer(void* data, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    // From the page that holds the first byte; a system without the advice
    // refuses it, and the pages then come one fault at a time as before.
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = begin & ~(kPage - 1);
    if (size > 0) {
        ::madvise(reinterpret_cast<void*>(first), begin + size - first, MADV_POPULATE_WRITE);
    }
#else
    (void)data;
    (void)size;
#endif
}

void KeepFreedMemory()
{
#if defined(__GLIBC__)
    constexpr int kKeptMemory = 64 << 20;
    constexpr int kOwnMappingFrom = 1 << 20;
    ::mallopt(M_TRIM_THRESHOLD, kKeptMemory);
    ::mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);
#endif
}

}  // namespace zv::os
