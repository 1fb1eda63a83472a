#include "flash_memory_kinds.h"

#include "usb3_memory_map.h"

#include <gtest/gtest.h>

namespace {

using namespace usb3map;

// The engine dispatches every type through the row of its memory, so each
// memory a type lands in, in any generation, needs a row whose operations
// can do what the type asks of them.
TEST(FlashMemoryKinds, EveryTypeOfEveryGenerationHasARowThatCanWriteIt)
{
    int placed = 0;
    for (int generation = 0; generation < static_cast<int>(kCameraGenerations); ++generation) {
        const MemoryMapDescriptor map = *DescriptorForGeneration(generation);
        for (std::int32_t type = 0; type < 2000; ++type) {
            const std::optional<TypeRegion> region = RegionOfType(type, map);
            if (!region) {
                continue;
            }
            ++placed;
            SCOPED_TRACE(testing::Message() << "type " << type << " generation " << generation);
            const MemoryKind& kind = KindOf(region->memory);
            EXPECT_EQ(kind.memory, region->memory);
            ASSERT_NE(kind.read, nullptr);
            ASSERT_NE(kind.part, nullptr);
            ASSERT_NE(kind.program, nullptr);
            ASSERT_NE(kind.verify, nullptr);
            EXPECT_GT(kind.readPiece, 0u);
            if (region->headBytesLast > 0) {
                EXPECT_NE(kind.writeHead, nullptr) << "its head would be written with the rest";
                EXPECT_LE(region->headBytesLast, kind.readPiece);
            }
            if (kind.eraseUnit > 0) {
                // Erase requests name units from the region's start on.
                EXPECT_EQ(region->region.start % kind.eraseUnit, 0u);
            }
        }
    }
    EXPECT_GT(placed, 0);
    for (const MemoryKind& kind : MemoryKinds()) {
        EXPECT_EQ(&KindOf(kind.memory), &kind);
    }
}

}  // namespace
