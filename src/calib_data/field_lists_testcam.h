#pragma once

// Field tables and display grid of the TestCam01 V1.0, TestCam02, TestCam03
// and JV966 definitions and of the TestCam01 V2.0 and V3.0 definitions
// (128-byte backward layout). Every bit-field name begins with its bit label
// right-aligned in three characters and a blank.

#include "field_table_builder.h"

namespace cds_tables {

// TestCam01 V1.0; TestCam02 and TestCam03 have the same names and flags.
inline constexpr auto kTestCamBits = std::to_array<UnpackedField>({
    B("379 I_VBN_VTEST", 5),
    B("378 No use", 1),
    B("377 LP_ADC_TIMING_EN", 1),
    B("376 CLK_MAIN_EN", 1),
    B("375 SAMP_READ_EN", 1),
    B("374 S_SIG_CTR_EN", 1),
    B("372 TOP_DIG_EN", 1),
    B("372 BOT_DIG_EN", 1),
    B("371 TSIG_EN", 1),
    B("370 RAMP_TO_READ_EN", 1),
    B("369 GATE_CLKH_EN", 1),
    B("368 ADC_CLK_STANDBY_EN", 1),
    B("367 SAMP_READ_DELAY_EN", 1),
    B("363 CLKL_CTR<3:0>", 4),
    B("362 SER_STANDBY_EN", 1),
    B("361 DELAY_LOAD_EN", 1),
    B("360 COL_DEC_VOTER_EN", 1),
    B("355 LVDS_REC_OTA1", 5),
    B("350 LVDS_REC_OTA2", 5),
    B("349 LVDS_REC_EN", 1),
    B("340 LVDS_T_EN", 9, 1),
    B("326 TRAIN_DATA", 14),
    B("325 ADC_MSB_EN", 1),
    B("324 ADC_LSB_EN", 1),
    B("323 ADC_LSBE_EN", 1),
    B("322 LP_ADC_EN", 1),
    B("321 LC_LVDS_EN", 1),
    B("320 DIG_READ_PL_EN", 1),
    B("319 ADC_14BIT_EN", 1),
    B("318 SER_BIN_EN", 1),
    B("317 DELAY_SAMP_EN", 1),
    B("316 SER_BIN_2TO1_EN", 1),
    B("315 FA_EN", 1),
    B("314 NEW_LP_ADC_EN", 1),
    B("313 MUX_2TO1_EN", 1),
    B("312 MUX_4TO1_EN", 1),
    B("311 MUX_8TO1_EN", 1),
    B("310 MUX_BUF_EN", 1),
    B("309 DEC_SEL_EN", 1),
    B("308 COMP_T_EN", 1),
    B("306 BW_LIM_T", 2),
    B("305 SC_OTA_T_EN", 1),
    B("303 VREF_T_EN", 2),
    B("297 PGA_GAIN_T", 6, 4, 7),
    B("295 VTREF_T_EN", 2),
    B("294 COL_LOAD_T_EN", 1),
    B("292 CBUS_CTR_DUM_T", 2),
    B("290 VTSIG_T_EN", 2),
    B("269 CNT_INT_T", 21, 3, 2085636),
    B("265 TANA2", 4),
    B("261 TANA1", 4),
    B("260 No use", 1),
    B("259 LC_I_LVDS_EN", 1),
    B("254 I_LVDS", 5),
    B("249 I_COL_DEC", 5),
    B("248 V_VINT_REF_EN", 1),
    B("242 V_VTSIG", 6),
    B("241 VTSIG_INT_EN", 1),
    B("235 V_VTREF", 6),
    B("234 VTREF_INT_EN", 1),
    B("229 I_COMP", 5),
    B("224 I_PGA", 5),
    B("221 VCASN_PGA", 3),
    B("218 VCASP_PGA", 3),
    B("213 I_VBP_COL_BUF", 5),
    B("208 I_VBN_COL_BUF", 5),
    B("207 No use", 1),
    B("201 V_VPC<5:0>", 6),
    B("200 VPC_INT_EN", 1),
    B("199 VHIGH_VPC_CTR", 1),
    B("198 VLOW_VPC_CTR", 1),
    B("192 V_VREF", 6),
    B("191 VREF_INT_EN", 1),
    B("190 VHIGH_VREF_CTR", 1),
    B("189 VLOW_VREF_CTR", 1),
    B("184 I_DDR_DRIV", 5),
    B("179 I_COMP_INV", 5),
    B("174 I_COL_LOAD", 5),
    B("169 I_COL_PCHLOAD", 5),
    B("164 I_ROW_LOGIC", 5),
    B("158 V_CLIP_SIG_LG", 6),
    B("152 V_CLIP_SIG_HG", 6),
    B("146 V_CLIP_RST_LG", 6),
    B("140 V_CLIP_RST_HG", 6),
    B("139 V_CLIP_EN", 1),
    B("134 I_DRIV_CLIP", 5),
    B("133 COMP_B_EN", 1),
    B("132 SC_OTA_B_EN", 1),
    B("130 VREF_B_EN", 2),
    B("124 PGA_GAIN_B", 6, 4, 7),
    B("122 VTREF_B_EN", 2),
    B("121 COL_LOAD_B_EN", 1),
    B("119 CBUS_CTR_DUM_B", 2),
    B("117 VTSIG_B_EN", 2),
    B(" 96 CNT_INT_B", 21, 3, 2085636),
    B(" 91 TDIG2", 5),
    B(" 86 TDIG1", 5),
    B(" 77 LVDS_B_EN", 9, 1),
    B(" 76 VREF_RAMP_EN", 1),
    B(" 70 INT_VREF_RAMP", 6),
    B(" 67 I_VREF_RAMP", 3),
    B(" 66 VSIG_RAMP_EN", 1),
    B(" 60 INT_VSIG_RAMP", 6),
    B(" 57 I_VSIG_RAMP", 3),
    B(" 51 VRAMP_SLOPE", 6),
    B(" 48 I_RAMP_OTA", 3),
    B(" 44 DIG_GAIN", 4),
    B(" 43 RST_CTR", 1),
    B(" 42 HDR_CTR", 1),
    B(" 41 BLOCK_SEL_EN", 1),
    B(" 39 BW_LIM_B", 2),
    B(" 38 VHIGH_VREF_RAMP", 1),
    B(" 37 VLOW_VREF_RAMP", 1),
    B(" 36 VHIGH_VSIG_RAMP", 1),
    B(" 35 VLOW_VSIG_RAMP", 1),
    B(" 34 LVDS_CLK_T_EN", 1),
    B(" 33 LVDS_CLK_B_EN", 1),
    B(" 32 COL_EB_CTR", 1),
    B(" 30 CBUS_CTRL_T", 2),
    B(" 28 CBUS_CTRL_B", 2),
    B(" 27 HDR_EN", 1),
    B(" 26 RAMP_SEL_TOP_ENB", 1),
    B("  0 No use", 26),
});

inline constexpr auto kTestCamWords = std::to_array<UnpackedField>({
    W("Mode_ID", 0x1010, 0x5A00),
    W("DAC0x", 0x2210),
    W("VRD", 0x2210),
    W("VLDC", 0x2210),
    W("VRF", 0x2210),
    W("VPC", 0x2210),
    W("VRS", 0x2210),
    W("VDRL", 0x2210),
    W("VDRV", 0x2210),
    W("VDDSF", 0x2210),
    W("VTD", 0x2210),
    W("VddPIX", 0x2210),
    W("VTXH", 0x2210),
    W("DAC12x", 0x2210),
    W("VRH_VDRH", 0x2210),
    W("Vdd1.8A", 0x2210),
    W("Vdd5A", 0x2210),
    W("HDR_GAIN", 0x5010),
    W("FFC_GAIN", 0x7010, 32768),
    W("Crop X", 0x5010),
    W("FFC_CTR", 0x1010),
    W("Sensor S/N", 0x5010),
    W("FFC_OT", 0x5010),
    W("FFC_OB", 0x5010),
    W("_TM0", 0x5010),
    W("_TM1", 0x5010),
    W("_TM2", 0x5010),
    W("_TM3", 0x5010),
    W("_TM4", 0x5010),
    W("_TM5", 0x5010),
    W("_TM6", 0x5010),
    W("_TM7", 0x5010),
    W("_TM8", 0x5010),
    W("_TM9", 0x5010),
    W("_TM10", 0x5010),
    W("_TM11", 0x5010),
    W("_TM12", 0x5010),
    W("_TM13", 0x5010),
    W("_TM14", 0x5010),
    W("_TM15", 0x5010),
});

inline constexpr auto kTestCamTable = Join(kTestCamBits, kSectionEnd, kTestCamWords, kSectionEnd);

// JV966: record 139 (Vdd1.8A) is named Vdd1_8A.
inline constexpr UnpackedField kJV966Old139[] = {W("Vdd1.8A", 0x2210)};
inline constexpr UnpackedField kJV966New139[] = {W("Vdd1_8A", 0x2210)};
inline constexpr TableEdit kJV966Edits[] = {Replace(139, kJV966Old139, kJV966New139)};
inline constexpr auto kJV966Table =
    ApplyEdits<EditedSize(kTestCamTable.size(), kJV966Edits)>(kTestCamTable, kJV966Edits);

// TestCam01 V2.0, counted in the V1.0 table: records 17-19, 58-60 and 112-114
// are absent.
inline constexpr UnpackedField kV20Absent17[] = {B("355 LVDS_REC_OTA1", 5), B("350 LVDS_REC_OTA2", 5),
                                                 B("349 LVDS_REC_EN", 1)};
inline constexpr UnpackedField kV20Absent58[] = {B("235 V_VTREF", 6), B("234 VTREF_INT_EN", 1), B("229 I_COMP", 5)};
inline constexpr UnpackedField kV20Absent112[] = {B(" 37 VLOW_VREF_RAMP", 1), B(" 36 VHIGH_VSIG_RAMP", 1),
                                                  B(" 35 VLOW_VSIG_RAMP", 1)};
inline constexpr TableEdit kTestCam01V20Edits[] = {Remove(17, kV20Absent17), Remove(58, kV20Absent58),
                                                   Remove(112, kV20Absent112)};
inline constexpr auto kTestCam01V20Table =
    ApplyEdits<EditedSize(kTestCamTable.size(), kTestCam01V20Edits)>(kTestCamTable, kTestCam01V20Edits);

// TestCam01 V3.0, counted in the V1.0 table: new records after records 19, 29
// and 70.
inline constexpr UnpackedField kV30After19[] = {B("NEW TEST LINE1 DEF", 2), B("NEW TEST LINE2 DEF", 3)};
inline constexpr UnpackedField kV30After29[] = {B("NEW TEST LINE3 DEF", 8)};
inline constexpr UnpackedField kV30After70[] = {B("NEW TEST LINE4 DEF", 7)};
inline constexpr TableEdit kTestCam01V30Edits[] = {InsertAfter(19, kV30After19), InsertAfter(29, kV30After29),
                                                   InsertAfter(70, kV30After70)};
inline constexpr auto kTestCam01V30Table =
    ApplyEdits<EditedSize(kTestCamTable.size(), kTestCam01V30Edits)>(kTestCamTable, kTestCam01V30Edits);

// Display grid (38 x 4) of the TestCam01 V1.0, TestCam02, TestCam03 and JV966
// definitions. The JV966 grid shows Vdd1_8A in row 13, column 4, the same record.
inline constexpr GridText<38, 4> kTestCamGridText{{
    {{"297 PGA_GAIN_T", "124 PGA_GAIN_B", "51 VRAMP_SLOPE", "VRD"}},
    {{"269 CNT_INT_T", "96 CNT_INT_B", "44 DIG_GAIN", "VLDC"}},
    {{"158 V_CLIP_SIG_LG", "152 V_CLIP_SIG_HG", "139 V_CLIP_EN", "VRF"}},
    {{"146 V_CLIP_RST_LG", "140 V_CLIP_RST_HG", "134 I_DRIV_CLIP", "VPC"}},
    {{"294 COL_LOAD_T_EN", "121 COL_LOAD_B_EN", "174 I_COL_LOAD", "VRS"}},
    {{"308 COMP_T_EN", "133 COMP_B_EN", "169 I_COL_PCHLOAD", "VDRL"}},
    {{"372 TOP_DIG_EN", "372 BOT_DIG_EN", "368 ADC_CLK_STANDBY_EN", "VDRV"}},
    {{"305 SC_OTA_T_EN", "132 SC_OTA_B_EN", "362 SER_STANDBY_EN", "VDDSF"}},
    {{"34 LVDS_CLK_T_EN", "33 LVDS_CLK_B_EN", "254 I_LVDS", "VTD"}},
    {{"340 LVDS_T_EN", "77 LVDS_B_EN", "349 LVDS_REC_EN", "VddPIX"}},
    {{"(empty)", "(empty)", "355 LVDS_REC_OTA1", "VTXH"}},
    {{"318 SER_BIN_EN", "316 SER_BIN_2TO1_EN", "350 LVDS_REC_OTA2", "VRH_VDRH"}},
    {{"306 BW_LIM_T", "39 BW_LIM_B", "321 LC_LVDS_EN", "Vdd1.8A"}},
    {{"32 COL_EB_CTR", "27 HDR_EN", "259 LC_I_LVDS_EN", "Vdd5A"}},
    {{"303 VREF_T_EN", "130 VREF_B_EN", "377 LP_ADC_TIMING_EN", "HDR_GAIN"}},
    {{"295 VTREF_T_EN", "122 VTREF_B_EN", "376 CLK_MAIN_EN", "FFC_GAIN"}},
    {{"290 VTSIG_T_EN", "117 VTSIG_B_EN", "41 BLOCK_SEL_EN", "FFC_OT"}},
    {{"248 V_VINT_REF_EN", "241 VTSIG_INT_EN", "242 V_VTSIG", "FFC_OB"}},
    {{"26 RAMP_SEL_TOP_ENB", "234 VTREF_INT_EN", "235 V_VTREF", "FFC_CTR"}},
    {{"199 VHIGH_VPC_CTR", "191 VREF_INT_EN", "192 V_VREF", "(empty)"}},
    {{"198 VLOW_VPC_CTR", "200 VPC_INT_EN", "201 V_VPC<5:0>", "(empty)"}},
    {{"36 VHIGH_VSIG_RAMP", "66 VSIG_RAMP_EN", "57 I_VSIG_RAMP", "_TM0"}},
    {{"35 VLOW_VSIG_RAMP", "370 RAMP_TO_READ_EN", "60 INT_VSIG_RAMP", "_TM1"}},
    {{"38 VHIGH_VREF_RAMP", "76 VREF_RAMP_EN", "67 I_VREF_RAMP", "_TM2"}},
    {{"37 VLOW_VREF_RAMP", "48 I_RAMP_OTA", "70 INT_VREF_RAMP", "_TM3"}},
    {{"375 SAMP_READ_EN", "361 DELAY_LOAD_EN", "164 I_ROW_LOGIC", "_TM4"}},
    {{"374 S_SIG_CTR_EN", "360 COL_DEC_VOTER_EN", "229 I_COMP", "_TM5"}},
    {{"371 TSIG_EN", "320 DIG_READ_PL_EN", "249 I_COL_DEC", "_TM6"}},
    {{"367 SAMP_READ_DELAY_EN", "317 DELAY_SAMP_EN", "179 I_COMP_INV", "_TM7"}},
    {{"190 VHIGH_VREF_CTR", "221 VCASN_PGA", "184 I_DDR_DRIV", "_TM8"}},
    {{"189 VLOW_VREF_CTR", "218 VCASP_PGA", "224 I_PGA", "_TM9"}},
    {{"315 FA_EN", "314 NEW_LP_ADC_EN", "379 I_VBN_VTEST", "_TM10"}},
    {{"325 ADC_MSB_EN", "323 ADC_LSBE_EN", "213 I_VBP_COL_BUF", "_TM11"}},
    {{"324 ADC_LSB_EN", "319 ADC_14BIT_EN", "208 I_VBN_COL_BUF", "_TM12"}},
    {{"322 LP_ADC_EN", "369 GATE_CLKH_EN", "363 CLKL_CTR<3:0>", "_TM13"}},
    {{"30 CBUS_CTRL_T", "28 CBUS_CTRL_B", "310 MUX_BUF_EN", "_TM14"}},
    {{"292 CBUS_CTR_DUM_T", "119 CBUS_CTR_DUM_B", "309 DEC_SEL_EN", "_TM15"}},
    {{"91 TDIG2", "43 RST_CTR", "42 HDR_CTR", "Mode_ID"}},
}};

inline constexpr GridCell kJV966GridCells[] = {{13, 4, "Vdd1_8A"}};

inline constexpr auto kTestCamGrid = ResolveGrid(kTestCamGridText, kTestCamTable, ClosingRecord(kTestCamTable, 0));
inline constexpr auto kJV966Grid =
    ResolveGrid(WithCells(kTestCamGridText, kJV966GridCells), kJV966Table, ClosingRecord(kJV966Table, 0));

}  // namespace cds_tables
