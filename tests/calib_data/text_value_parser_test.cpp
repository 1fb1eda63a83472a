#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cds_definition.h"
#include "converter_fixture.h"
#include "test_support.h"

using calib_test::ErrorText;
using calib_test::FieldNamed;
using calib_test::FieldsOfRow;

namespace {

const CdsDefinition& Row(size_t row)
{
    return CdsDefinitionTable()[row];
}

struct ParseCase {
    size_t row;
    const char* field;
    const char* text;
    int32_t raw;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << "row " << c.row << " '" << c.field << "' = '" << c.text << "'";
}

class SetValStores : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SetValStores, TheRawValueOfTheText)
{
    const ParseCase& c = GetParam();
    std::vector<UnpackedField> fields = FieldsOfRow(c.row);
    const std::vector<UnpackedField> before = fields;
    Row(c.row).SetVal(fields, c.field, c.text);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (std::string(fields[i].name) == c.field) {
            EXPECT_EQ(fields[i].value, c.raw);
        } else {
            EXPECT_EQ(fields[i].value, before[i].value) << "record " << i << " changed";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, SetValStores,
    ::testing::Values(
        // Decimal, hexadecimal (with or without 0x, either case, blanks around), volts.
        ParseCase{4, " 44 DIG_GAIN", " 12", 12}, ParseCase{4, "Mode_ID", "0x5A03", 0x5A03},
        ParseCase{4, "Mode_ID", "5A03", 0x5A03}, ParseCase{4, "Mode_ID", " 5a03", 0x5A03},
        ParseCase{4, "VRD", "1.5", 1500}, ParseCase{4, "VRD", "1.2345", 1235}, ParseCase{4, "VRD", "-0.0004", 0},
        ParseCase{4, "VRD", "1.500\r", 1500}, ParseCase{4, "HDR_GAIN", "  5", 5},
        // Gains within 0.001 of a table entry; counts in their register codes.
        ParseCase{12, "297 PGA_GAIN_T", "1.2", 9}, ParseCase{12, "297 PGA_GAIN_T", "16.5", 62},
        ParseCase{12, "297 PGA_GAIN_T", "1.2004", 9}, ParseCase{12, "269 CNT_INT_T", "-668", 2085636},
        ParseCase{14, "PGA_GAIN_TOP", "1.6", 13}, ParseCase{14, "CNT_TOP", "15615", 62271},
        ParseCase{26, "PGA_GAIN_T", "1.29", 4}, ParseCase{26, "PGA_GAIN_T", "0.66", 0},
        ParseCase{28, "PGA_GAIN_LG", "4.2", 17}, ParseCase{28, "CNT_INIT_LG", "15680", 62528},
        // Decibels to the 32768-based multiplier: TestCam truncates, JV966 rounds.
        ParseCase{4, "FFC_GAIN", "-3", 23197}, ParseCase{12, "FFC_GAIN", "-3", 23198},
        ParseCase{4, "FFC_GAIN", "0", 32768}, ParseCase{12, "FFC_GAIN", "6.020467", 65535},
        // JR574 family: fractions of 32768, hundredths, signed offsets.
        ParseCase{14, "T_GAIN", "0.5", 16384}, ParseCase{14, "T_GAIN", "0.500000000000000", 16384},
        ParseCase{14, "Gain0", "2.5", 250}, ParseCase{14, "T_OFFS", "-1", 0xFFFF}, ParseCase{27, "T_OFFS", " 37", 37},
        // JV285: hundredths, magnitudes of negative voltages, hexadecimal words.
        ParseCase{33, "MAX_GAIN", "2.5", 250}, ParseCase{33, "VTXL", "-1.3", 1300}, ParseCase{33, "VTXL", "1.3", 1300},
        ParseCase{33, "IMG_CTRL", "0x8005", 0x8005}, ParseCase{33, "_xM3 ", "17", 17}));

struct RefusedCase {
    size_t row;
    const char* field;
    const char* text;
    const char* error;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << "row " << c.row << " '" << c.field << "' = '" << c.text << "'";
}

class SetValRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SetValRefuses, WithItsTextAndChangesNothing)
{
    const RefusedCase& c = GetParam();
    std::vector<UnpackedField> fields = FieldsOfRow(c.row);
    const std::vector<UnpackedField> before = fields;
    EXPECT_EQ(ErrorText([&] { Row(c.row).SetVal(fields, c.field, c.text); }), c.error);
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].value, before[i].value) << "record " << i << " changed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, SetValRefuses,
    ::testing::Values(
        // Names that no grid cell shows, in each family's words.
        RefusedCase{14, "NoSuchField", "1",
                    "RegJR574_V2_0_Def::SetVal - error, could not find respective value in unpacked features list"},
        RefusedCase{14, "TANA", "1",  // a field of the page that the grid does not show
                    "RegJR574_V2_0_Def::SetVal - error, could not find respective value in unpacked features list"},
        RefusedCase{21, "NoSuchField", "1",
                    "SetVal - error, could not find respective value in unpacked features list"},
        RefusedCase{30, "NoSuchField", "1",
                    "RegJR825_V3_0_Def::SetVal - error, could not find respective value in unpacked features list: "
                    "feature name: NoSuchField"},
        RefusedCase{4, "vrd", "1",
                    "RegTestCam02_V2_0_Def::SetVal - error, could not find respective value in unpacked features list"},
        // Texts that are no numbers; no value is read as 0.
        RefusedCase{4, "Mode_ID", "zz",
                    "RegTestCam02_V2_0_Def::SetVal - error, value is not a hexadecimal number ('zz')"},
        RefusedCase{4, "VRD", "", "RegTestCam02_V2_0_Def::SetVal - error, value is not a number ('')"},
        RefusedCase{4, "VRD", "1.5V", "RegTestCam02_V2_0_Def::SetVal - error, value is not a number ('1.5V')"},
        RefusedCase{14, "CNT_TOP", "12abc", "RegJR574_V2_0_Def::SetVal - error, value is not a number ('12abc')"},
        // Gains that name no table entry.
        RefusedCase{12, "297 PGA_GAIN_T", "1.25",
                    "RegJV966JK_TD_B_V2_2_Def::SetVal - error, unknown gain value ('1.25')"},
        RefusedCase{12, "297 PGA_GAIN_T", "0", "RegJV966JK_TD_B_V2_2_Def::SetVal - error, unknown gain value ('0')"},
        RefusedCase{26, "PGA_GAIN_T", "1.3",
                    "CalibStructure_JR574_D88_BSI_V2_0::SetVal - error, unknown gain value ('1.3')"},
        RefusedCase{28, "PGA_GAIN_LG", "0", "RegJR825_V2_0_Def::SetVal - error, unknown gain value ('0')"},
        // Values the field cannot hold.
        RefusedCase{4, "VRD", "-0.5",
                    "RegTestCam02_V2_0_Def::SetVal - error, negative value for an unsigned field ('-0.5')"},
        RefusedCase{4, "VRD", "65.536",
                    "RegTestCam02_V2_0_Def::SetVal - error, value does not fit the field ('65.536')"},
        RefusedCase{4, " 44 DIG_GAIN", "16",
                    "RegTestCam02_V2_0_Def::SetVal - error, value does not fit the field ('16')"},
        RefusedCase{
            12, "269 CNT_INT_T", "-667",
            "RegJV966JK_TD_B_V2_2_Def::SetVal - error, value cannot be stored in the field's count code ('-667')"},
        RefusedCase{14, "CNT_TOP", "31",
                    "RegJR574_V2_0_Def::SetVal - error, value cannot be stored in the field's count code ('31')"},
        RefusedCase{14, "T_OFFS", "40000", "RegJR574_V2_0_Def::SetVal - error, value does not fit the field ('40000')"},
        RefusedCase{14, "T_GAIN", "2", "RegJR574_V2_0_Def::SetVal - error, value does not fit the field ('2')"},
        RefusedCase{21, "T_GAIN", "1e300", "SetVal - error, value does not fit the field ('1e300')"},
        // JV285 V1.1 does not read its _TM and _xM words.
        RefusedCase{31, "_xM3 ", "5", "RegJV285VT_TD_V1_1_Def::SetVal - error, field cannot be set ('5')"},
        // The versions without a parser.
        RefusedCase{0, "VRD", "1", "RegTestCam01_V1_0_Def::SetVal - error, not implemented"},
        RefusedCase{2, "VRD", "1", "RegTestCam01_V2_0_Def::SetVal - error, not implemented"},
        RefusedCase{3, "VRD", "1", "RegTestCam01_V3_0_Def::SetVal - error, not implemented"}));

