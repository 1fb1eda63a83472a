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

struct Listed {
    CalibTextRow structured;
    std::string line;
};

// The listing cell of one field, after giving it raw type `rawType` (16 bits
// wide) and a value.
Listed CellOf(size_t row, const char* name, uint32_t rawType, int32_t value)
{
    std::vector<UnpackedField> fields = FieldsOfRow(row);
    UnpackedField& field = FieldNamed(fields, name);
    field.flags = 0x10 | (rawType << 12);
    field.value = value;
    std::vector<CalibTextRow> rows;
    std::vector<std::string> lines;
    Row(row).GetCalibData(fields, &rows);
    Row(row).GetCalibData(fields, &lines);
    EXPECT_EQ(rows.size(), lines.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].name == name) {
            return {rows[i], lines[i]};
        }
    }
    ADD_FAILURE() << name << " is not listed";
    return {};
}

struct CellCase {
    size_t row;
    const char* field;
    uint32_t rawType;
    int32_t value;
    const char* structuredValue;
    const char* unit;
    const char* line;  // text form
};

void PrintTo(const CellCase& c, std::ostream* os)
{
    *os << "row " << c.row << " type " << c.rawType << " value " << c.value;
}

class ListingCell : public ::testing::TestWithParam<CellCase> {};

TEST_P(ListingCell, FormatsByFamilyAndRawType)
{
    const CellCase& c = GetParam();
    const Listed cell = CellOf(c.row, c.field, c.rawType, c.value);
    EXPECT_EQ(cell.structured.value, c.structuredValue);
    EXPECT_EQ(cell.structured.unit, c.unit);
    EXPECT_EQ(cell.line, c.line);
    std::vector<UnpackedField> fields = FieldsOfRow(c.row);
    FieldNamed(fields, c.field).flags = 0x10 | (c.rawType << 12);
    FieldNamed(fields, c.field).value = c.value;
    EXPECT_EQ(Row(c.row).ListingValueText(FieldNamed(fields, c.field)), c.structuredValue);
}

// Text lines: the name cut or padded so that the value ends in column W + 1
// (W = 22 in the TestCam and JV966 listings, 17 in the others), a blank, the unit.
INSTANTIATE_TEST_SUITE_P(
    Families, ListingCell,
    ::testing::Values(CellCase{0, "Mode_ID", 1, 5, "0x 5", "", "Mode_ID           :0x 5 "},
                      CellCase{0, "VRD", 6, 250, " 2.50", "db", "VRD              : 2.50 db"},
                      CellCase{0, "VRD", 7, 32768, "0.000 db", "db", "VRD           :0.000 db db"},
                      CellCase{0, "VRD", 8, 5, "", "", "VRD                   : "},
                      CellCase{4, "VRD", 7, 32768, "0.000", "dB", "VRD              :0.000 dB"},
                      CellCase{4, "VRD", 4, 9, "1.2", "x", "VRD                :1.2 x"},
                      CellCase{4, "VRD", 4, 2, "0.0", "x", "VRD                :0.0 x"},  // no such code
                      CellCase{4, "VRD", 3, 2085636, "-668", "", "VRD               :-668 "},
                      CellCase{8, "VRD", 7, 65535, "6.020467", "dB", "VRD           :6.020467 dB"},
                      CellCase{14, "VRS", 2, 1500, "1.500", "V", "VRS         :1.500 V"},
                      CellCase{14, "VRS", 1, 0x5A03, "0x5A03", "", "VRS        :0x5A03 "},
                      CellCase{14, "VRS", 3, 62271, "15615", "", "VRS         :15615 "},
                      CellCase{14, "VRS", 4, 13, "1.6", "dB", "VRS           :1.6 dB"},
                      CellCase{14, "VRS", 4, 2, "", "", "VRS              : "},  // no such code
                      CellCase{14, "VRS", 5, 7, "  7", "", "VRS           :  7 "},
                      CellCase{14, "VRS", 6, 250, " 2.50", "dB", "VRS         : 2.50 dB"},
                      CellCase{14, "VRS", 7, 16384, "0.500000000000000", "", "VRS         :0.500 "},
                      CellCase{14, "VRS", 8, 0xFFFF, " -1", "", "VRS           : -1 "},
                      // The D88 gains need two decimals to be read back; people still see one.
                      CellCase{26, "VRS", 4, 4, "1.29", "dB", "VRS           :1.3 dB"},
                      CellCase{26, "VRS", 3, 62271, "62271", "", "VRS         :62271 "},
                      CellCase{28, "VRS", 4, 17, "4.2", "x", "VRS           :4.2 x"},
                      CellCase{28, "VRS", 4, 50, "0.0", "x", "VRS           :0.0 x"},
                      CellCase{31, "VRS", 6, 1300, "-1.300", "V", "VRS        :-1.300 V"},
                      CellCase{31, "VRS", 3, 62271, "15615", "", "VRS         :15615 "},
                      CellCase{31, "VRS", 4, 3, "0.0x", "x", "VRS          :0.0x x"},
                      CellCase{31, "VRS", 8, 5, "0x0005", "", "VRS        :0x0005 "},
                      CellCase{31, "VRS", 7, 17, " 17", "", "VRS           : 17 "},
                      CellCase{33, "VRS", 3, 250, " 2.50", "V", "VRS         : 2.50 V"}));

