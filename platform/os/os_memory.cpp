#include "os_memory.h"

#include <sys/mman.h>

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

}  // namespace zv::os
