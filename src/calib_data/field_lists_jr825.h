#pragma once

// Field tables and display grids of the JR825 definitions (V2.0, V2.1, V3.0;
// 128-byte forward layout).

#include "field_table_builder.h"

namespace cds_tables {

// V2.0; V2.1 has the same names and flags.
inline constexpr auto kJR825Bits = std::to_array<UnpackedField>({
    B("I_TX2", 4),
    B("I_ROWLOGIC", 4),
    B("I_COMPINV", 4),
    B("I_ADC", 4),
    B("I_AMP", 4),
    B("I_COL_PC", 4),
    B("I_LOAD", 4),
    B("I_TEST_BUFF", 4),
    B("I_BLS_BUFF", 4),
    B("V_BSUN_HG", 6),
    B("TANA", 4),
    B("No use", 19),
    B("ADC_CTRL", 2),
    B("RAMP_INI_REF", 7),
    B("RAMP_INI_SIG", 7),
    B("I_LVDS_DRV", 4),
    B("I_INT_DRV", 4),
    B("ADC_GAIN", 6),
    B("I_RAMP_OTA", 4),
    B("V_BSUN_LG", 6),
    B("V_VTREF", 6),
    B("V_VTSIG", 6),
    B("V_VREF", 6),
    B("ANA_LG_EN", 1),
    B("PGA_GAIN_LG", 6, 4, 1),
    B("PGA_CALI_EN", 1),
    B("ADC_CALI_EN", 1),
    B("CNT_INIT_LG", 16, 3, 62528),
    B("DIG_LG_EN", 1),
    B("No use", 2),
    B("LP_ADC_EN", 1),
    B("FA_EN", 1),
    B("DIG_RD_PL_EN", 1),
    B("DLY_SAM_EN", 1),
    B("LC_LVDS_EN", 1),
    B("SEQ_EN", 1),
    B("ANA_HG_EN", 1),
    B("PGA_GAIN_HG", 6, 4, 1),
    B("CNT_INIT_HG", 16, 3, 62528),
    B("DIG_HG_EN", 1),
    B("No use", 3),
    B("TDIG2", 4),
    B("TDIG1", 4),
    B("TRAIN_PATTERN", 12),
    B("DIR", 1),
    B("RST_CTR_EN", 1),
    B("HDR_CTR_EN", 1),
    B("BW_LIM", 2),
    B("LVDS_EN", 4),
    B("HSTL_EN", 4),
    B("IMP_CTR_EN", 1),
    B("PRE_EMP_EN", 1),
    B("PRE_EMP_CTR", 4),
    B("SR_CTR_EN", 4),
    B("RON_N_CTR", 2),
    B("RON_P_CTR", 2),
    B("No use", 3),
    B("TRAIN_EN", 1),
    B("DIV_NEW_EN", 1),
    B("DLY_LOAD", 1),
    B("No use", 1),
    B("LVDS_REC_EN", 1),
    B("I_LVDS_REC", 4),
    B("PLL_Dy", 2),
    B("PLL_Mx", 5),
    B("No use", 1),
    B("ROW_NUM", 12),
    B("FRAME_NUM", 16),
    B("START_ADDR", 12),
    B("MOVIE_EN", 1),
    B("PGS_EN", 1),
    B("GS_EN", 1),
    B("HDR_EN", 1),
    B("TEST_EN", 1),
    B("EXP_TIME", 32),
    B("SEQ_CLK_CTR", 2),
    B("S_SIG_CTR", 1),
    B("No use", 2),
    B("GATE_CLKH_EN", 1),
    B("CLKL_PHASE", 4),
    B("CTR_OUT_CH", 2),
    B("CLKH_OUT_CH", 2),
    B("No use", 42),
});

inline constexpr auto kJR825Words = std::to_array<UnpackedField>({
    W("Mode_ID", 0x1010, 0x5A00),
    W("VTXH", 0x2210),
    W("VDDPIX", 0x2210),
    W("VRS", 0x2210),
    W("VRF", 0x2210),
    W("VDRH VRH", 0x2210),
    W("VDRL", 0x2210),
    W("VREF", 0x2210),
    W("LDC/VTD", 0x2210),
    W("HDR_GAIN", 0x5010),
    W("T_GAIN", 0x7010, 32768),
    W("FFC_CTR", 0x1010),
    W("T_OFFS", 0x8010),
    W("B_OFFS", 0x8010),
    W("Gain0", 0x6010),
    W("Sensor S/N", 0x5010),
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
    W("T_LIN", 0x5010),
    W("B_LIN", 0x5010),
    W("_X42", 0x5010),
    W("_X43", 0x5010),
    W("_X44", 0x5010),
    W("_X45", 0x5010),
    W("_X46", 0x5010),
    W("_X47", 0x5010),
});

inline constexpr auto kJR825V2Table = Join(kJR825Bits, kSectionEnd, kJR825Words, kSectionEnd);

// V3.0: records 118-121 become CT Phase shift, record 123 becomes four words.
inline constexpr UnpackedField kJR825V3Old118[] = {W("_X42", 0x5010), W("_X43", 0x5010), W("_X44", 0x5010),
                                                   W("_X45", 0x5010)};
inline constexpr UnpackedField kJR825V3New118[] = {W("CT Phase shift", 0x5010)};
inline constexpr UnpackedField kJR825V3Old123[] = {W("_X47", 0x5010)};
inline constexpr UnpackedField kJR825V3New123[] = {W("_X48", 0x5010), W("_X4A", 0x5010), W("Dead Col #1", 0x5010),
                                                   W("Dead Col #2", 0x5010)};
inline constexpr TableEdit kJR825V3Edits[] = {Replace(118, kJR825V3Old118, kJR825V3New118),
                                              Replace(123, kJR825V3Old123, kJR825V3New123)};
inline constexpr auto kJR825V3Table =
    ApplyEdits<EditedSize(kJR825V2Table.size(), kJR825V3Edits)>(kJR825V2Table, kJR825V3Edits);

// Display grid (24 x 4) of V2.0 and V2.1; DIR stands in two cells.
inline constexpr GridText<24, 4> kJR825GridText{{
    {{"I_TX2", "LP_ADC_EN", "_TM0", "VTXH"}},
    {{"I_ROWLOGIC", "FA_EN", "_TM1", "VDDPIX"}},
    {{"I_COMPINV", "DIG_RD_PL_EN", "_TM2", "VRS"}},
    {{"I_ADC", "DLY_SAM_EN", "_TM3", "VRF"}},
    {{"I_AMP", "LC_LVDS_EN", "_TM4", "VDRH VRH"}},
    {{"I_COL_PC", "ANA_HG_EN", "_TM5", "VDRL"}},
    {{"I_LOAD", "DIG_HG_EN", "_TM6", "VREF"}},
    {{"I_BLS_BUFF", "DIR", "_TM7", "LDC/VTD"}},
    {{"V_BSUN_HG", "S_SIG_CTR", "_TM8", "(empty)"}},
    {{"ADC_CTRL", "GATE_CLKH_EN", "_TM9", "Gain0"}},
    {{"RAMP_INI_REF", "CLKL_PHASE", "_TM10", "HDR_GAIN"}},
    {{"RAMP_INI_SIG", "CTR_OUT_CH", "_TM11", "T_GAIN"}},
    {{"I_LVDS_DRV", "CLKH_OUT_CH", "_TM12", "T_OFFS"}},
    {{"I_INT_DRV", "No use (record 77)", "_TM13", "T_LIN"}},
    {{"ADC_GAIN", "No use (record 29)", "_TM14", "FFC_CTR"}},
    {{"I_RAMP_OTA", "No use (record 40)", "_TM15", "_X42"}},
    {{"V_BSUN_LG", "LVDS_REC_EN", "PGA_GAIN_LG", "_X43"}},
    {{"V_VTREF", "I_LVDS_REC", "PGA_GAIN_HG", "_X44"}},
    {{"V_VTSIG", "LVDS_EN", "CNT_INIT_LG", "_X45"}},
    {{"V_VREF", "(empty)", "CNT_INIT_HG", "_X46"}},
    {{"ANA_LG_EN", "I_TEST_BUFF", "DIR", "_X47"}},
    {{"PGA_CALI_EN", "TDIG1", "RST_CTR_EN", "(empty)"}},
    {{"ADC_CALI_EN", "TDIG2", "HDR_CTR_EN", "TRAIN_EN"}},
    {{"DIG_LG_EN", "TANA", "BW_LIM", "Mode_ID"}},
}};

// V3.0 differs in these cells.
inline constexpr GridCell kJR825V3GridCells[] = {
    {5, 2, "(empty)"},      {6, 2, "PGA_CALI_EN"},  {7, 2, "ADC_CALI_EN"}, {9, 4, "ADC_GAIN"},
    {13, 1, "(empty)"},     {15, 1, "(empty)"},     {16, 2, "I_LVDS_DRV"}, {16, 4, "CT Phase shift"},
    {17, 4, "_X46"},        {18, 4, "_X48"},        {19, 4, "_X4A"},       {20, 2, "LC_LVDS_EN"},
    {20, 4, "Dead Col #1"}, {21, 4, "Dead Col #2"}, {22, 1, "ANA_HG_EN"},  {23, 1, "DIG_HG_EN"}};

inline constexpr auto kJR825V2Grid = ResolveGrid(kJR825GridText, kJR825V2Table, ClosingRecord(kJR825V2Table, 0));
inline constexpr auto kJR825V3Grid =
    ResolveGrid(WithCells(kJR825GridText, kJR825V3GridCells), kJR825V3Table, ClosingRecord(kJR825V3Table, 0));

}  // namespace cds_tables