TEST(Listing, WalksTheGridColumnByColumn)
{
    struct Shape {
        size_t row;
        size_t items;
    };
    for (const Shape s :
         {Shape{0, 152}, Shape{13, 152}, Shape{14, 96}, Shape{27, 96}, Shape{30, 96}, Shape{31, 160}, Shape{34, 175}}) {
        const CdsDefinition& def = Row(s.row);
        const auto fields = FieldsOfRow(s.row);
        std::vector<CalibTextRow> rows;
        def.GetCalibData(fields, &rows);
        ASSERT_EQ(rows.size(), s.items) << "row " << s.row;
        const auto cells = def.GetGridCells();
        const auto gridRows = static_cast<size_t>(def.GetGridRows());
        const auto gridCols = static_cast<size_t>(def.GetGridCols());
        for (size_t k = 0; k < rows.size(); ++k) {
            const size_t cell = (k % gridRows) * gridCols + k / gridRows;
            EXPECT_EQ(rows[k].name, fields[cells[cell]].name) << "row " << s.row << " item " << k;
        }
        if (s.row == 27) {
            EXPECT_EQ(rows.back().name, "RAMP_P");
            EXPECT_EQ(rows[2 * 24 + 23].name, "Mode_ID");
        } else {
            EXPECT_EQ(rows.back().name, "Mode_ID");
        }
    }
}

TEST(Listing, EmptyCellsKeepTheirPlace)
{
    // TestCam row 11, columns 1 and 2 are empty: a blank name and "%2d" of 0.
    std::vector<CalibTextRow> rows;
    std::vector<std::string> lines;
    const auto fields = FieldsOfRow(4);
    Row(4).GetCalibData(fields, &rows);
    Row(4).GetCalibData(fields, &lines);
    EXPECT_EQ(rows[10].name, "");
    EXPECT_EQ(rows[10].value, " 0");
    EXPECT_EQ(rows[10].unit, "");
    EXPECT_EQ(lines[10], std::string(20, ' ') + ": 0 ");
    // Every cell starts without a unit: the hexadecimal Mode_ID closes the
    // column of the DAC voltages.
    EXPECT_EQ(rows[3 * 38 + 12].name, "Vdd1.8A");
    EXPECT_EQ(rows[3 * 38 + 12].unit, "V");
    EXPECT_EQ(rows[3 * 38 + 37].name, "Mode_ID");
    EXPECT_EQ(rows[3 * 38 + 37].unit, "");
}

TEST(Listing, FailuresCarryTheDefinitionsName)
{
    const auto fields = FieldsOfRow(14);
    std::vector<CalibTextRow> rows;
    std::vector<std::string> lines;
    EXPECT_EQ(ErrorText([&] { Row(1).GetCalibData(FieldsOfRow(1), &rows); }),
              "RegTestCam01_V2_0_Def::GetCalibData - not implemented");
    EXPECT_EQ(ErrorText([&] { Row(3).GetCalibData(FieldsOfRow(3), &lines); }),
              "RegTestCam01_V3_0_Def::GetCalibData - not implemented");
    EXPECT_EQ(ErrorText([&] { Row(14).GetCalibData(fields, static_cast<std::vector<CalibTextRow>*>(nullptr)); }),
              "RegJR574_V2_0_Def::GetCalibData - error, data pointer is not valid");
    EXPECT_EQ(ErrorText([&] { Row(21).GetCalibData(fields, static_cast<std::vector<std::string>*>(nullptr)); }),
              "GetCalibData - error, data pointer is not valid");

    struct TypeCase {
        size_t row;
        const char* field;
        const char* text;
    };
    for (const TypeCase& c : {TypeCase{4, "VRD", "RegTestCam02_V2_0_Def::GetCalibData - ERROR, unknown data type"},
                              TypeCase{10, "VRD", "RegJV966JK_TD_G_V2_3_Def::GetCalibData - ERROR, unknown data type"},
                              TypeCase{16, "VRS", "RegJR574_V3_0_Def::GetCalibData - ERROR, unknown data type"},
                              TypeCase{21, "VRS", "Reg4545G::GetCalibData - ERROR, unknown data type"},
                              TypeCase{28, "VRS", "RegJR825_V2_0_Def::GetCalibData - ERROR, unknown data type"}}) {
        std::vector<UnpackedField> changed = FieldsOfRow(c.row);
        FieldNamed(changed, c.field).flags = 0x9010;
        rows.clear();
        EXPECT_EQ(ErrorText([&] { Row(c.row).GetCalibData(changed, &rows); }), c.text);
        EXPECT_FALSE(rows.empty());  // the cells before the failing one stay
        EXPECT_FALSE(Row(c.row).ListingValueText(FieldNamed(changed, c.field)).has_value());
    }
}

}  // namespace
