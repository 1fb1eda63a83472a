#include "os_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Every block holds what is written over its whole length; blocks of a MiB
// and more start on a large page, so large pages can back them.
TEST(LargeBuffer, HoldsItsBytesAndLargeBlocksStartOnALargePage)
{
    const std::size_t mib = std::size_t{1} << 20;
    for (const std::size_t size : {std::size_t{1}, mib - 1, mib, 3 * mib + 4, 4 * mib, 5 * mib + 16}) {
        SCOPED_TRACE(size);
        auto* data = static_cast<std::uint8_t*>(zv::os::AllocateLargeBuffer(size));
        ASSERT_NE(data, nullptr);
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
        }
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < size; ++i) {
            wrong += data[i] != static_cast<std::uint8_t>(i * 7 + i / 4096) ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u);
#ifndef _WIN32
        if (size >= mib) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % (2 * mib), 0u);
        }
#endif
        zv::os::FreeLargeBuffer(data, size);
    }
    zv::os::FreeLargeBuffer(nullptr, 0);
}

}  // namespace
