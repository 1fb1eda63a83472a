#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "cds_definition.h"

namespace {

const CdsDefinition& Row(size_t row)
{
    return CdsDefinitionTable()[row];
}

// Shape of one definition's field table and page.
struct RowShape {
    uint32_t records;
    uint32_t bitFields;
    uint32_t bits;
    uint32_t words;
    uint32_t extra;  // records of the JV285 V2.x extra section
    uint32_t pages;
    uint32_t pageSize;
    CdsPageLayout layout;
    int gridRows;
    int gridCols;
};

RowShape ShapeOfRow(size_t row)
{
    constexpr auto B = CdsPageLayout::Backward128;
    constexpr auto F = CdsPageLayout::Forward128;
    constexpr auto C = CdsPageLayout::Checksum512;
    if (row == 0 || (row >= 4 && row <= 13)) {
        return {165, 123, 384, 40, 0, 128, 128, B, 38, 4};
    }
    if (row == 1 || row == 2) {
        return {156, 114, 358, 40, 0, 128, 128, B, 38, 4};
    }
    if (row == 3) {
        return {169, 127, 404, 40, 0, 128, 128, B, 38, 4};
    }
    if (row >= 14 && row <= 25) {
        return {127, 85, 256, 40, 0, 128, 128, F, 24, 4};
    }
    if (row == 26 || row == 27) {
        return {85, 43, 256, 40, 0, 128, 128, F, 24, 4};
    }
    if (row >= 28 && row <= 30) {
        return {125, 83, 384, 40, 0, 128, 128, F, 24, 4};
    }
    if (row == 31) {
        return {456, 390, 2960, 64, 0, 64, 512, C, 32, 5};
    }
    return {462, 390, 2960, 64, 5, 64, 512, C, 35, 5};
}

class DefinitionRow : public ::testing::TestWithParam<size_t> {};

TEST_P(DefinitionRow, RecordCountsAndBitWidthsMatchTheRegisterMap)
{
    const CdsDefinition& def = Row(GetParam());
    const RowShape shape = ShapeOfRow(GetParam());
    EXPECT_EQ(def.table_row, static_cast<int>(GetParam()));
    EXPECT_EQ(def.fields_count, shape.records);
    EXPECT_EQ(def.GetFieldTableCount(), shape.records);
    EXPECT_EQ(def.field_record_size, 16u);
    EXPECT_EQ(def.fields_size, 16u * shape.records);
    EXPECT_EQ(def.pages_count, shape.pages);
    EXPECT_EQ(def.page_size, shape.pageSize);
    EXPECT_EQ(def.layout, shape.layout);

    // Sections: bit fields, a closing record, words, a closing record, and in
    // JV285 V2.x five extra fields and a last closing record.
    const auto fields = def.FieldTable();
    size_t i = 0;
    uint32_t bits = 0;
    for (; i < fields.size() && fields[i].flags != 0; ++i) {
        bits += def.layout == CdsPageLayout::Checksum512 ? FieldWidth512(fields[i].flags) : FieldWidth(fields[i].flags);
    }
    EXPECT_EQ(i, shape.bitFields);
    EXPECT_EQ(bits, shape.bits);
    const size_t wordsBegin = ++i;
    for (; i < fields.size() && fields[i].flags != 0; ++i) {
        EXPECT_EQ(FieldWidth(fields[i].flags), 16u) << fields[i].name;
    }
    EXPECT_EQ(i - wordsBegin, shape.words);
    size_t extra = 0;
    if (i + 1 < fields.size()) {
        const size_t extraBegin = ++i;
        for (; i < fields.size() && fields[i].flags != 0; ++i) {}
        extra = i - extraBegin;
    }
    EXPECT_EQ(extra, shape.extra);
    EXPECT_EQ(i + 1, fields.size()) << "the table ends with its last closing record";

    // The first word is Mode_ID.
    EXPECT_STREQ(fields[wordsBegin].name, "Mode_ID");
    EXPECT_EQ(fields[wordsBegin].flags, 0x1010u);
    EXPECT_EQ(fields[wordsBegin].value, 23040);

    for (const UnpackedField& field : fields) {
        ASSERT_NE(field.name, nullptr);
        ASSERT_NE(field.comment, nullptr);
        EXPECT_EQ(field.flags >> 16, 0u);
        EXPECT_GE(field.value, 0);
        if (field.flags == 0) {
            EXPECT_STREQ(field.name, "");
            EXPECT_STREQ(field.comment, "");
            EXPECT_EQ(field.value, 0);
        } else {
            EXPECT_STRNE(field.comment, "");
        }
    }
}

TEST_P(DefinitionRow, EveryGridCellResolvesToARecord)
{
    const CdsDefinition& def = Row(GetParam());
    const RowShape shape = ShapeOfRow(GetParam());
    EXPECT_EQ(def.GetGridRows(), shape.gridRows);
    EXPECT_EQ(def.GetGridCols(), shape.gridCols);
    const auto cells = def.GetGridCells();
    if (GetParam() >= 1 && GetParam() <= 3) {
        EXPECT_TRUE(cells.empty()) << "TestCam01 V2.0 and V3.0 have no listing";
        return;
    }
    ASSERT_EQ(cells.size(), static_cast<size_t>(shape.gridRows * shape.gridCols));
    const auto fields = def.FieldTable();
    for (const uint16_t cell : cells) {
        ASSERT_LT(cell, fields.size());
        const UnpackedField& record = fields[cell];
        if (record.name[0] == '\0') {
            EXPECT_EQ(record.value, 0) << "an empty cell shows a closing record";
            EXPECT_EQ(record.flags, 0u);
        }
    }
    const auto at = [&](int r, int c) -> std::string { return fields[cells[(r - 1) * def.grid_cols + (c - 1)]].name; };
    if (GetParam() == 26 || GetParam() == 27) {
        EXPECT_EQ(at(24, 3), "Mode_ID");
        EXPECT_EQ(at(24, 4), "RAMP_P");
    } else {
        EXPECT_EQ(at(def.grid_rows, def.grid_cols), "Mode_ID");
    }
}

std::vector<size_t> AllRows()
{
    std::vector<size_t> rows;
    for (size_t r = 0; r < kCdsDefinitionCount; ++r) {
        rows.push_back(r);
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(AllRows, DefinitionRow, ::testing::ValuesIn(AllRows()));

std::string Cell(size_t row, int r, int c)
{
    const CdsDefinition& def = Row(row);
    return def.fields[def.GetGridCells()[static_cast<size_t>((r - 1) * def.grid_cols + (c - 1))]].name;
}

TEST(DisplayGrids, VersionDifferencesShowInTheirCells)
{
    EXPECT_EQ(Cell(0, 13, 4), "Vdd1.8A");
    EXPECT_EQ(Cell(8, 13, 4), "Vdd1_8A");
    EXPECT_EQ(Cell(0, 1, 3), " 51 VRAMP_SLOPE");
    EXPECT_EQ(Cell(0, 11, 1), "");
    // JR574 D0: CT Phase shift appears from V3.0; V3.5 changes column 1.
    EXPECT_EQ(Cell(14, 10, 4), "");
    EXPECT_EQ(Cell(16, 10, 4), "CT Phase shift");
    EXPECT_EQ(Cell(16, 10, 1), "BOT_LVDS_EN");
    EXPECT_EQ(Cell(20, 1, 1), "VPC_EN");
    EXPECT_EQ(Cell(21, 1, 1), "DDR_CLK_EN");
    EXPECT_EQ(Cell(25, 9, 1), "LC_LVDS_EN");
    // JR825: DIR in two cells; V3.0 cells.
    EXPECT_EQ(Cell(28, 8, 2), "DIR");
    EXPECT_EQ(Cell(28, 21, 3), "DIR");
    EXPECT_EQ(Cell(28, 14, 2), "No use");
    EXPECT_EQ(Cell(30, 16, 4), "CT Phase shift");
    EXPECT_EQ(Cell(30, 5, 2), "");
    // JV285: VREF by record number in V1.1, the extra section in V2.x.
    EXPECT_EQ(Row(31).GetGridCells()[12 * 5 + 4], 417);
    EXPECT_EQ(Row(31).GetGridCells()[14 * 5 + 2], 67);
    EXPECT_EQ(Cell(31, 1, 4), "_TM0 ");
    EXPECT_EQ(Cell(33, 1, 3), "RPTR");
    EXPECT_EQ(Cell(33, 5, 3), "NY");
    EXPECT_EQ(Cell(33, 13, 5), "VREF DAC");
    EXPECT_EQ(Cell(34, 6, 3), "");
}

TEST(FieldTables, NamesKeepTheirBlanks)
{
    // TestCam and JV966 bit fields begin with a bit label right-aligned in
    // three characters and a blank.
    const std::regex label("^[ 0-9]{2}[0-9] \\S.*");
    for (const size_t row : {0u, 1u, 3u, 8u}) {
        const CdsDefinition& def = Row(row);
        for (size_t i = 0; def.fields[i].flags != 0; ++i) {
            const std::string name = def.fields[i].name;
            if (name.rfind("NEW TEST LINE", 0) == 0) {
                continue;
            }
            EXPECT_TRUE(std::regex_match(name, label)) << "row " << row << " record " << i << " '" << name << "'";
        }
    }
    EXPECT_STREQ(Row(0).fields[122].name, "  0 No use");
    EXPECT_STREQ(Row(0).fields[111].name, " 38 VHIGH_VREF_RAMP");
    EXPECT_STREQ(Row(26).fields[15].name, "LVDSDRIVEEN ");
    EXPECT_STREQ(Row(14).fields[19].name, "LP_ADC_ EN");
    EXPECT_STREQ(Row(31).fields[395].name, "    ");
    EXPECT_STREQ(Row(32).fields[403].name, " ");
    EXPECT_STREQ(Row(32).fields[398].name, "PGA_STP ");
    EXPECT_STREQ(Row(32).fields[432].name, "_TM9 ");
    EXPECT_STREQ(Row(32).fields[433].name, "_TM10");
    EXPECT_STREQ(Row(31).fields[448].name, "_xM9 ");
}

TEST(FieldTables, VersionsDifferWhereTheRegisterMapsSay)
{
    // JV285 V1.1: Mode_ID at 391, the last word _xM15 at 454, terminator 455.
    EXPECT_STREQ(Row(31).fields[391].name, "Mode_ID");
    EXPECT_STREQ(Row(31).fields[454].name, "_xM15");
    EXPECT_EQ(Row(31).fields[454].flags, 0x7F10u);
    EXPECT_EQ(Row(31).fields[455].flags, 0u);
    EXPECT_EQ(Row(31).fields[392].flags, 0x5010u);
    EXPECT_EQ(Row(32).fields[392].flags, 0x5F10u);
    EXPECT_STREQ(Row(32).fields[397].name, "MAX_GAIN");
    EXPECT_EQ(Row(32).fields[397].flags, 0x3010u);
    EXPECT_EQ(Row(32).fields[456].value, 7);  // RPTR
    EXPECT_EQ(Row(32).fields[460].value, 3);  // NY
    // JR574 D0 V3.x: CT Phase shift takes the place of _X42.._X45.
    EXPECT_STREQ(Row(15).fields[120].name, "_X42");
    EXPECT_STREQ(Row(16).fields[120].name, "CT Phase shift");
    EXPECT_STREQ(Row(16).fields[125].name, "Dead Col #2");
    // TestCam01 V2.0 drops nine V1.0 records; V3.0 inserts four.
    EXPECT_STREQ(Row(1).fields[17].name, "340 LVDS_T_EN");
    EXPECT_STREQ(Row(3).fields[20].name, "NEW TEST LINE1 DEF");
    EXPECT_EQ(Row(3).fields[20].flags, 2u);
    // Raw types on the bit fields.
    EXPECT_EQ(Row(0).fields[43].flags, 0x4006u);  // 297 PGA_GAIN_T
    EXPECT_EQ(Row(0).fields[48].flags, 0x3015u);  // 269 CNT_INT_T
    EXPECT_EQ(Row(0).fields[48].value, 2085636);
    EXPECT_EQ(Row(14).fields[8].value, 62271);  // CNT_TOP
}

TEST(FieldTables, ElevenDistinctTablesServeTheRows)
{
    std::set<const UnpackedField*> tables;
    for (const CdsDefinition& def : CdsDefinitionTable()) {
        tables.insert(def.fields);
    }
    EXPECT_EQ(tables.size(), 11u);
    EXPECT_EQ(Row(1).fields, Row(2).fields);
    EXPECT_EQ(Row(33).fields, Row(34).fields);
    EXPECT_EQ(Row(0).fields, Row(7).fields);
    EXPECT_NE(Row(0).fields, Row(8).fields);
}

TEST(BitDescriptors, OnlyTheJV285DefinitionsHaveThem)
{
    for (size_t row = 0; row <= 30; ++row) {
        EXPECT_EQ(Row(row).GetBitDescriptors(), nullptr) << row;
    }
    for (size_t row = 31; row <= 34; ++row) {
        const UnpackedField* bits = Row(row).GetBitDescriptors();
        ASSERT_NE(bits, nullptr);
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(bits[i].flags, i < 16 ? 0x8001u : 0x9001u);
            EXPECT_EQ(bits[i].value, i % 16);
        }
    }
    const UnpackedField* v11 = Row(31).GetBitDescriptors();
    const UnpackedField* v21 = Row(33).GetBitDescriptors();
    EXPECT_STREQ(v11[0].name, " 0 RC_EN");
    EXPECT_STREQ(v11[0].comment, "Row corr en");
    EXPECT_STREQ(v11[3].comment, "Row corr hot pixel remove");
    EXPECT_STREQ(v11[16].name, "BIN.0");
    EXPECT_STREQ(v11[23].comment, "use t_PCBX");
    EXPECT_STREQ(v11[31].name, "15");
    EXPECT_STREQ(v21[0].name, " 0 RC_OFF");
    EXPECT_STREQ(v21[3].comment, "3 Row corr hot pixel remove");
    EXPECT_STREQ(v21[16].name, " 0 BIN.0");
    EXPECT_STREQ(v21[31].name, "15 TX2DMY");
    EXPECT_STREQ(v21[31].comment, "DUMMY ROW TX2 ENABLE");
    EXPECT_EQ(Row(32).GetBitDescriptors(), v21);
}

}  // namespace
