#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "converter_fixture.h"
#include "test_support.h"

using calib_test::ErrorText;
using calib_test::FieldNamed;
using calib_test::FieldsOfRow;
using calib_test::LoadUnpacked;
using calib_test::ReadFile;
using calib_test::TempDir;

namespace {

// The part of `text` at `pos` as long as `expected`, to compare with it.
std::string At(const std::string& text, size_t pos, const std::string& expected)
{
    return pos <= text.size() ? text.substr(pos, expected.size()) : std::string();
}

std::string TextOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An image whose pages hold 0 in every field but Mode_ID (0x5A00 + page),
// with `fill` giving some fields of a page their values.
std::vector<uint8_t> SmallImage(size_t row, const std::function<void(std::vector<UnpackedField>&, uint32_t)>& fill)
{
    const CdsDefinition& def = CdsDefinitionTable()[row];
    std::vector<uint8_t> image = calib_test::DefaultImageOfRow(row);
    for (uint32_t p = 0; p < def.pages_count; ++p) {
        std::vector<UnpackedField> fields = FieldsOfRow(row);
        for (UnpackedField& field : fields) {
            field.value = 0;
        }
        FieldNamed(fields, "Mode_ID").value = static_cast<int32_t>(0x5A00 + p);
        fill(fields, p);
        def.Pack(std::span<uint8_t>(image).subspan(static_cast<size_t>(p) * def.page_size, def.page_size), fields);
    }
    return image;
}

// JR574 V2.0, page 0: one value of every raw type its grid shows.
std::vector<uint8_t> JR574Image()
{
    return SmallImage(14, [](std::vector<UnpackedField>& f, uint32_t page) {
        if (page != 0) {
            return;
        }
        FieldNamed(f, "VPC_EN").value = 1;
        FieldNamed(f, "V_VPC").value = 33;
        FieldNamed(f, "PGA_GAIN_TOP").value = 13;  // 1.6; PGA_GAIN_BOT 0 is no code
        FieldNamed(f, "CNT_TOP").value = 62271;
        FieldNamed(f, "VPIX_LDC").value = 1500;
        FieldNamed(f, "T_GAIN").value = 16384;
        FieldNamed(f, "B_GAIN").value = 32768;
        FieldNamed(f, "T_OFFS").value = 0xFFFF;
        FieldNamed(f, "Gain0").value = 250;
        FieldNamed(f, "HDR_GAIN").value = 7;
    });
}

// Page 0 of the JR574 image: the header, then one line per named grid
// cell, row by row: mode id, name, value, unit; an empty unit leaves the
// line ending in a comma, a gain without a table entry an empty value too.
constexpr const char* kJR574StructuredPage0 = R"(Mode ID,Name,Value,Unit
0x5A00,VPC_EN, 1,
0x5A00,I_COL_CMDN, 0,
0x5A00,_TM0,  0,
0x5A00,VPIX_LDC,1.500,V
0x5A00,REF_FL_EN, 0,
0x5A00,I_ROW_LOGIC, 0,
0x5A00,_TM1,  0,
0x5A00,VDDPIX,0.000,V
0x5A00,INTERNAL_REF_EN, 0,
0x5A00,I_COMPINV, 0,
0x5A00,_TM2,  0,
0x5A00,VDRL,0.000,V
0x5A00,V_VPC,33,
0x5A00,I_ADC, 0,
0x5A00,_TM3,  0,
0x5A00,V(D)RH,0.000,V
0x5A00,V_VREF, 0,
0x5A00,I_AMP, 0,
0x5A00,_TM4,  0,
0x5A00,VTXH,0.000,V
0x5A00,V_VTSIG, 0,
0x5A00,I_COLPC, 0,
0x5A00,_TM5,  0,
0x5A00,VRS,0.000,V
0x5A00,V_VREF_FL, 0,
0x5A00,I_COL_LOAD, 0,
0x5A00,_TM6,  0,
0x5A00,VRF,0.000,V
0x5A00,V_CLIP_RST_LG, 0,
0x5A00,EB_EN, 0,
0x5A00,_TM7,  0,
0x5A00,VREF,0.000,V
0x5A00,V_CLIP_RST_HG, 0,
0x5A00,ARRAY_DIR, 0,
0x5A00,_TM8,  0,
0x5A00,V_CLIP_SIG_LG, 0,
0x5A00,SAM_SIG_CLR_EN, 0,
0x5A00,_TM9,  0,
0x5A00,V_CLIP_SIG_HG, 0,
0x5A00,DIG_READ_PL_EN, 0,
0x5A00,_TM10,  0,
0x5A00,HDR_GAIN,  7,
0x5A00,I_CLIP_CMDN, 0,
0x5A00,DELAY_SAMPLE_EN, 0,
0x5A00,_TM11,  0,
0x5A00,T_GAIN,0.500000000000000,
0x5A00,I_BIAS_RAMP_OTA, 0,
0x5A00,DELAY_LOAD_EN, 0,
0x5A00,_TM12,  0,
0x5A00,B_GAIN,1.000000000000000,
0x5A00,V_VRAMP_REF, 0,
0x5A00,CLK_MAIN_ALIA_EN, 0,
0x5A00,_TM13,  0,
0x5A00,T_OFFS, -1,
0x5A00,V_VRAMP_SIG, 0,
0x5A00,CLKL_CTR, 0,
0x5A00,_TM14,  0,
0x5A00,B_OFFS,  0,
0x5A00,V_VRAMP_REF_FL, 0,
0x5A00,M_SAM_EN, 0,
0x5A00,_TM15,  0,
0x5A00,T_LIN,  0,
0x5A00,DIV_RAMP_RD_EN, 0,
0x5A00,FOT_EN, 0,
0x5A00,BOT_ANA_TIMING_EN, 0,
0x5A00,B_LIN,  0,
0x5A00,BW_LIM, 0,
0x5A00,GS_EN, 0,
0x5A00,TOP_ANA_TIMING_EN, 0,
0x5A00,Gain0, 2.50,dB
0x5A00,ADC_BIT_CTR, 0,
0x5A00,ARRAY_HG_EN, 0,
0x5A00,SER_STANDBY_EN, 0,
0x5A00,PGA_GAIN_TOP,1.6,dB
0x5A00,RAMP_SLOPE_CTR, 0,
0x5A00,ARRAY_GRSTH_EN, 0,
0x5A00,ADC_CLK_STANDBY_EN, 0,
0x5A00,PGA_GAIN_BOT,,
0x5A00,DYN_LDC_EN, 0,
0x5A00,I_LVDS, 0,
0x5A00,TOP_DIG_EN, 0,
0x5A00,ADC_GAIN, 0,
0x5A00,LDC_EN1, 0,
0x5A00,LC_LVDS_EN_BOT_TO_A, 0,
0x5A00,TOP_ANA_EN, 0,
0x5A00,CNT_TOP,15615,
0x5A00,SER_N_TOP, 0,
0x5A00,LVDS_REC, 0,
0x5A00,BOT_DIG_EN, 0,
0x5A00,CNT_BOT, 0,
0x5A00,SER_N_BOT, 0,
0x5A00,Sensor S/N,  0,
0x5A00,BOT_ANA_EN, 0,
0x5A00,Mode_ID,0x5A00,
)";

