#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <random>
#include <vector>

#include "cds_definition.h"
#include "page_layouts.h"

namespace {

UnpackedField Bits(uint32_t width, int32_t value = 0)
{
    return UnpackedField{width, value, "f", "c"};
}

UnpackedField Word(int32_t value = 0)
{
    return UnpackedField{0x5010, value, "w", "c"};
}

const UnpackedField kEnd{0, 0, "", ""};

// A small field array: a 1-bit field, a 16-bit field, two words.
std::vector<UnpackedField> SmallTable(int32_t first, int32_t second, int32_t word0 = 0, int32_t word1 = 0)
{
    return {Bits(1, first), Bits(16, second), kEnd, Word(word0), Word(word1), kEnd};
}

struct PlacementCase {
    const char* what;
    CdsPageLayout layout;
    std::vector<UnpackedField> fields;
    std::map<size_t, uint8_t> bytes;  // every other byte is 0 (the 512-byte check byte is not compared)
};

void PrintTo(const PlacementCase& c, std::ostream* os)
{
    *os << c.what;
}

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, FieldBitsLandOnTheirBytes)
{
    const PlacementCase& c = GetParam();
    std::vector<uint8_t> page(PageSizeOf(c.layout), 0xEE);
    PackPage(c.layout, page, c.fields);
    const size_t compared = c.layout == CdsPageLayout::Checksum512 ? page.size() - 1 : page.size();
    for (size_t i = 0; i < compared; ++i) {
        const auto expected = c.bytes.count(i) != 0 ? c.bytes.at(i) : uint8_t{0};
        EXPECT_EQ(page[i], expected) << c.what << ": byte " << i;
    }
    std::vector<UnpackedField> back = c.fields;
    for (UnpackedField& f : back) {
        f.value = 0;
    }
    ASSERT_EQ(UnpackPage(c.layout, page, back), 0);
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].value, c.fields[i].value) << c.what << " record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, Placement,
                         ::testing::Values(PlacementCase{"backward: first field's top bit is bit 7 of byte 127",
                                                         CdsPageLayout::Backward128,
                                                         SmallTable(1, 0),
                                                         {{127, 0x80}}},
                                           PlacementCase{
                                               "backward: next field from bit 6 of byte 127 down to bit 7 of byte 125",
                                               CdsPageLayout::Backward128,
                                               SmallTable(0, 0x1235),
                                               {{127, 0x09}, {126, 0x1A}, {125, 0x80}}},
                                           PlacementCase{"forward: first field's top bit is bit 7 of byte 80",
                                                         CdsPageLayout::Forward128,
                                                         SmallTable(1, 0x1235),
                                                         {{80, 0x89}, {81, 0x1A}, {82, 0x80}}},
                                           PlacementCase{"512: last field's lowest bit is bit 0 of byte 128",
                                                         CdsPageLayout::Checksum512,
                                                         SmallTable(1, 0x1235),
                                                         {{128, 0x35}, {129, 0x12}, {130, 0x01}}},
                                           PlacementCase{"words are little-endian from byte 0",
                                                         CdsPageLayout::Backward128,
                                                         SmallTable(0, 0, 0x5A03, 0x1234),
                                                         {{0, 0x03}, {1, 0x5A}, {2, 0x34}, {3, 0x12}}},
                                           PlacementCase{"512 words are little-endian from byte 0",
                                                         CdsPageLayout::Checksum512,
                                                         SmallTable(0, 0, 0x5A3F, 0xBEEF),
                                                         {{0, 0x3F}, {1, 0x5A}, {2, 0xEF}, {3, 0xBE}}}));

TEST(Checksum, FoldedSumCarriesAround)
{
    const std::vector<uint8_t> bytes{0xFF, 0x01};
    EXPECT_EQ(FoldedByteSum(bytes), 0x01);
    const std::vector<uint8_t> more{0x80, 0x80, 0x80};
    EXPECT_EQ(FoldedByteSum(more), 0x81);  // 0x100 folds to 0x01, plus 0x80
}

TEST(Checksum, CheckByteIsTheNegatedFoldedSum)
{
    std::vector<uint8_t> page(512);
    const auto fields = SmallTable(1, 0x1235, 0x5A00, 0x00FF);
    PackPage(CdsPageLayout::Checksum512, page, fields);
    const uint8_t s = FoldedByteSum(std::span<const uint8_t>(page).first(511));
    EXPECT_EQ(page[511], static_cast<uint8_t>((256 - s) & 0xFF));
    EXPECT_EQ(FoldedByteSum(page), 1);
}

