#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "cds_definition.h"
#include "gain_tables.h"
#include "test_support.h"

using calib_test::ErrorText;

namespace {

const CdsDefinition& Row(size_t row)
{
    return CdsDefinitionTable()[row];
}

// A field record of the given width and raw type.
UnpackedField Field(uint32_t width, uint32_t rawType, int32_t value = 0, const char* name = "F")
{
    return UnpackedField{width | (rawType << 12), value, name, ""};
}

// Rows standing for each family: 12 JV966 (B V2.2), 14 JR574 V2.0, 26 JR574
// D88, 28 JR825 V2.0, 31 JV285 V1.1, 32 JV285 V2.0.

struct ReadCase {
    size_t row;
    uint32_t width;
    uint32_t rawType;
    int32_t raw;
    int32_t engineering;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << "row " << c.row << " type " << c.rawType << " raw " << c.raw;
}

class EngineeringRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(EngineeringRead, GivesTheExactValue)
{
    const ReadCase& c = GetParam();
    EXPECT_EQ(Row(c.row).GetFieldValue(Field(c.width, c.rawType, c.raw)), c.engineering);
}

INSTANTIATE_TEST_SUITE_P(Families, EngineeringRead,
                         ::testing::Values(
                             // JV966: gains by code among 52 entries, three-part counts, milli-decibels.
                             ReadCase{12, 6, 4, 9, 1200}, ReadCase{12, 6, 4, 1, 400}, ReadCase{12, 6, 4, 62, 16500},
                             ReadCase{12, 6, 4, 0, 0}, ReadCase{12, 6, 4, 2, 0},  // no code 2: no gain
                             ReadCase{4, 21, 3, 2085636, -668}, ReadCase{12, 21, 3, 0x104, 68},
                             ReadCase{12, 16, 7, 32768, 0}, ReadCase{12, 16, 7, 65535, 6020},
                             ReadCase{12, 16, 7, 16384, -6021}, ReadCase{12, 16, 7, 0, 0},
                             ReadCase{12, 16, 2, 1500, 1500}, ReadCase{12, 16, 6, 250, 250},
                             // JR574: two-part counts, gains by code over 64 entries, plain words.
                             ReadCase{14, 6, 4, 13, 1599}, ReadCase{14, 6, 4, 62, 16500}, ReadCase{14, 6, 4, 0, 0},
                             ReadCase{14, 16, 3, 62271, 15615}, ReadCase{14, 16, 7, 16384, 16384},
                             ReadCase{14, 16, 8, 0xFFFF, 65535}, ReadCase{14, 16, 8, 200, 200},
                             // JR574 D88: counts are plain, gains from the sorted 7-entry table.
                             ReadCase{26, 3, 4, 4, 1290}, ReadCase{26, 3, 4, 0, 660}, ReadCase{26, 14, 3, 62271, 62271},
                             ReadCase{26, 16, 8, 0xFFA5, 65445},
                             // JR825: the field holds the table position.
                             ReadCase{28, 6, 4, 17, 4200}, ReadCase{28, 6, 4, 0, 800}, ReadCase{28, 6, 4, 50, 0},
                             ReadCase{28, 16, 3, 62528, 15680}, ReadCase{28, 16, 8, 0x8000, 32768},
                             // 32-bit fields read their whole value.
                             ReadCase{28, 32, 0, static_cast<int32_t>(0x89ABCDEF), static_cast<int32_t>(0x89ABCDEF)},
                             // JV285: every raw value as it is.
                             ReadCase{32, 16, 2, 1300, 1300}, ReadCase{32, 16, 3, 250, 250},
                             ReadCase{31, 16, 8, 0x8005, 0x8005}));

struct WriteCase {
    size_t row;
    uint32_t width;
    uint32_t rawType;
    int32_t engineering;
    int32_t raw;  // stored raw value
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << "row " << c.row << " type " << c.rawType << " value " << c.engineering;
}

class EngineeringWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(EngineeringWrite, StoresTheRawValueAndReadsBack)
{
    const WriteCase& c = GetParam();
    UnpackedField field = Field(c.width, c.rawType, 0);
    Row(c.row).SetFieldValue(c.engineering, field);
    EXPECT_EQ(field.value, c.raw);
    EXPECT_EQ(field.flags, c.width | (c.rawType << 12));
}

INSTANTIATE_TEST_SUITE_P(
    Families, EngineeringWrite,
    ::testing::Values(
        // Nearest gain; 1.3 lies halfway between 1.2 and 1.4 and takes the higher entry.
        WriteCase{12, 6, 4, 1300, 11}, WriteCase{12, 6, 4, 1200, 9}, WriteCase{12, 6, 4, 16500, 62},
        WriteCase{12, 6, 4, 6800, 63}, WriteCase{12, 6, 4, 6850, 24}, WriteCase{12, 21, 3, -668, 2085636},
        WriteCase{12, 21, 3, 1000, 15124},
        // Milli-decibels to the 32768-based multiplier, with their fraction.
        WriteCase{12, 16, 7, 0, 32768}, WriteCase{12, 16, 7, 6020, 65531}, WriteCase{12, 16, 7, -6021, 16383},
        WriteCase{14, 6, 4, 1600, 13}, WriteCase{14, 6, 4, 800, 5}, WriteCase{14, 16, 3, 15615, 62271},
        WriteCase{14, 16, 8, 65336, 65336}, WriteCase{28, 16, 8, 65535, 0xFFFF}, WriteCase{14, 16, 7, 40000, 40000},
        WriteCase{26, 3, 4, 1290, 4}, WriteCase{26, 3, 4, 7250, 7}, WriteCase{28, 6, 4, 4200, 17},
        WriteCase{28, 16, 3, 15680, 62528}, WriteCase{28, 32, 0, -1, -1},  // a 32-bit field takes the whole pattern
        // JV285 takes the engineering value in the units it reads back.
        WriteCase{32, 16, 2, 1300, 1300}, WriteCase{32, 16, 3, 250, 250}, WriteCase{31, 16, 9, 0xFFFF, 0xFFFF}));

struct RefusedWrite {
    size_t row;
    uint32_t width;
    uint32_t rawType;
    int32_t engineering;
    const char* text;
};

void PrintTo(const RefusedWrite& c, std::ostream* os)
{
    *os << "row " << c.row << " type " << c.rawType << " value " << c.engineering;
}

class EngineeringWriteRefused : public ::testing::TestWithParam<RefusedWrite> {};

TEST_P(EngineeringWriteRefused, LeavesTheFieldUnchanged)
{
    const RefusedWrite& c = GetParam();
    UnpackedField field = Field(c.width, c.rawType, 7);
    EXPECT_EQ(ErrorText([&] { Row(c.row).SetFieldValue(c.engineering, field); }), c.text);
    EXPECT_EQ(field.value, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Families, EngineeringWriteRefused,
    ::testing::Values(
        RefusedWrite{12, 6, 4, 20000, "JV966JK_TD_B_SetFieldValue - ERROR, unknown gain value (20.000000)"},
        RefusedWrite{12, 6, 4, 0, "JV966JK_TD_B_SetFieldValue - ERROR, unknown gain value (0.000000)"},
        RefusedWrite{12, 6, 4, -1000, "JV966JK_TD_B_SetFieldValue - ERROR, unknown gain value (4294966.296000)"},
        // No silent zero: gain 0 is no entry of the counted tables either.
        RefusedWrite{14, 6, 4, 0, "JR574_SetFieldValue - ERROR, unknown gain value (0.000000)"},
        RefusedWrite{28, 6, 4, 0, "JR825_SetFieldValue - ERROR, unknown gain value (0.000000)"},
        RefusedWrite{14, 6, 4, 20000, "JR574_SetFieldValue - ERROR, unknown gain value (20.000000)"},
        // Odd three-part counts have no code; two-part counts below their offset neither.
        RefusedWrite{12, 21, 3, 101,
                     "JV966JK_TD_B_SetFieldValue - ERROR, value does not fit the field (101 for F, 21 bits)"},
        RefusedWrite{14, 16, 3, 31, "JR574_SetFieldValue - ERROR, value does not fit the field (31 for F, 16 bits)"},
        // Values beyond the field's bits are refused, not cut.
        RefusedWrite{12, 16, 7, 7000,
                     "JV966JK_TD_B_SetFieldValue - ERROR, value does not fit the field (7000 for F, 16 bits)"},
        RefusedWrite{14, 6, 0, 64, "JR574_SetFieldValue - ERROR, value does not fit the field (64 for F, 6 bits)"},
        RefusedWrite{14, 6, 0, -1, "JR574_SetFieldValue - ERROR, negative value for an unsigned field (-1 for F)"},
        RefusedWrite{14, 16, 8, 65536,
                     "JR574_SetFieldValue - ERROR, value does not fit the field (65536 for F, 16 bits)"},
        RefusedWrite{26, 16, 8, -1, "JR574_SetFieldValue - ERROR, negative value for an unsigned field (-1 for F)"},
        RefusedWrite{32, 16, 2, 70000,
                     "JV285VT_TD_SetFieldValue - ERROR, value does not fit the field (70000 for F, 16 bits)"},
        RefusedWrite{12, 0, 0, 1, "JV966JK_TD_B_SetFieldValue - ERROR, value does not fit the field (1 for F, 0 bits)"},
        // Raw types a family does not know.
        RefusedWrite{12, 16, 8, 1, "JV966JK_TD_B_SetFieldValue - ERROR, unknown data type (8)"},
        RefusedWrite{28, 16, 9, 1, "JR825_SetFieldValue - ERROR, unknown data type (9)"}));

TEST(FieldTypes, ByFamilyAndRawType)
{
    using T = CdsFieldType;
    struct Expect {
        size_t row;
        T types[9];  // raw types 0-8
    };
    const Expect expected[] = {
        {12,
         {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths,
          T::Thousandths, T::None /* unused: type 8 fails */}},
        {14,
         {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths,
          T::Fraction32768, T::Decimal}},
        {28,
         {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths,
          T::Fraction32768, T::Decimal}},
        {31,
         {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::Decimal, T::Decimal, T::Thousandths,
          T::Hexadecimal, T::Hexadecimal}},
        {33,
         {T::Decimal, T::Hexadecimal, T::Thousandths, T::Hundredths, T::Decimal, T::Decimal, T::Thousandths,
          T::Hexadecimal, T::Hexadecimal}},
    };
    for (const Expect& e : expected) {
        for (uint32_t t = 0; t < (e.row == 12 ? 8u : 9u); ++t) {
            EXPECT_EQ(Row(e.row).GetFieldType(Field(16, t)), e.types[t]) << "row " << e.row << " type " << t;
        }
    }
    EXPECT_EQ(ErrorText([] { Row(12).GetFieldType(Field(16, 8)); }),
              "JV966JK_TD_B_GetFieldType - ERROR, unknown data type (8)");
    EXPECT_EQ(ErrorText([] { Row(26).GetFieldType(Field(16, 15)); }),
              "JR574_GetFieldType - ERROR, unknown data type (15)");
    EXPECT_EQ(ErrorText([] { Row(12).GetFieldValue(Field(16, 9)); }),
              "JV966JK_TD_B_GetFieldValue - ERROR, unknown data type (9)");
    // A field without value bits has no type (the JV285 functions do not look).
    EXPECT_EQ(Row(14).GetFieldType(Field(0, 0)), T::None);
    EXPECT_EQ(Row(14).GetFieldType(Field(0, 9)), T::None);
    EXPECT_EQ(Row(31).GetFieldType(Field(0, 0)), T::Decimal);
    // 32-bit and wider fields have a value.
    EXPECT_EQ(Row(28).GetFieldType(Field(32, 0)), T::Decimal);
    EXPECT_EQ(Row(28).GetFieldType(Field(42, 0)), T::Decimal);
}

TEST(FieldTypes, JV285MaxGainIsHundredthsFromV20On)
{
    const auto fields = Row(32).FieldTable();
    for (const UnpackedField& field : fields) {
        if (std::string(field.name) == "MAX_GAIN") {
            EXPECT_EQ(Row(32).GetFieldType(field), CdsFieldType::Hundredths);
            EXPECT_EQ(Row(31).GetFieldType(field), CdsFieldType::Decimal);
            return;
        }
    }
    FAIL() << "no MAX_GAIN";
}

TEST(Enumerations, ItemsComeFromTheFamilyTable)
{
    EXPECT_EQ(Row(12).GetEnumValue(0), 400);
    EXPECT_EQ(Row(12).GetEnumValueRaw(0), 1);
    EXPECT_EQ(Row(12).GetEnumValue(63), 0);
    EXPECT_EQ(Row(14).GetEnumValue(4), 1599);
    EXPECT_EQ(Row(14).GetEnumValueRaw(4), 13);
    EXPECT_EQ(Row(26).GetEnumValue(1), 1290);
    EXPECT_EQ(Row(26).GetEnumValueRaw(1), 4);
    EXPECT_EQ(Row(26).GetEnumValue(7), 0);
    EXPECT_EQ(Row(26).GetEnumValueRaw(7), 0);
    EXPECT_EQ(Row(28).GetEnumValue(17), 4200);
    EXPECT_EQ(Row(28).GetEnumValueRaw(17), 17);
    EXPECT_EQ(Row(28).GetEnumValueRaw(50), -1);
    EXPECT_EQ(Row(33).GetEnumValue(5), 0);

    EXPECT_EQ(ErrorText([] { Row(12).GetEnumValue(64); }),
              "JV966JK_TD_B_GetEnumValue - ERROR, index value too high (64)");
    EXPECT_EQ(ErrorText([] { Row(12).GetEnumValueRaw(64); }),
              "JV966JK_TD_B_GetEnumValue - ERROR, index value too high (64)");
    EXPECT_EQ(ErrorText([] { Row(27).GetEnumValueRaw(100); }),
              "JR574_D88_BSI_GetEnumValueRaw - ERROR, index value too high (100)");
    EXPECT_EQ(ErrorText([] { Row(31).GetEnumValue(64); }),
              "JV285VT_TD_V1_1_GetEnumValue - ERROR, index value too high (64)");
    EXPECT_EQ(ErrorText([] { Row(34).GetEnumValue(64); }),
              "JV285VT_TD_V2_0_GetEnumValue - ERROR, index value too high (64)");
    EXPECT_EQ(ErrorText([] { Row(33).GetEnumValueRaw(4294967295u); }),
              "JV285VT_TD_V2_1_GetEnumValueRaw - ERROR, index value too high (4294967295)");
}

TEST(EngineeringValues, EveryGainOfATableReadsBackToItsCode)
{
    struct Family {
        size_t row;
        CdsGainTableKind kind;
        bool byIndex;
    };
    for (const Family& f : {Family{12, CdsGainTableKind::Codes52, false}, Family{14, CdsGainTableKind::JR574, false},
                            Family{26, CdsGainTableKind::JR574D88, false}, Family{28, CdsGainTableKind::JR825, true}}) {
        for (const GainTableEntry& entry : GetCdsGainTable(f.kind).Filled()) {
            UnpackedField field = Field(8, 4, f.byIndex ? entry.index : entry.registerCode);
            const int32_t gain = Row(f.row).GetFieldValue(field);
            field.value = -1;
            Row(f.row).SetFieldValue(gain, field);
            EXPECT_EQ(field.value, f.byIndex ? entry.index : entry.registerCode) << "row " << f.row << " gain " << gain;
        }
    }
}

}  // namespace