// The same page as a text grid: "| " before every cell, a tab after each
// but the last, " |" closing the line; three empty lines after the page.
constexpr const char* kJR574TextPage0 =
    R"(| VPC_EN         : 1 	| I_COL_CMDN     : 0 	| _TM0          :  0 	| VPIX_LDC    :1.500 V |
| REF_FL_EN      : 0 	| I_ROW_LOGIC    : 0 	| _TM1          :  0 	| VDDPIX      :0.000 V |
| INTERNAL_REF_EN: 0 	| I_COMPINV      : 0 	| _TM2          :  0 	| VDRL        :0.000 V |
| V_VPC          :33 	| I_ADC          : 0 	| _TM3          :  0 	| V(D)RH      :0.000 V |
| V_VREF         : 0 	| I_AMP          : 0 	| _TM4          :  0 	| VTXH        :0.000 V |
| V_VTSIG        : 0 	| I_COLPC        : 0 	| _TM5          :  0 	| VRS         :0.000 V |
| V_VREF_FL      : 0 	| I_COL_LOAD     : 0 	| _TM6          :  0 	| VRF         :0.000 V |
| V_CLIP_RST_LG  : 0 	| EB_EN          : 0 	| _TM7          :  0 	| VREF        :0.000 V |
| V_CLIP_RST_HG  : 0 	| ARRAY_DIR      : 0 	| _TM8          :  0 	|                : 0  |
| V_CLIP_SIG_LG  : 0 	| SAM_SIG_CLR_EN : 0 	| _TM9          :  0 	|                : 0  |
| V_CLIP_SIG_HG  : 0 	| DIG_READ_PL_EN : 0 	| _TM10         :  0 	| HDR_GAIN      :  7  |
| I_CLIP_CMDN    : 0 	| DELAY_SAMPLE_EN: 0 	| _TM11         :  0 	| T_GAIN      :0.500  |
| I_BIAS_RAMP_OTA: 0 	| DELAY_LOAD_EN  : 0 	| _TM12         :  0 	| B_GAIN      :1.000  |
| V_VRAMP_REF    : 0 	| CLK_MAIN_ALIA_E: 0 	| _TM13         :  0 	| T_OFFS        : -1  |
| V_VRAMP_SIG    : 0 	| CLKL_CTR       : 0 	| _TM14         :  0 	| B_OFFS        :  0  |
| V_VRAMP_REF_FL : 0 	| M_SAM_EN       : 0 	| _TM15         :  0 	| T_LIN         :  0  |
| DIV_RAMP_RD_EN : 0 	| FOT_EN         : 0 	| BOT_ANA_TIMING_: 0 	| B_LIN         :  0  |
| BW_LIM         : 0 	| GS_EN          : 0 	| TOP_ANA_TIMING_: 0 	| Gain0       : 2.50 dB |
| ADC_BIT_CTR    : 0 	| ARRAY_HG_EN    : 0 	| SER_STANDBY_EN : 0 	| PGA_GAIN_TOP  :1.6 dB |
| RAMP_SLOPE_CTR : 0 	| ARRAY_GRSTH_EN : 0 	| ADC_CLK_STANDBY: 0 	| PGA_GAIN_BOT     :  |
| DYN_LDC_EN     : 0 	| I_LVDS         : 0 	| TOP_DIG_EN     : 0 	| ADC_GAIN       : 0  |
| LDC_EN1        : 0 	| LC_LVDS_EN_BOT_: 0 	| TOP_ANA_EN     : 0 	| CNT_TOP     :15615  |
| SER_N_TOP      : 0 	| LVDS_REC       : 0 	| BOT_DIG_EN     : 0 	| CNT_BOT        : 0  |
| SER_N_BOT      : 0 	| Sensor S/N    :  0 	| BOT_ANA_EN     : 0 	| Mode_ID    :0x5A00  |



)";