TEST(Checksum, AFailedCheckLeavesTheArrayAlone)
{
    std::vector<uint8_t> page(512);
    const auto fields = SmallTable(1, 0x1235, 0x5A00, 7);
    PackPage(CdsPageLayout::Checksum512, page, fields);
    auto back = SmallTable(0, 0x4444, 0x1111, 0x2222);
    const auto untouched = back;

    std::vector<uint8_t> changed = page;
    changed[300] ^= 0x10;
    EXPECT_EQ(UnpackPage(CdsPageLayout::Checksum512, changed, back), -1);
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].value, untouched[i].value);
    }

    // The sum is taken modulo 255: 0x00 and 0xFF cannot be told apart.
    changed = page;
    ASSERT_EQ(changed[400], 0x00);
    changed[400] = 0xFF;
    EXPECT_EQ(UnpackPage(CdsPageLayout::Checksum512, changed, back), 0);

    // A page of zeros packs a check byte of 0, which its own check refuses.
    std::vector<uint8_t> zeros(512);
    PackPage(CdsPageLayout::Checksum512, zeros, SmallTable(0, 0));
    EXPECT_EQ(zeros[511], 0);
    EXPECT_EQ(UnpackPage(CdsPageLayout::Checksum512, zeros, back), -1);
}

TEST(Words, KeepTheirLowSixteenBits)
{
    std::vector<uint8_t> page(128);
    PackPage(CdsPageLayout::Forward128, page, SmallTable(0, 0, 0x12345, -1));
    auto back = SmallTable(0, 0);
    ASSERT_EQ(UnpackPage(CdsPageLayout::Forward128, page, back), 0);
    EXPECT_EQ(back[3].value, 0x2345);
    EXPECT_EQ(back[4].value, 0xFFFF);
}

// A field of `width` bits among others, with `value`, packed and unpacked
// again in a layout.
int32_t RoundTrip(CdsPageLayout layout, uint32_t width, int32_t value)
{
    std::vector<UnpackedField> fields{Bits(3, 5), Bits(width, value), Bits(7, 0x55), kEnd, Word(0x5A00), kEnd};
    std::vector<uint8_t> page(PageSizeOf(layout));
    PackPage(layout, page, fields);
    auto back = fields;
    for (UnpackedField& f : back) {
        f.value = 0;
    }
    EXPECT_EQ(UnpackPage(layout, page, back), 0);
    EXPECT_EQ(back[0].value, 5);
    EXPECT_EQ(back[2].value, 0x55) << "the fields after it stay in place";
    return back[1].value;
}

TEST(WideFields, ThirtyTwoBitFieldsRoundTripExactly)
{
    for (const CdsPageLayout layout :
         {CdsPageLayout::Backward128, CdsPageLayout::Forward128, CdsPageLayout::Checksum512}) {
        EXPECT_EQ(RoundTrip(layout, 32, static_cast<int32_t>(0xDEADBEEF)), static_cast<int32_t>(0xDEADBEEF));
    }
}

TEST(WideFields, FillersWiderThanThirtyTwoBitsKeepTheirLowBits)
{
    for (const CdsPageLayout layout :
         {CdsPageLayout::Backward128, CdsPageLayout::Forward128, CdsPageLayout::Checksum512}) {
        for (const uint32_t width : {33u, 42u, 110u}) {
            EXPECT_EQ(RoundTrip(layout, width, static_cast<int32_t>(0xCAFEF00D)), static_cast<int32_t>(0xCAFEF00D))
                << static_cast<int>(layout) << " width " << width;
        }
    }
    EXPECT_EQ(RoundTrip(CdsPageLayout::Checksum512, 368, 0x7654321), 0x7654321);
}

TEST(JV285Layout, ExtraSectionIsNeitherStoredNorRead)
{
    const CdsDefinition& def = CdsDefinitionTable()[33];
    std::vector<UnpackedField> fields(def.fields, def.fields + def.fields_count);
    std::vector<uint8_t> page(512);
    fields[391].value = 0x5A00;
    def.Pack(page, fields);
    std::vector<UnpackedField> changed = fields;
    changed[456].value = 999;  // RPTR
    std::vector<uint8_t> again(512);
    def.Pack(again, changed);
    EXPECT_EQ(page, again);
    ASSERT_EQ(def.Unpack(page, changed), 0);
    EXPECT_EQ(changed[456].value, 999);
}

TEST(Backward128, WordsWinWhereTheBitStreamRunsIntoThem)
{
    // TestCam01 V3.0: 404 bits reach down into byte 77, where the words lie.
    const CdsDefinition& def = CdsDefinitionTable()[3];
    std::vector<UnpackedField> fields(def.fields, def.fields + def.fields_count);
    const size_t filler = 126;  // "  0 No use", the last bit field (26 bits)
    ASSERT_STREQ(fields[filler].name, "  0 No use");
    fields[filler].value = 0x3FFFFFF;
    const size_t firstWord = filler + 2;
    ASSERT_STREQ(fields[firstWord].name, "Mode_ID");
    fields[firstWord + 39].value = 0;  // _TM15, bytes 78-79
    fields[firstWord + 38].value = 0;  // _TM14, bytes 76-77
    std::vector<uint8_t> page(128);
    def.Pack(page, fields);
    EXPECT_EQ(page[77], 0);
    EXPECT_EQ(page[78], 0);
    EXPECT_EQ(page[79], 0);
    EXPECT_EQ(page[80], 0x3F);
    ASSERT_EQ(def.Unpack(page, fields), 0);
    EXPECT_EQ(fields[filler].value, 0x3F << 20) << "the filler's low 20 bits come back from the word bytes";
}

