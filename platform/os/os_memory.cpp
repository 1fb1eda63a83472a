#include "os_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace zv::os {

namespace {

constexpr std::size_t kOwnMappingFrom = std::size_t{1} << 20;
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;

constexpr std::size_t RoundUp(std::size_t value, std::size_t to)
{
    return (value + to - 1) & ~(to - 1);
}

// The bytes of a block that large pages back: its whole large pages, and the
// last one when at least half of it is used.
constexpr std::size_t LargePart(std::size_t size)
{
    const std::size_t whole = size & ~(kLargePage - 1);
    return size - whole >= kLargePage / 2 ? whole + kLargePage : whole;
}

constexpr std::size_t MappedLength(std::size_t size)
{
    return std::max(RoundUp(size, kPage), LargePart(size));
}

}  // namespace

void* AllocateLargeBuffer(std::size_t size)
{
    if (size < kOwnMappingFrom) {
        return ::operator new(size);
    }
    if (size > std::numeric_limits<std::size_t>::max() - 2 * kLargePage) {
        throw std::bad_alloc();
    }
    const std::size_t length = MappedLength(size);
    // Mapped with a large page of room, then trimmed to the aligned block.
    void* raw = ::mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto rawBegin = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t rawEnd = rawBegin + length + kLargePage;
    const std::uintptr_t begin = RoundUp(rawBegin, kLargePage);
    const std::uintptr_t end = begin + length;
    if (begin > rawBegin) {
        ::munmap(raw, begin - rawBegin);
    }
    if (rawEnd > end) {
        ::munmap(reinterpret_cast<void*>(end), rawEnd - end);
    }
    void* data = reinterpret_cast<void*>(begin);
#ifdef MADV_HUGEPAGE
    if (const std::size_t large = LargePart(size); large > 0) {
        ::madvise(data, large, MADV_HUGEPAGE);
    }
#endif
    PrefaultBuffer(data, length);
    return data;
}

void FreeLargeBuffer(void* data, std::size_t size) noexcept
{
    if (data == nullptr) {
        return;
    }
    if (size < kOwnMappingFrom) {
        ::operator delete(data);
        return;
    }
    ::munmap(data, MappedLength(size));
}

void PrefaultBuffer(void* data, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    // From the page that holds the first byte; a system without the advice
    // refuses it, and the pages then come one fault at a time as before.
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

}  // namespace zv::os