// The named bits of IMG_CTRL = 0x0005 and IMG_CTR2 = 0x8001 (JV285 V2.1),
// after the page's grid lines.
constexpr const char* kJV285BitLinesCsv = R"(0x5A00,IMG_CTRL. 0 RC_OFF,1,
0x5A00,IMG_CTRL. 1 RC_OFFS,0,
0x5A00,IMG_CTRL. 2 RC_TEST,1,
0x5A00,IMG_CTRL. 3 RC_HPR,0,
0x5A00,IMG_CTRL. 4 CC_OFF,0,
0x5A00,IMG_CTRL. 5 CC_OFFS,0,
0x5A00,IMG_CTRL. 6 CC_TEST,0,
0x5A00,IMG_CTRL. 7 CC_SET,0,
0x5A00,IMG_CTRL. 8 CMS_EN,0,
0x5A00,IMG_CTRL. 9 HDR_EN,0,
0x5A00,IMG_CTRL.10 STD_EN,0,
0x5A00,IMG_CTRL.11 GL,0,
0x5A00,IMG_CTRL.12 GH,0,
0x5A00,IMG_CTRL.13 CMS4_EN,0,
0x5A00,IMG_CTRL.14 CMS4_SEL,0,
0x5A00,IMG_CTRL.15 LN_EXT,0,
0x5A00,IMG_CTR2. 0 BIN.0,1,
0x5A00,IMG_CTR2. 1 BIN.1,0,
0x5A00,IMG_CTR2. 2 BIN.2,0,
0x5A00,IMG_CTR2. 3 BIN.3,0,
0x5A00,IMG_CTR2. 4 Row Rpr OFF,0,
0x5A00,IMG_CTR2. 5,0,
0x5A00,IMG_CTR2. 6,0,
0x5A00,IMG_CTR2. 7 PWDN_OFF,0,
0x5A00,IMG_CTR2. 8 BLS_EN,0,
0x5A00,IMG_CTR2. 9 CLIP_EN,0,
0x5A00,IMG_CTR2.10 SWAP_CHN,0,
0x5A00,IMG_CTR2.11 HGE,0,
0x5A00,IMG_CTR2.12 Fix gain,0,
0x5A00,IMG_CTR2.13 Col Rpr OFF,0,
0x5A00,IMG_CTR2.14,0,
0x5A00,IMG_CTR2.15 TX2DMY,1,
)";
constexpr const char* kJV285BitLinesText = R"(IMG_CTRL. 0 RC_OFF : 1
IMG_CTRL. 1 RC_OFFS : 0
IMG_CTRL. 2 RC_TEST : 1
IMG_CTRL. 3 RC_HPR : 0
IMG_CTRL. 4 CC_OFF : 0
IMG_CTRL. 5 CC_OFFS : 0
IMG_CTRL. 6 CC_TEST : 0
IMG_CTRL. 7 CC_SET : 0
IMG_CTRL. 8 CMS_EN : 0
IMG_CTRL. 9 HDR_EN : 0
IMG_CTRL.10 STD_EN : 0
IMG_CTRL.11 GL : 0
IMG_CTRL.12 GH : 0
IMG_CTRL.13 CMS4_EN : 0
IMG_CTRL.14 CMS4_SEL : 0
IMG_CTRL.15 LN_EXT : 0
IMG_CTR2. 0 BIN.0 : 1
IMG_CTR2. 1 BIN.1 : 0
IMG_CTR2. 2 BIN.2 : 0
IMG_CTR2. 3 BIN.3 : 0
IMG_CTR2. 4 Row Rpr OFF : 0
IMG_CTR2. 5 : 0
IMG_CTR2. 6 : 0
IMG_CTR2. 7 PWDN_OFF : 0
IMG_CTR2. 8 BLS_EN : 0
IMG_CTR2. 9 CLIP_EN : 0
IMG_CTR2.10 SWAP_CHN : 0
IMG_CTR2.11 HGE : 0
IMG_CTR2.12 Fix gain : 0
IMG_CTR2.13 Col Rpr OFF : 0
IMG_CTR2.14 : 0
IMG_CTR2.15 TX2DMY : 1



)";