// The layouts bit by bit, as page_layouts.h describes them: the reference the
// packer and unpacker (which move a byte's worth of bits at a time) must match.
struct ReferenceStream {
    CdsPageLayout layout;
    size_t pageSize;
    size_t pos = 0;

    bool Locate(size_t& byte, unsigned& bit) const
    {
        const size_t step = pos / 8;
        const auto within = static_cast<unsigned>(pos % 8);
        if (layout == CdsPageLayout::Backward128) {
            byte = pageSize - 1 - step;
            bit = 7 - within;
            return step < pageSize;
        }
        byte = (layout == CdsPageLayout::Forward128 ? 80 : 128) + step;
        bit = layout == CdsPageLayout::Forward128 ? 7 - within : within;
        return byte < pageSize;
    }
};

void ReferencePackBits(CdsPageLayout layout, std::vector<uint8_t>& page, const std::vector<UnpackedField>& bits)
{
    ReferenceStream stream{layout, page.size()};
    const bool lsbFirst = layout == CdsPageLayout::Checksum512;
    for (size_t n = 0; n < bits.size(); ++n) {
        const UnpackedField& field = lsbFirst ? bits[bits.size() - 1 - n] : bits[n];
        const uint32_t width = lsbFirst ? FieldWidth512(field.flags) : FieldWidth(field.flags);
        for (uint32_t k = 0; k < width; ++k, ++stream.pos) {
            const uint32_t bit = lsbFirst ? k : width - 1 - k;
            size_t byte = 0;
            unsigned at = 0;
            if (bit < 32 && ((static_cast<uint32_t>(field.value) >> bit) & 1u) != 0 && stream.Locate(byte, at)) {
                page[byte] = static_cast<uint8_t>(page[byte] | (1u << at));
            }
        }
    }
}

std::vector<int32_t> ReferenceUnpackBits(CdsPageLayout layout, const std::vector<uint8_t>& page,
                                         const std::vector<UnpackedField>& bits)
{
    ReferenceStream stream{layout, page.size()};
    const bool lsbFirst = layout == CdsPageLayout::Checksum512;
    std::vector<int32_t> values(bits.size());
    for (size_t n = 0; n < bits.size(); ++n) {
        const size_t i = lsbFirst ? bits.size() - 1 - n : n;
        const uint32_t width = lsbFirst ? FieldWidth512(bits[i].flags) : FieldWidth(bits[i].flags);
        uint32_t value = 0;
        for (uint32_t k = 0; k < width; ++k, ++stream.pos) {
            size_t byte = 0;
            unsigned at = 0;
            const uint32_t bit = stream.Locate(byte, at) ? (page[byte] >> at) & 1u : 0u;
            if (!lsbFirst) {
                value = (value << 1) | bit;
            } else if (k < 32) {
                value |= bit << k;
            }
        }
        values[i] = static_cast<int32_t>(value);
    }
    return values;
}

TEST(BitStreams, AgreeWithTheBitByBitLayoutOnRandomFields)
{
    // Random widths (some wider than 32, some streams running past the page)
    // and random values, with no words: the whole page is the bit stream's.
    std::mt19937 random(7);
    for (const CdsPageLayout layout :
         {CdsPageLayout::Backward128, CdsPageLayout::Forward128, CdsPageLayout::Checksum512}) {
        const size_t pageSize = PageSizeOf(layout);
        for (int round = 0; round < 200; ++round) {
            SCOPED_TRACE(testing::Message() << "layout " << static_cast<int>(layout) << " round " << round);
            std::vector<UnpackedField> bits;
            size_t total = 0;
            const size_t streamBits = 8 * (pageSize - (layout == CdsPageLayout::Backward128 ? 0 : 80));
            while (total < streamBits + 40) {
                const uint32_t width = random() % 8 == 0 ? 1 + random() % 70 : 1 + random() % 24;
                bits.push_back(Bits(width, static_cast<int32_t>(random())));
                total += width;
            }
            std::vector<UnpackedField> fields = bits;
            fields.push_back(kEnd);
            fields.push_back(kEnd);

            std::vector<uint8_t> expected(pageSize, 0);
            ReferencePackBits(layout, expected, bits);
            std::vector<uint8_t> page(pageSize, 0xEE);
            PackPage(layout, page, fields);
            if (layout == CdsPageLayout::Checksum512) {
                expected.back() = page.back();  // the check byte
            }
            ASSERT_EQ(page, expected);

            // Unpacking random bytes (with a valid check byte).
            std::vector<uint8_t> noise(pageSize);
            for (uint8_t& b : noise) {
                b = static_cast<uint8_t>(random());
            }
            if (layout == CdsPageLayout::Checksum512) {
                noise.back() = 0;
                while (FoldedByteSum(noise) != 1) {
                    ++noise.back();
                }
            }
            std::vector<UnpackedField> back = fields;
            ASSERT_EQ(UnpackPage(layout, noise, back), 0);
            const std::vector<int32_t> values = ReferenceUnpackBits(layout, noise, bits);
            for (size_t i = 0; i < bits.size(); ++i) {
                ASSERT_EQ(back[i].value, values[i]) << "field " << i << " width " << bits[i].flags;
            }
        }
    }
}

}  // namespace
