#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "cds_definition.h"
#include "gain_tables.h"
#include "test_support.h"

using calib_test::ErrorText;

namespace {

struct EntryCase {
    CdsGainTableKind kind;
    size_t entry;
    double gain;  // compared exactly: the tables' arithmetic must give these doubles
    int32_t code;
    int32_t index;
};

class GainTableEntries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(GainTableEntries, HoldTheExactGainsAndCodes)
{
    const EntryCase& c = GetParam();
    const GainTableEntry& e = GetCdsGainTable(c.kind).entries[c.entry];
    EXPECT_EQ(e.gain, c.gain) << "entry " << c.entry;
    EXPECT_EQ(e.registerCode, c.code);
    EXPECT_EQ(e.index, c.index);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, GainTableEntries,
    ::testing::Values(
        // 52-entry table: odd codes are 0.4..6.6 (product, then sum), even codes 7.0..16.5.
        EntryCase{CdsGainTableKind::Codes52, 0, 0.4, 1, 0},
        EntryCase{CdsGainTableKind::Codes52, 1, 0.6000000000000001, 3, 1},
        EntryCase{CdsGainTableKind::Codes52, 31, 6.6000000000000005, 63, 31},
        EntryCase{CdsGainTableKind::Codes52, 32, 7.0, 24, 32}, EntryCase{CdsGainTableKind::Codes52, 51, 16.5, 62, 51},
        EntryCase{CdsGainTableKind::Codes52, 52, 0.0, 0, 0}, EntryCase{CdsGainTableKind::Codes52, 63, 0.0, 0, 0},
        // JR574: repeated addition of 0.2 and 0.5, terminator at 47.
        EntryCase{CdsGainTableKind::JR574, 4, 1.5999999999999999, 13, 4},
        EntryCase{CdsGainTableKind::JR574, 6, 1.9999999999999998, 17, 6},
        EntryCase{CdsGainTableKind::JR574, 24, 5.600000000000002, 53, 24},
        EntryCase{CdsGainTableKind::JR574, 25, 6.0, 20, 25}, EntryCase{CdsGainTableKind::JR574, 46, 16.5, 62, 46},
        EntryCase{CdsGainTableKind::JR574, 47, 0.0, 0, -1},
        // JR825: 30 fine and 20 coarse entries, terminator at 50.
        EntryCase{CdsGainTableKind::JR825, 17, 4.200000000000001, 39, 17},
        EntryCase{CdsGainTableKind::JR825, 30, 7.0, 24, 30}, EntryCase{CdsGainTableKind::JR825, 49, 16.5, 62, 49},
        EntryCase{CdsGainTableKind::JR825, 50, 0.0, 0, -1},
        // JR574 D88: seven pairs sorted by gain.
        EntryCase{CdsGainTableKind::JR574D88, 0, 0.66, 0, 0}, EntryCase{CdsGainTableKind::JR574D88, 1, 1.29, 4, 1},
        EntryCase{CdsGainTableKind::JR574D88, 2, 1.85, 1, 2}, EntryCase{CdsGainTableKind::JR574D88, 3, 2.49, 2, 3},
        EntryCase{CdsGainTableKind::JR574D88, 4, 3.68, 3, 4}, EntryCase{CdsGainTableKind::JR574D88, 5, 4.95, 6, 5},
        EntryCase{CdsGainTableKind::JR574D88, 6, 7.25, 7, 6}, EntryCase{CdsGainTableKind::JR574D88, 7, 0.0, 0, 0}));

TEST(GainTables, FilledCountsAndDecibels)
{
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::Codes52).filled, 52u);
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::JR574).filled, 47u);
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::JR825).filled, 50u);
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::JR574D88).filled, 7u);
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::Empty).filled, 0u);
    for (const GainTableEntry& e : GetCdsGainTable(CdsGainTableKind::Empty).entries) {
        EXPECT_EQ(e.gain, 0.0);
        EXPECT_EQ(e.registerCode, 0);
    }

    const auto& codes52 = GetCdsGainTable(CdsGainTableKind::Codes52).entries;
    EXPECT_NEAR(codes52[0].gainDb, -10.8814, 1e-4);
    EXPECT_EQ(codes52[5].gainDb, 0.0);  // 1.4 is the reference
    EXPECT_NEAR(codes52[51].gainDb, 21.4271, 1e-4);
    EXPECT_NEAR(GetCdsGainTable(CdsGainTableKind::JR574D88).entries[6].gainDb, 20.8159, 1e-4);
    EXPECT_EQ(GetCdsGainTable(CdsGainTableKind::JR574D88).entries[0].gainDb, 0.0);

    // Truncated to thousandths the JR574 fine steps read one below their nominal value.
    const auto& jr574 = GetCdsGainTable(CdsGainTableKind::JR574).entries;
    EXPECT_EQ(static_cast<int>(jr574[4].gain * 1000), 1599);
    EXPECT_EQ(static_cast<int>(jr574[5].gain * 1000), 1799);
    EXPECT_EQ(static_cast<int>(jr574[6].gain * 1000), 1999);
    EXPECT_EQ(static_cast<int>(jr574[7].gain * 1000), 2199);
}

TEST(GainTables, ExtendedD88TableHoldsTheScaledCodes)
{
    const CdsGainTable& extended = GetJR574D88ExtendedGainTable();
    ASSERT_EQ(extended.filled, 13u);
    double previous = 0.0;
    int scaled = 0;
    for (const GainTableEntry& e : extended.Filled()) {
        EXPECT_GT(e.gain, previous);
        previous = e.gain;
        scaled += (e.registerCode & 0x40) != 0 ? 1 : 0;
    }
    EXPECT_EQ(scaled, 7);
    EXPECT_EQ(extended.entries[12].gain, 7.25 * 8.5);
    EXPECT_EQ(extended.entries[12].registerCode, 0x47);
    EXPECT_EQ(extended.entries[0].gain, 0.66);
}

TEST(GainTables, NearlyEqualAndCompare)
{
    EXPECT_TRUE(IsNearlyEqual(1.5999999999999999, 1.6, 3));
    EXPECT_TRUE(IsNearlyEqual(1.0, 1.0005, 3));
    EXPECT_FALSE(IsNearlyEqual(1.0, 1.002, 3));
    EXPECT_FALSE(IsNearlyEqual(std::numeric_limits<double>::quiet_NaN(), 1.0, 3));

    EXPECT_EQ(CompareGainValues({1.2005, 0, 0, 0}, {1.2, 0, 0, 0}), 0);
    EXPECT_EQ(CompareGainValues({1.29, 0, 0, 0}, {1.85, 0, 0, 0}), -560);
}

TEST(GainTables, InitializeRefusesTheVersionsWithoutATable)
{
    const auto& table = CdsDefinitionTable();
    EXPECT_EQ(ErrorText([&] { table[1].Initialize(); }), "RegTestCam01_V2_0_Def::Initialize - error, not implemented");
    EXPECT_EQ(ErrorText([&] { table[2].Initialize(); }), "RegTestCam01_V2_0_Def::Initialize - error, not implemented");
    EXPECT_EQ(ErrorText([&] { table[3].Initialize(); }), "RegTestCam01_V3_0_Def::Initialize - error, not implemented");
    for (size_t row : {0, 4, 12, 14, 26, 28, 31, 34}) {
        EXPECT_NO_THROW(table[row].Initialize()) << "row " << row;
    }
    EXPECT_THROW(CdsDefinition{}.Initialize(), UpdaterError);
}

}  // namespace