class Export : public ::testing::Test {
protected:
    TempDir dir;
    CalibDataStructureConverter converter;
};

TEST_F(Export, StructuredListingOfAPage)
{
    LoadUnpacked(converter, 14, JR574Image());
    const std::string file = dir.File("listing.csv");
    converter.WriteUnpackedCalibData(file.c_str(), true);
    const std::string text = TextOf(file);
    const std::string page0 = kJR574StructuredPage0;
    ASSERT_EQ(text.substr(0, page0.size()), page0);
    EXPECT_EQ(At(text, page0.size(), "0x5A01,VPC_EN, 0,\n"), "0x5A01,VPC_EN, 0,\n");
    // 94 named cells per page, no blank lines between pages.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 128 * 94);
    EXPECT_EQ(At(text, text.size() - 23, "0x5A7F,Mode_ID,0x5A7F,\n"), "0x5A7F,Mode_ID,0x5A7F,\n");
}

TEST_F(Export, TextListingOfAPage)
{
    LoadUnpacked(converter, 14, JR574Image());
    const std::string file = dir.File("listing.txt");
    converter.WriteUnpackedCalibData(file.c_str(), false);
    const std::string text = TextOf(file);
    const std::string page0 = kJR574TextPage0;
    ASSERT_EQ(text.substr(0, page0.size()), page0);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128 * (24 + 3));
    EXPECT_EQ(At(text, page0.size(), "| VPC_EN         : 0 "), "| VPC_EN         : 0 ");
}