TEST(SetVal, PointerChecksComeFirst)
{
    std::vector<UnpackedField> fields = FieldsOfRow(16);
    EXPECT_EQ(ErrorText([] { Row(16).SetVal({}, "VRS", "1"); }),
              "RegJR574_V3_0_Def::SetVal - error, data pointer is not valid");
    EXPECT_EQ(ErrorText([&] { Row(16).SetVal(fields, nullptr, "1"); }),
              "RegJR574_V3_0_Def::SetVal - error, name pointer is not valid");
    EXPECT_EQ(ErrorText([&] { Row(16).SetVal(fields, "VRS", nullptr); }),
              "RegJR574_V3_0_Def::SetVal - error, value pointer is not valid");
    EXPECT_EQ(ErrorText([] { Row(22).SetVal({}, "VRS", "1"); }), "SetVal - error, data pointer is not valid");
}

TEST(SetVal, UnknownRawTypesUseTheDefinitionsOwnText)
{
    // A grid field given a raw type its family does not parse.
    const struct {
        size_t row;
        const char* field;
        const char* text;
    } cases[] = {
        {4, "VRD", "RegTestCam02_V2_0_Def::setVal - ERROR, unknown data type"},
        {6, "VRD", "RegTestCam03_V2_0_Def::Reg0505::setVal - ERROR, unknown data type"},
        {9, "VRD", "RegJV966JK_TD_G_V2_2_Def::SetVal - ERROR, unknown data type"},
        {13, "VRD", "RegJV966JK_TD_B_V2_3_Def::setVal - ERROR, unknown data type"},
        {17, "VRS", "RegJR574_V3_1_Def::SetVal - ERROR, unknown data type"},
        {23, "VRS", "Reg4545G::setVal - ERROR, unknown data type"},
        {27, "VRS", "CalibStructure_JR574_D88_BSI_V2_0::SetVal - ERROR, unknown data type"},
        {29, "VRS", "RegJR825_V2_1_Def::SetVal - ERROR, unknown data type"},
    };
    for (const auto& c : cases) {
        std::vector<UnpackedField> fields = FieldsOfRow(c.row);
        UnpackedField& field = FieldNamed(fields, c.field);
        field.flags = 0x9010;  // raw type 9, 16 bits
        EXPECT_EQ(ErrorText([&] { Row(c.row).SetVal(fields, c.field, "1"); }), c.text) << "row " << c.row;
    }
    // JV285 parses every raw type: 9 is hexadecimal there.
    std::vector<UnpackedField> fields = FieldsOfRow(32);
    FieldNamed(fields, "VRS").flags = 0x9010;
    Row(32).SetVal(fields, "VRS", "0x1F");
    EXPECT_EQ(FieldNamed(fields, "VRS").value, 0x1F);
}

TEST(SetVal, ANameInSeveralGridRowsSetsTheOneTheLastRowShows)
{
    // JR825 V3.0 shows ADC_GAIN in rows 9 and 15: both cells are the same record.
    const std::vector<UnpackedField> fields = FieldsOfRow(30);
    const int found = Row(30).FindSettableField(fields, "ADC_GAIN");
    ASSERT_GE(found, 0);
    EXPECT_STREQ(fields[static_cast<size_t>(found)].name, "ADC_GAIN");
    EXPECT_GE(Row(30).FindSettableField(fields, "TANA"), 0);
    EXPECT_EQ(Row(30).FindSettableField(fields, "EXP_TIME"), -1);  // a field the grid does not show
    EXPECT_EQ(Row(14).FindSettableField(fields, "NoSuchField"), -1);
    EXPECT_TRUE(Row(4).HasTextParser());
    EXPECT_FALSE(Row(0).HasTextParser());
}

}  // namespace
