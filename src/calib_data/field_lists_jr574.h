#pragma once

// Field tables and display grids of the JR574 D0 (V2.0, V2.1, V3.0-V3.9) and
// JR574 D88 (V2.0, V2.1) definitions (128-byte forward layout).

#include "field_table_builder.h"

namespace cds_tables {

// ---- JR574 D0 ----------------------------------------------------------------

// V2.0; V2.1 has the same names and flags.
inline constexpr auto kJR574D0Bits = std::to_array<UnpackedField>({
    B("VPC_EN", 1),
    B("REF_FL_EN", 1),
    B("INTERNAL_REF_EN", 1),
    B("I_COL_CMDN", 4),
    B("V_VPC", 6),
    B("V_VREF", 6),
    B("V_VTSIG", 6),
    B("V_VREF_FL", 6),
    B("CNT_TOP", 16, 3, 62271),
    B("TOP_DIG_EN", 1),
    B("TOP_ANA_EN", 1),
    B("ADC_CALI_EN", 1),
    B("10bit_ADC_EN", 1),
    B("PGA_CALI", 1),
    B("TANA", 4),
    B("FOT_EN", 1),
    B("TOP_LVDS_EN", 4),
    B("LC_LVDS_EN", 1),
    B("ADC_BIT_CTR", 2),
    B("LP_ADC_ EN", 1),
    B("DIG_READ_PL_EN", 1),
    B("DELAY_SAMPLE_EN", 1),
    B("MUX_4TO1_EN", 1),
    B("MUX_2TO1_EN", 1),
    B("BW_LIM", 2),
    B("PGA_GAIN_TOP", 6, 4, 7),
    B("EB_EN", 1),
    B("LDC_EN1", 1),
    B("LDC_EN2", 1),
    B("READ_A_B_EN", 1),
    B("No Use", 2),
    B("RAMP_SLOPE_CTR", 2),
    B("TDIG1", 4),
    B("TDIG2", 4),
    B("PGA_GAIN_BOT", 6, 4, 7),
    B("ARRAY_HG_EN", 1),
    B("ARRAY_GRSTH_EN", 1),
    B("ARRAY_DIR", 1),
    B("GS_EN", 1),
    B("BOT_DIG_EN", 1),
    B("BOT_ANA_EN", 1),
    B("No Use", 2),
    B("CNT_BOT", 16, 3, 62271),
    B("BOT_LVDS_EN", 4),
    B("SER_N_BOT", 1),
    B("ADC_GAIN", 6),
    B("I_BIAS_RAMP_OTA", 4),
    B("V_VRAMP_REF", 7),
    B("V_VRAMP_SIG", 7),
    B("V_VRAMP_REF_FL", 7),
    B("V_CLIP_RST_LG", 6),
    B("V_CLIP_RST_HG", 6),
    B("V_CLIP_SIG_LG", 6),
    B("V_CLIP_SIG_HG", 7),
    B("I_CLIP_CMDN", 4),
    B("I_ROW_LOGIC", 4),
    B("I_COMPINV", 4),
    B("I_ADC", 4),
    B("I_AMP", 4),
    B("I_COLPC", 4),
    B("I_COL_LOAD", 4),
    B("SER_N_TOP", 1),
    B("No Use", 1),
    B("I_LVDS", 4),
    B("TRAIN_PATTERN", 12),
    B("DYN_LDC_EN", 1),
    B("LC_LVDS_EN_BOT_TO_A", 1),
    B("SER_STANDBY_EN", 1),
    B("ADC_CLK_STANDBY_EN", 1),
    B("DDR_CLK_EN", 1),
    B("LINE_TRAIN_EN", 1),
    B("TRAINING_EN", 1),
    B("TEST_EN", 1),
    B("SAM_SIG_CLR_EN", 1),
    B("M_SAM_EN", 1),
    B("LVDS_REC", 4),
    B("GATE_CLKH_EN", 1),
    B("DIV_RAMP_RD_EN", 1),
    B("DELAY_LOAD_EN", 1),
    B("CLK_MAIN_ALIA_EN", 1),
    B("CLKL_CTR", 4),
    B("ADC_VTZERO_EN", 1),
    B("PGA_VTZERO_EN", 1),
    B("BOT_ANA_TIMING_EN", 1),
    B("TOP_ANA_TIMING_EN", 1),
});

inline constexpr auto kJR574D0Words = std::to_array<UnpackedField>({
    W("Mode_ID", 0x1010, 0x5A00),
    W("VPIX_LDC", 0x2210),
    W("VDDPIX", 0x2210),
    W("VDRL", 0x2210),
    W("V(D)RH", 0x2210),
    W("VTXH", 0x2210),
    W("VRS", 0x2210),
    W("VRF", 0x2210),
    W("VREF", 0x2210),
    W("HDR_GAIN", 0x5010),
    W("T_GAIN", 0x7010, 32768),
    W("B_GAIN", 0x7010, 32768),
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

inline constexpr auto kJR574D0V2Table = Join(kJR574D0Bits, kSectionEnd, kJR574D0Words, kSectionEnd);

// V3.0 to V3.9: records 120-123 become CT Phase shift, record 125 becomes
// four words; the word count stays 40.
inline constexpr UnpackedField kJR574V3Old120[] = {W("_X42", 0x5010), W("_X43", 0x5010), W("_X44", 0x5010),
                                                   W("_X45", 0x5010)};
inline constexpr UnpackedField kJR574V3New120[] = {W("CT Phase shift", 0x5010)};
inline constexpr UnpackedField kJR574V3Old125[] = {W("_X47", 0x5010)};
inline constexpr UnpackedField kJR574V3New125[] = {W("_X48", 0x5010), W("_X4A", 0x5010), W("Dead Col #1", 0x5010),
                                                   W("Dead Col #2", 0x5010)};
inline constexpr TableEdit kJR574D0V3Edits[] = {Replace(120, kJR574V3Old120, kJR574V3New120),
                                                Replace(125, kJR574V3Old125, kJR574V3New125)};
inline constexpr auto kJR574D0V3Table =
    ApplyEdits<EditedSize(kJR574D0V2Table.size(), kJR574D0V3Edits)>(kJR574D0V2Table, kJR574D0V3Edits);

// Display grid (24 x 4) of V2.0 and V2.1.
inline constexpr GridText<24, 4> kJR574D0GridText{{
    {{"VPC_EN", "I_COL_CMDN", "_TM0", "VPIX_LDC"}},
    {{"REF_FL_EN", "I_ROW_LOGIC", "_TM1", "VDDPIX"}},
    {{"INTERNAL_REF_EN", "I_COMPINV", "_TM2", "VDRL"}},
    {{"V_VPC", "I_ADC", "_TM3", "V(D)RH"}},
    {{"V_VREF", "I_AMP", "_TM4", "VTXH"}},
    {{"V_VTSIG", "I_COLPC", "_TM5", "VRS"}},
    {{"V_VREF_FL", "I_COL_LOAD", "_TM6", "VRF"}},
    {{"V_CLIP_RST_LG", "EB_EN", "_TM7", "VREF"}},
    {{"V_CLIP_RST_HG", "ARRAY_DIR", "_TM8", "(empty)"}},
    {{"V_CLIP_SIG_LG", "SAM_SIG_CLR_EN", "_TM9", "(empty)"}},
    {{"V_CLIP_SIG_HG", "DIG_READ_PL_EN", "_TM10", "HDR_GAIN"}},
    {{"I_CLIP_CMDN", "DELAY_SAMPLE_EN", "_TM11", "T_GAIN"}},
    {{"I_BIAS_RAMP_OTA", "DELAY_LOAD_EN", "_TM12", "B_GAIN"}},
    {{"V_VRAMP_REF", "CLK_MAIN_ALIA_EN", "_TM13", "T_OFFS"}},
    {{"V_VRAMP_SIG", "CLKL_CTR", "_TM14", "B_OFFS"}},
    {{"V_VRAMP_REF_FL", "M_SAM_EN", "_TM15", "T_LIN"}},
    {{"DIV_RAMP_RD_EN", "FOT_EN", "BOT_ANA_TIMING_EN", "B_LIN"}},
    {{"BW_LIM", "GS_EN", "TOP_ANA_TIMING_EN", "Gain0"}},
    {{"ADC_BIT_CTR", "ARRAY_HG_EN", "SER_STANDBY_EN", "PGA_GAIN_TOP"}},
    {{"RAMP_SLOPE_CTR", "ARRAY_GRSTH_EN", "ADC_CLK_STANDBY_EN", "PGA_GAIN_BOT"}},
    {{"DYN_LDC_EN", "I_LVDS", "TOP_DIG_EN", "ADC_GAIN"}},
    {{"LDC_EN1", "LC_LVDS_EN_BOT_TO_A", "TOP_ANA_EN", "CNT_TOP"}},
    {{"SER_N_TOP", "LVDS_REC", "BOT_DIG_EN", "CNT_BOT"}},
    {{"SER_N_BOT", "Sensor S/N", "BOT_ANA_EN", "Mode_ID"}},
}};

// V3.0 to V3.9 differ in row 10; V3.5 to V3.9 further in rows 1, 8 and 9.
inline constexpr GridCell kJR574D0V30GridCells[] = {{10, 1, "BOT_LVDS_EN"}, {10, 4, "CT Phase shift"}};
inline constexpr GridCell kJR574D0V35GridCells[] = {{1, 1, "DDR_CLK_EN"}, {8, 1, "TOP_LVDS_EN"}, {9, 1, "LC_LVDS_EN"}};

inline constexpr auto kJR574D0V2Grid =
    ResolveGrid(kJR574D0GridText, kJR574D0V2Table, ClosingRecord(kJR574D0V2Table, 0));
inline constexpr auto kJR574D0V30GridText = WithCells(kJR574D0GridText, kJR574D0V30GridCells);
inline constexpr auto kJR574D0V30Grid =
    ResolveGrid(kJR574D0V30GridText, kJR574D0V3Table, ClosingRecord(kJR574D0V3Table, 0));
inline constexpr auto kJR574D0V35Grid = ResolveGrid(WithCells(kJR574D0V30GridText, kJR574D0V35GridCells),
                                                    kJR574D0V3Table, ClosingRecord(kJR574D0V3Table, 0));

// ---- JR574 D88 ---------------------------------------------------------------

// V2.0 and V2.1 have the same names and flags. LVDSDRIVEEN ends in a blank.
inline constexpr auto kJR574D88Bits = std::to_array<UnpackedField>({
    B("I_COLPC", 4),        B("I_COL_LOAD", 4),    B("I_INT_DRV", 4),   B("I_COMP_INV", 4),  B("I_COMP", 4),
    B("I_PGA", 4),          B("V_VTSIG", 6),       B("V_VTREF", 6),     B("V_VREF", 6),      B("TEST_EN", 1),
    B("PGA_GAIN_B", 3, 4),  B("PGA_GAIN_T", 3, 4), B("PGA_CALI_EN", 1), B("ADC_CALI_EN", 1), B("FLIP_IN", 1),
    B("LVDSDRIVEEN ", 1),   B("Force HG", 1),      B("LC_LVDS_EN", 1),  B("DLY_SAM_EN", 1),  B("DLY_LOAD_EN", 1),
    B("ADCLK_GATE_EN", 1),  B("CLK_OUT_EN", 1),    B("GB_HDR_EN", 1),   B("GB_RST_EN", 1),   B("V_DIR", 1),
    B("PLL_CPC", 1),        B("PLL_MUL", 4),       B("PLL_DIV", 2),     B("LVDS_REC_EN", 1), B("I_LVDS_REC", 4),
    B("Train_Data", 12, 1), B("TDIG", 4),          B("CNT_INIT", 14),   B("V_VREF_RAMP", 7), B("V_VSIG_RAMP", 7),
    B("TANA", 4),           B("V_BLSUN", 6),       B("I_ROWLOGIC", 4),  B("I_RAMP_OTA", 4),  B("I_LVDS_DRV", 4),
    B("RAMP_N", 3),         B("RAMP_P", 3),        B("No use", 110),
});

inline constexpr auto kJR574D88Words = std::to_array<UnpackedField>({
    W("Mode_ID", 0x1010, 0x5A00),
    W("VTXH", 0x2210),
    W("VDDPIX", 0x2210),
    W("VRS", 0x2210),
    W("VRF", 0x2210),
    W("DAC4", 0x2210),
    W("VDRL", 0x2210),
    W("VREF", 0x2210),
    W("DAC7", 0x2210),
    W("HDR_GAIN", 0x5010),
    W("T_GAIN", 0x7010, 32768),
    W("B_GAIN", 0x7010, 32768),
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
    W("CT Phase shift", 0x5010),
    W("_X46", 0x5010),
    W("_X48", 0x5010),
    W("Y0", 0x5010),
    W("Dead Col #1", 0x5010),
    W("Dead Col #2", 0x5010),
});

inline constexpr auto kJR574D88Table = Join(kJR574D88Bits, kSectionEnd, kJR574D88Words, kSectionEnd);

// Display grid (24 x 4); its last cell is RAMP_P, Mode_ID stands in row 24,
// column 3.
inline constexpr GridText<24, 4> kJR574D88GridText{{
    {{"I_COLPC", "FLIP_IN", "_TM0", "VTXH"}},
    {{"I_COL_LOAD", "V_DIR", "_TM1", "VDDPIX"}},
    {{"I_INT_DRV", "DLY_SAM_EN", "_TM2", "VRS"}},
    {{"I_COMP_INV", "ADCLK_GATE_EN", "_TM3", "VRF"}},
    {{"I_COMP", "GB_HDR_EN", "_TM4", "VDRL"}},
    {{"I_PGA", "GB_RST_EN", "_TM5", "VREF"}},
    {{"(empty)", "PGA_CALI_EN", "_TM6", "DAC7"}},
    {{"I_ROWLOGIC", "ADC_CALI_EN", "_TM7", "(empty)"}},
    {{"I_RAMP_OTA", "DLY_LOAD_EN", "_TM8", "HDR_GAIN"}},
    {{"V_BLSUN", "(empty)", "_TM9", "T_GAIN"}},
    {{"V_VREF_RAMP", "(empty)", "_TM10", "B_GAIN"}},
    {{"V_VSIG_RAMP", "(empty)", "_TM11", "T_OFFS"}},
    {{"V_VTSIG", "(empty)", "_TM12", "B_OFFS"}},
    {{"V_VTREF", "(empty)", "_TM13", "T_LIN"}},
    {{"V_VREF", "(empty)", "_TM14", "B_LIN"}},
    {{"(empty)", "(empty)", "_TM15", "Y0"}},
    {{"TEST_EN", "(empty)", "(empty)", "(empty)"}},
    {{"TDIG", "(empty)", "Force HG", "Gain0"}},
    {{"TANA", "CLK_OUT_EN", "(empty)", "(empty)"}},
    {{"(empty)", "LVDS_REC_EN", "CT Phase shift", "PGA_GAIN_T"}},
    {{"Train_Data", "I_LVDS_REC", "Dead Col #1", "PGA_GAIN_B"}},
    {{"PLL_CPC", "LVDSDRIVEEN", "Dead Col #2", "CNT_INIT"}},
    {{"PLL_MUL", "LC_LVDS_EN", "Sensor S/N", "RAMP_N"}},
    {{"PLL_DIV", "I_LVDS_DRV", "Mode_ID", "RAMP_P"}},
}};

inline constexpr auto kJR574D88Grid = ResolveGrid(kJR574D88GridText, kJR574D88Table, ClosingRecord(kJR574D88Table, 0));

}  // namespace cds_tables