TEST_F(Export, NamedBitLinesFollowTheGridOfTheirPage)
{
    const std::vector<uint8_t> image = SmallImage(33, [](std::vector<UnpackedField>& f, uint32_t page) {
        if (page == 0) {
            FieldNamed(f, "IMG_CTRL").value = 0x0005;
            FieldNamed(f, "IMG_CTR2").value = 0x8001;
        }
    });
    LoadUnpacked(converter, 33, image);
    const std::string csv = dir.File("listing.csv");
    const std::string txt = dir.File("listing.txt");
    converter.WriteUnpackedCalibData(csv.c_str(), true);
    converter.WriteUnpackedCalibData(txt.c_str(), false);

    const std::string structured = TextOf(csv);
    const size_t bits = structured.find("0x5A00,IMG_CTRL. 0 RC_OFF");
    ASSERT_NE(bits, std::string::npos);
    EXPECT_EQ(At(structured, bits - 23, "0x5A00,Mode_ID,0x5A00,\n"), "0x5A00,Mode_ID,0x5A00,\n");
    EXPECT_EQ(At(structured, bits, kJV285BitLinesCsv), kJV285BitLinesCsv);
    // Every page adds its 32 bit lines: 175 cells, 7 of them empty.
    EXPECT_EQ(std::count(structured.begin(), structured.end(), '\n'), 1 + 64 * (175 - 7 + 32));

    const std::string text = TextOf(txt);
    const size_t textBits = text.find("IMG_CTRL. 0 RC_OFF : 1\n");
    ASSERT_NE(textBits, std::string::npos);
    EXPECT_EQ(At(text, textBits - 22, "Mode_ID    :0x5A00  |\n"), "Mode_ID    :0x5A00  |\n");
    EXPECT_EQ(At(text, textBits, kJV285BitLinesText), kJV285BitLinesText);
}

TEST_F(Export, PageRecordDumpAndPerFieldCsv)
{
    LoadUnpacked(converter, 14, JR574Image());
    const std::string dump = dir.File("page.txt");
    converter.WriteUnpackedPageData(dump.c_str(), 0);
    const std::string records = TextOf(dump);
    const std::string head = "Bit count\tData\tName\tComment\n"
                             "1\t1\tVPC_EN\t255\n"
                             "1\t0\tREF_FL_EN\t254\n"
                             "1\t0\tINTERNAL_REF_EN\t253\n"
                             "4\t0\tI_COL_CMDN\t252:249\n"
                             "6\t33\tV_VPC\t248:243\n";
    EXPECT_EQ(At(records, 0, head), head);
    // Flags above 32 are shown in hexadecimal; the closing record has empty texts.
    EXPECT_NE(records.find("\n0\t0\t\t\n0x1010\t23040\tMode_ID\tword 0, bytes 0-1\n"
                           "0x2210\t1500\tVPIX_LDC\tword 1, bytes 2-3, millivolts\n"),
              std::string::npos);
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 1 + 127);

    const std::string csv = dir.File("fields.csv");
    converter.WriteUnpackedCalibDataCsv(csv.c_str());
    const std::string fields = TextOf(csv);
    EXPECT_EQ(At(fields, 0, "Mode ID,Name,Value\n0000,VPC_EN,1\n"), "Mode ID,Name,Value\n0000,VPC_EN,1\n");
    for (const char* line : {"\n0000,PGA_GAIN_TOP,1.599000\n", "\n0000,PGA_GAIN_BOT,0.000000\n",
                             "\n0000,Mode_ID,0x5a00\n", "\n0000,VPIX_LDC,1.500000\n", "\n0000,T_GAIN,0.500000\n",
                             "\n0000,T_OFFS,65535\n", "\n0000,Gain0,2.500000\n", "\n0127,Mode_ID,0x5a7f\n"}) {
        EXPECT_NE(fields.find(line), std::string::npos) << line;
    }
    // Every field but the two closing records, on every page.
    EXPECT_EQ(std::count(fields.begin(), fields.end(), '\n'), 1 + 128 * 125);

    const std::string packed = dir.File("page.bin");
    converter.WritePackedPageData(packed.c_str(), 127);
    const auto& page = *converter.SensorModes()[127];
    EXPECT_EQ(ReadFile(packed), std::vector<uint8_t>(page.Packed().begin(), page.Packed().end()));
}

