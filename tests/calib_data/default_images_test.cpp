#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "cds_format.h"
#include "count_codes.h"
#include "default_images.h"
#include "test_support.h"

using calib_test::ErrorText;

namespace {

const CdsDefinition& Row(size_t row)
{
    return CdsDefinitionTable()[row];
}

std::vector<UnpackedField> UnpackedPage(size_t row, uint32_t page)
{
    const CdsDefinition& def = Row(row);
    const auto image = def.mode_defaults_image->Bytes();
    std::vector<UnpackedField> fields(def.fields, def.fields + def.fields_count);
    EXPECT_EQ(def.Unpack(image.subspan(static_cast<size_t>(page) * def.page_size, def.page_size), fields), 0);
    return fields;
}

int32_t Value(const std::vector<UnpackedField>& fields, const std::string& name)
{
    for (const UnpackedField& f : fields) {
        if (f.flags != 0 && name == f.name) {
            return f.value;
        }
    }
    ADD_FAILURE() << "no field " << name;
    return 0;
}

bool ValidForType(const CdsDefinition& def, const UnpackedField& f)
{
    const int32_t v = f.value;
    static const std::set<int32_t> jv966Gains = [] {
        std::set<int32_t> s;
        for (int c = 1; c <= 63; c += 2) {
            s.insert(c);
        }
        for (int c = 24; c <= 62; c += 2) {
            s.insert(c);
        }
        return s;
    }();
    static const std::set<int32_t> jr574Gains = [] {
        std::set<int32_t> s;
        for (int c = 5; c <= 53; c += 2) {
            s.insert(c);
        }
        for (int c = 20; c <= 62; c += 2) {
            s.insert(c);
        }
        return s;
    }();
    switch (FieldRawType(f.flags)) {
    case 2:
        return v >= 0 && v <= 3300;
    case 3:
        switch (def.sensor_family) {
        case CdsSensorFamily::JV966:
            return ThreePartCountEncode(ThreePartCountDecode(v)) == v;
        case CdsSensorFamily::JR574:
            return TwoPartCountEncode(TwoPartCountDecode(v), 32) == v;
        case CdsSensorFamily::JR825:
            return TwoPartCountEncode(TwoPartCountDecode(v), 64) == v;
        default:
            return true;
        }
    case 4:
        switch (def.sensor_family) {
        case CdsSensorFamily::JV966:
            return jv966Gains.count(v) != 0;
        case CdsSensorFamily::JR574:
            return jr574Gains.count(v) != 0;
        case CdsSensorFamily::JR574D88:
            return v >= 0 && v <= 7 && v != 5;
        case CdsSensorFamily::JR825:
            return v >= 0 && v < 50;
        default:
            return true;
        }
    case 7:
        return def.sensor_family != CdsSensorFamily::JV966 || v == 32768;
    default:
        return true;
    }
}

class DefaultImage : public ::testing::TestWithParam<size_t> {};

TEST_P(DefaultImage, PagesRoundTripAndHoldValidValues)
{
    const size_t row = GetParam();
    const CdsDefinition& def = Row(row);
    ASSERT_NE(def.mode_defaults_image, nullptr);
    const auto image = def.mode_defaults_image->Bytes();
    ASSERT_EQ(image.size(), static_cast<size_t>(def.pages_count) * def.page_size);
    EXPECT_EQ(def.mode_defaults_image->Bytes().data(), image.data()) << "built once";

    std::vector<UnpackedField> fields(def.fields, def.fields + def.fields_count);
    std::vector<uint8_t> repacked(def.page_size);
    const auto modeId = std::find_if(fields.begin(), fields.end(),
                                     [](const UnpackedField& f) { return std::string(f.name) == "Mode_ID"; });
    const size_t modeIdIndex = static_cast<size_t>(modeId - fields.begin());
    for (uint32_t p = 0; p < def.pages_count; ++p) {
        const auto page = image.subspan(static_cast<size_t>(p) * def.page_size, def.page_size);
        ASSERT_EQ(def.Unpack(page, fields), 0) << "row " << row << " page " << p << " fails its check";
        def.Pack(repacked, fields);
        ASSERT_TRUE(std::equal(repacked.begin(), repacked.end(), page.begin())) << "row " << row << " page " << p;
        EXPECT_EQ(fields[modeIdIndex].value, static_cast<int32_t>(0x5A00 + p));
        for (size_t i = 0; fields[i].flags != 0 || i < modeIdIndex; ++i) {
            if (fields[i].flags != 0) {
                EXPECT_TRUE(ValidForType(def, fields[i]))
                    << "row " << row << " page " << p << " " << fields[i].name << " = " << fields[i].value;
            }
        }
    }
}

std::vector<size_t> RowsWithImages()
{
    std::vector<size_t> rows;
    for (size_t r = 0; r < kCdsDefinitionCount; ++r) {
        if (r != 2 && r != 34) {
            rows.push_back(r);
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, DefaultImage, ::testing::ValuesIn(RowsWithImages()));

TEST(DefaultImages, ThirtyThreeRowsCarryOne)
{
    EXPECT_EQ(RowsWithImages().size(), 33u);
    EXPECT_EQ(Row(2).mode_defaults_image, nullptr);
    EXPECT_EQ(Row(34).mode_defaults_image, nullptr);
}

TEST(DefaultImages, RowsWithoutImageBorrowFromTheirTwin)
{
    SensorModePageList pages;
    CdsDefinition def = Row(2);
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults("TestCam01", &def, &pages);
    EXPECT_EQ(def.mode_defaults_image, Row(1).mode_defaults_image);
    ASSERT_EQ(pages.size(), 128u);
    EXPECT_EQ(pages[0]->IsPackedOnly(), 0);

    CdsDefinition lonely = Row(2);
    lonely.mode_defaults_ver = 9;
    EXPECT_EQ(
        ErrorText([&] { CalibDataStructureConverter::LoadAndUnpackDstModeDefaults("TestCam01", &lonely, &pages); }),
        "LoadAndUnpackDstModeDefaults - ERROR mode defaults file is not defined");
}

// Consecutive versions of a model share most default values and differ in
// some, so an upgrade meets both kinds of field.
TEST(DefaultImages, ConsecutiveVersionsDifferInSomeFields)
{
    const std::vector<std::pair<size_t, size_t>> steps = {{4, 5},   {6, 7},   {8, 9},   {9, 10},  {11, 12}, {14, 15},
                                                          {15, 16}, {24, 25}, {26, 27}, {28, 29}, {29, 30}, {32, 33}};
    for (const auto& [older, newer] : steps) {
        size_t same = 0;
        size_t different = 0;
        for (uint32_t p = 0; p < Row(older).pages_count; p += 9) {
            const auto a = UnpackedPage(older, p);
            const auto b = UnpackedPage(newer, p);
            for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
                if (a[i].flags != 0 && std::string(a[i].name) == b[i].name) {
                    (a[i].value == b[i].value ? same : different) += 1;
                }
            }
        }
        EXPECT_GT(different, 0u) << older << " -> " << newer;
        EXPECT_GT(same, 2 * different) << older << " -> " << newer;
    }
}

TEST(DefaultImages, ValuesTheConverterSelfTestsRelyOn)
{
    // TestCam02 V2.0 -> V2.1 changes page 2 record 4.
    EXPECT_STREQ(Row(4).fields[4].name, "375 SAMP_READ_EN");
    EXPECT_NE(UnpackedPage(4, 2)[4].value, UnpackedPage(5, 2)[4].value);

    // TestCam03 V2.0 holds the cherry-picked values; V2.1 differs in each.
    const auto v20page0 = UnpackedPage(6, 0);
    const auto v20page1 = UnpackedPage(6, 1);
    EXPECT_EQ(Value(v20page0, " 51 VRAMP_SLOPE"), 45);
    EXPECT_EQ(ThreePartCountDecode(Value(v20page0, "269 CNT_INT_T")), -1000);
    EXPECT_EQ(ThreePartCountDecode(Value(v20page0, " 96 CNT_INT_B")), -1000);
    EXPECT_EQ(Value(v20page0, "134 I_DRIV_CLIP"), 3);
    EXPECT_EQ(Value(v20page1, "VDRL"), 1000);
    EXPECT_EQ(Value(v20page1, "318 SER_BIN_EN"), 0);
    EXPECT_EQ(Value(v20page1, "HDR_GAIN"), 3000);
    const auto v21page0 = UnpackedPage(7, 0);
    const auto v21page1 = UnpackedPage(7, 1);
    for (const char* name : {" 51 VRAMP_SLOPE", "269 CNT_INT_T", " 96 CNT_INT_B", "134 I_DRIV_CLIP"}) {
        EXPECT_NE(Value(v20page0, name), Value(v21page0, name)) << name;
    }
    for (const char* name : {"VDRL", "318 SER_BIN_EN", "HDR_GAIN"}) {
        EXPECT_NE(Value(v20page1, name), Value(v21page1, name)) << name;
    }
}

// Formats a raw value as the TestCam listing does, for the field types the
// defaults CSV names.
std::string Listed(const UnpackedField& f, std::string& unit)
{
    unit.clear();
    switch (FieldRawType(f.flags)) {
    case 2:
        unit = "V";
        return CdsFormat("%5.3f", f.value / 1000.0);
    case 3:
        return CdsFormat("%2d", ThreePartCountDecode(f.value));
    case 5:
        return CdsFormat("%3d", f.value);
    default:
        return CdsFormat("%2d", f.value);
    }
}

TEST(DefaultsCsv, NamesPageZeroFieldsOfTestCam01V20WithTheirDefaults)
{
    const CdsDefinition& def = Row(2);
    ASSERT_EQ(def.mode_defaults_csv, CdsDefaultsCsvText());
    const auto page0 = UnpackedPage(1, 0);  // row 2 borrows row 1's pages
    std::istringstream text(def.mode_defaults_csv);
    std::string line;
    std::getline(text, line);
    EXPECT_EQ(line, "Mode ID,Name,Value,Unit");
    int rows = 0;
    while (std::getline(text, line)) {
        ++rows;
        std::vector<std::string> cells;
        std::stringstream cellStream(line + ",");
        std::string cell;
        while (std::getline(cellStream, cell, ',')) {
            cells.push_back(cell);
        }
        ASSERT_EQ(cells.size(), 4u) << line;
        EXPECT_EQ(cells[0], "0x5A00");
        const auto field = std::find_if(page0.begin(), page0.end(),
                                        [&](const UnpackedField& f) { return f.flags != 0 && cells[1] == f.name; });
        ASSERT_NE(field, page0.end()) << cells[1];
        std::string unit;
        EXPECT_EQ(Listed(*field, unit), cells[2]) << cells[1];
        EXPECT_EQ(unit, cells[3]) << cells[1];
    }
    EXPECT_EQ(rows, 15);
}

}  // namespace
