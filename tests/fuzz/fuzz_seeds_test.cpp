// Every fuzz target over its seeds, in every build and with any compiler:
// each seed is a valid input its parser takes, and the seeds cut short or
// with a byte changed are refused or taken without a crash or a sanitizer
// report.

#include "fuzz_target.h"
#include "seeds.h"

#include <gtest/gtest.h>

namespace {

class FuzzSeeds : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzSeeds, SeedsAreTakenAndTheirDamagedFormsHandled)
{
    const auto target = zvfuzz::Targets().find(GetParam());
    ASSERT_NE(target, zvfuzz::Targets().end());
    const std::vector<zvfuzz::Seed> seeds = zvfuzz::SeedsOf(GetParam());
    ASSERT_FALSE(seeds.empty());
    std::size_t runs = 0;
    for (const zvfuzz::Seed& seed : seeds) {
        EXPECT_TRUE(target->second(seed.bytes.data(), seed.bytes.size())) << seed.name;
        std::vector<std::vector<std::uint8_t>> damaged = {
            {seed.bytes.begin(), seed.bytes.begin() + static_cast<std::ptrdiff_t>(seed.bytes.size() / 2)},
            {seed.bytes.begin(), seed.bytes.end() - 1},
        };
        // The selector byte stays: the damage goes to the parser's input.
        constexpr std::size_t kSpots = 8;
        for (std::size_t spot = 0; spot < kSpots && seed.bytes.size() > 1; ++spot) {
            std::vector<std::uint8_t> changed = seed.bytes;
            changed[1 + spot * (seed.bytes.size() - 1) / kSpots] ^= 0x5A;
            damaged.push_back(std::move(changed));
        }
        for (const auto& bytes : damaged) {
            (void)target->second(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("fuzz target %s: %zu seeds, %zu damaged forms\n", GetParam().c_str(), seeds.size(), runs);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzSeeds, ::testing::ValuesIn(zvfuzz::TargetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Every target that is built is seeded, and every seeded one is built.
TEST(FuzzSeedList, NamesTheBuiltTargets)
{
    std::vector<std::string> built;
    for (const auto& [name, target] : zvfuzz::Targets()) {
        built.push_back(name);
    }
    EXPECT_EQ(built, zvfuzz::TargetNames());
}

}  // namespace