TEST_F(Export, PerFieldCsvKeepsTheSignOfNegativeValues)
{
    const std::vector<uint8_t> image = SmallImage(12, [](std::vector<UnpackedField>& f, uint32_t) {
        FieldNamed(f, "FFC_GAIN").value = 16384;         // -6.021 dB
        FieldNamed(f, "269 CNT_INT_T").value = 2085636;  // -668
    });
    LoadUnpacked(converter, 12, image);
    const std::string csv = dir.File("fields.csv");
    converter.WriteUnpackedCalibDataCsv(csv.c_str());
    const std::string fields = TextOf(csv);
    EXPECT_NE(fields.find("\n0000,FFC_GAIN,-6.021000\n"), std::string::npos);
    EXPECT_NE(fields.find("\n0000,269 CNT_INT_T,-668\n"), std::string::npos);
}

TEST_F(Export, RefusalsAndEmptyListings)
{
    const std::string file = dir.File("out.txt");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibData(nullptr, true); }),
              "WriteUnpackedCalibData - File name is null");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibData(file.c_str(), true); }),
              "WriteUnpackedCalibData - Model name is not defined");
    converter.SetCameraModel("JR574JK-TD-D0-BSI");
    converter.SetCpuFirmwareVersion("03.50");
    converter.SetNewCpuFirmwareVersion("03.50");

    // No pages loaded: the header alone, and an empty text listing.
    converter.WriteUnpackedCalibData(file.c_str(), true);
    EXPECT_EQ(TextOf(file), "Mode ID,Name,Value,Unit\n");
    converter.WriteUnpackedCalibData(file.c_str(), false);
    EXPECT_EQ(TextOf(file), "");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedPageData(file.c_str(), 0); }),
              "WriteUnpackedPageData - Page index too high (input 0, max. 0)");

    LoadUnpacked(converter, 15, calib_test::DefaultImageOfRow(15));
    EXPECT_EQ(ErrorText([&] { converter.WritePackedPageData(file.c_str(), 128); }),
              "WritePackedPageData - Page index too high (input 128, max. 128)");
    EXPECT_EQ(ErrorText([&] { converter.WritePackedPageData(nullptr, 1); }),
              "WritePackedPageData - Data file is not defined");
    const std::string missing = dir.File("no/such/dir/out.csv");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibData(missing.c_str(), true); }),
              "WriteUnpackedCalibData - Failed to open file for storing unpacked EEPROM calibration data (" + missing +
                  ")");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedPageData(missing.c_str(), 1); }),
              "WriteUnpackedPageData - Failed to open file for storing unpacked EEPROM page data (" + missing + ")");

    converter.PackSensorModesData();
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibData(file.c_str(), true); }),
              "WriteUnpackedCalibData - Cannot convert packed page data, please unpack them first");
    EXPECT_EQ(TextOf(file), "Mode ID,Name,Value,Unit\n");  // written up to the failing page
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibDataCsv(file.c_str()); }),
              "WriteUnpackedCalibDataCsv - Cannot convert packed page data, please unpack them first");
}

TEST_F(Export, VersionsWithoutAListingFail)
{
    LoadUnpacked(converter, 1, calib_test::DefaultImageOfRow(1));
    const std::string file = dir.File("out.csv");
    EXPECT_EQ(ErrorText([&] { converter.WriteUnpackedCalibData(file.c_str(), true); }),
              "RegTestCam01_V2_0_Def::Initialize - error, not implemented");
}

}  // namespace
