#pragma once

// Field tables, bit-descriptor tables and display grids of the JV285
// definitions (V1.1, V2.0, V2.1; 512-byte layout with checksum). The names
// _TM0 to _TM9 and _xM0 to _xM9 end in one blank, as do PGA_STP and ADC_STP
// in V2.0 and V2.1; unnamed words are four blanks (one in V2.x's record 403).

#include "field_table_builder.h"

namespace cds_tables {

// V1.1.
inline constexpr auto kJV285Bits = std::to_array<UnpackedField>({
    B("No use", 32), B("TX2_SPLIT_EN1", 1), B("No use", 7), B("CLP_TOP_EN1", 1), B("CLP_BOT_EN1", 1),
    B("No use", 6), B("TANA_TOP", 4), B("No use", 4), B("TANA_BOT", 4), B("No use", 4),
    B("V_BPCH_1_EN", 1), B("V_BPCH_1", 6), B("No use", 1), B("V_CLIP_3_EN", 1), B("V_CLIP_3", 6),
    B("No use", 1), B("V_CLIP_2_EN", 1), B("V_CLIP_2", 6), B("No use", 1), B("V_BPCH_0_EN", 1),
    B("V_BPCH_0", 6), B("No use", 1), B("V_CLIP_1_EN", 1), B("V_CLIP_1", 6), B("No use", 1),
    B("V_CLIP_0_EN", 1), B("V_CLIP_0", 6), B("No use", 1), B("RAMP_VSIG_BOT_EN", 1), B("No use", 7),
    B("RAMP_VREF_BOT_EN", 1), B("No use", 7), B("RAMP_SLOPE", 2), B("No use", 6), B("RAMP_VSIG_EN", 1),
    B("RAMP_VSIG", 6), B("No use", 1), B("RAMP_VREF_EN", 1), B("RAMP_VREF", 6), B("No use", 1),
    B("RAMP_VREF_FL_EN", 1), B("RAMP_VREF_FL", 6), B("No use", 1), B("ADC_GAIN", 6), B("No use", 2),
    B("I_RAMP_OTA", 3), B("No use", 5), B("I_ROWLOGIC", 6), B("No use", 2), B("I_COLPC", 6),
    B("No use", 2), B("I_COLLOAD", 6), B("No use", 2), B("I_COMPINV", 6), B("No use", 2),
    B("I_ADC", 6), B("No use", 2), B("I_PGA", 6), B("No use", 2), B("CMDN", 6), B("No use", 2),
    B("I_LVDS", 6), B("No use", 2), B("VREF_FL_EN", 1), B("VREF_FL", 6), B("No use", 1),
    B("VREF_EN", 1), B("VREF", 6), B("No use", 33), B("PGA_P_EN_T", 1), B("PGA_N_EN_T", 1),
    B("CPC_P_EN_T", 1), B("CPC_N_EN_T", 1), B("COMP_P_EN_T", 1), B("COMP_N_EN_T", 1),
    B("COL_P_EN_T", 1), B("COL_N_EN_T", 1), B("TX2_SPLIT_EN2", 1), B("CLP_TOP_EN2", 1),
    B("CLP_BOT_EN2", 1), B("BIN_EN", 1), B("LG_EN", 1), B("HG_EN", 1), B("DIRECTION_EN", 1),
    B("PIX_EXTCTR_EN", 1), B("BW_LIM_EN", 1), B("COMP_I_EN", 1), B("ADC_CALI_EN", 1),
    B("VTZ_ADC_EN_TOP", 1), B("EXB_TRIM_EN", 1), B("ADC_MSB_EN", 1), B("ADC_LSB_EN", 1),
    B("ADC_LSBE_EN", 1), B("No use", 2), B("PLL_KVCOB", 3), B("PLL_KVCOA", 3), B("No use", 4),
    B("PLL_IVCO", 4), B("No use", 2), B("PLL_MULT", 4), B("PLL_DIV", 2), B("LVDS_REC_???", 10),
    B("LVDS_REC_I_OTA", 6), B("PLL_ICP", 8), B("No use", 3), B("LVDS_REC_EN", 1),
    B("PLL_VDDREF_ENB", 1), B("PLL_VBGREF_ENB", 1), B("REG_PLL_OSC_EN", 1), B("PLL_CPAMP_EN", 1),
    B("No use", 2), B("DOFF_TOP", 14), B("No use", 4), B("OBC_Y_START", 4), B("No use", 1),
    B("OBC_X_START", 7), B("No use", 4), B("OBC_LINELENGTH", 3), B("OBC_EN", 1), B("No use", 10),
    B("DOFF_BOT", 14), B("No use", 4), B("TP_WORD", 12, 1), B("No use", 2), B("SLVDS_VCM_GEN", 1),
    B("SLVDS_VCM", 3), B("SLVDS_RT", 2), B("No use", 3), B("DB_MUXCLK_DELAY", 1), B("DB_TRAIN_EN", 1),
    B("DB_SCODE_PROT", 1), B("CLK_OUT_EN", 1), B("RAMP12_TO_READ_EN", 1), B("No use", 16),
    B("PGA_P_EN_B", 1), B("PGA_N_EN_B", 1), B("CPC_P_EN_B", 1), B("CPC_N_EN_B", 1),
    B("COMP_P_EN_B", 1), B("COMP_N_EN_B", 1), B("COL_P_EN_B", 1), B("COL_N_EN_B", 1),
    B("VTZ_ADC_EN_BOT", 1), B("CTR_CHAN_EN_BOT", 1), B("ANA_TIMING_EN_TOP", 1),
    B("ANA_TIMING_EN_BOT", 1), B("READOUT_EN_TOP", 1), B("READOUT_EN_BOT", 1),
    B("DIG_TIMING_EN_TOP", 1), B("DIG_TIMING_EN_BOT", 1), B("No use", 40), B("OTP_READ_DATA", 8),
    B("OTP_READ_ADDR", 8), B("OTP_WRITE_DATA", 8), B("No use", 368), B("No use", 4),
    B("TX2_EVEN_FOT_T2", 10), B("TX2_EVEN_FOT_T1", 10), B("TX2_ODD_FOT_T2", 10),
    B("TX2_ODD_FOT_T1", 10), B("GC_FOT_T2", 10), B("GC_FOT_T1", 10), B("RST_FOT_T2", 10),
    B("RST_FOT_T1", 10), B("VDDC_FOT_T2", 10), B("VDDC_FOT_T1", 10), B("TX1_FOT_T2", 10),
    B("TX1_FOT_T1", 10), B("RLB_SI_T2", 10), B("RLB_SI_T1", 10), B("RLB_RE_T2", 10),
    B("RLB_RE_T1", 10), B("REG_TAC_T4", 10), B("REG_TAC_T3", 10), B("REG_TAC_T2", 10),
    B("REG_TAC_T1", 10), B("LOCK_CNT_T2", 10), B("LOCK_CNT_T1", 10), B("DOWN_CNT_T2", 10),
    B("DOWN_CNT_T1", 10), B("COMP_ORN_T4", 10), B("COMP_ORN_T3", 10), B("COMP_ORN_T2", 10),
    B("COMP_ORN_T1", 10), B("TRAMP_T4", 10), B("TRAMP_T3", 10), B("TRAMP_T2", 10), B("TRAMP_T1", 10),
    B("ADC_LOCK_T4", 10), B("ADC_LOCK_T3", 10), B("ADC_LOCK_T2", 10), B("ADC_LOCK_T1", 10),
    B("ADC_VTZ_T2", 10), B("ADC_VTZ_T1", 10), B("SAA_SI_BOT_T2", 10), B("SAA_SI_BOT_T1", 10),
    B("SAA_RE_BOT_T2", 10), B("SAA_RE_BOT_T1", 10), B("SAA_SI_TOP_T2", 10), B("SAA_SI_TOP_T1", 10),
    B("SAA_RE_TOP_T2", 10), B("SAA_RE_TOP_T1", 10), B("CLIP_HG_SIG_T4", 10), B("CLIP_HG_SIG_T3", 10),
    B("CLIP_HG_SIG_T2", 10), B("CLIP_HG_SIG_T1", 10), B("CLIP_LG_SIG_T4", 10), B("CLIP_LG_SIG_T3", 10),
    B("CLIP_LG_SIG_T2", 10), B("CLIP_LG_SIG_T1", 10), B("CLIP_HG_RST_T4", 10), B("CLIP_HG_RST_T3", 10),
    B("CLIP_HG_RST_T2", 10), B("CLIP_HG_RST_T1", 10), B("CLIP_LG_RST_T4", 10), B("CLIP_LG_RST_T3", 10),
    B("CLIP_LG_RST_T2", 10), B("CLIP_LG_RST_T1", 10), B("INITOFF_BOT_T2", 10), B("INITOFF_BOT_T1", 10),
    B("INITOFF_TOP_T2", 10), B("INITOFF_TOP_T1", 10), B("INIT_BOT_T2", 10), B("INIT_BOT_T1", 10),
    B("INIT_TOP_T2", 10), B("INIT_TOP_T1", 10), B("CPC_T8", 10), B("CPC_T7", 10), B("CPC_T6", 10),
    B("CPC_T5", 10), B("CPC_T4", 10), B("CPC_T3", 10), B("CPC_T2", 10), B("CPC_T1", 10),
    B("TX2_EVEN_T4", 10), B("TX2_EVEN_T3", 10), B("TX2_EVEN_T2", 10), B("TX2_EVEN_T1", 10),
    B("TX2_ODD_T4", 10), B("TX2_ODD_T3", 10), B("TX2_ODD_T2", 10), B("TX2_ODD_T1", 10),
    B("BPCH_CTR_T4", 10), B("BPCH_CTR_T3", 10), B("BPCH_CTR_T2", 10), B("BPCH_CTR_T1", 10),
    B("GC_T8", 10), B("GC_T7", 10), B("GC_T6", 10), B("GC_T5", 10), B("GC_T4", 10), B("GC_T3", 10),
    B("GC_T2", 10), B("GC_T1", 10), B("RST_T8", 10), B("RST_T7", 10), B("RST_T6", 10), B("RST_T5", 10),
    B("RST_T4", 10), B("RST_T3", 10), B("RST_T2", 10), B("RST_T1", 10), B("VDDC_T4", 10),
    B("VDDC_T3", 10), B("VDDC_T2", 10), B("VDDC_T1", 10), B("No use", 10),
    B("TX2_EVEN_FOT_INIT_STATUS", 1), B("TX2_ODD_FOT_INIT_STATUS", 1), B("GC_FOT_INIT_STATUS", 1),
    B("RST_FOT_INIT_STATUS", 1), B("VDDC_FOT_INIT_STATUS", 1), B("TX1_FOT_INIT_STATUS", 1),
    B("No use", 3), B("RLB_SI_INIT_STATUS", 1), B("RLB_RE_INIT_STATUS", 1), B("TAC_INIT_STATUS", 1),
    B("LOCK_CNT_INIT_STATUS", 1), B("DOWN_CNT_INIT_STATUS", 1), B("COMP_ORN_INIT_STATUS", 1),
    B("RAMP2_INIT_STATUS", 1), B("RAMP1_INIT_STATUS", 1), B("ADC_LOCK_INIT_STATUS", 1),
    B("ADC_VTZ_INIT_STATUS", 1), B("SAA_SI_BOT_INIT_STATUS", 1), B("SAA_RE_BOT_INIT_STATUS", 1),
    B("SAA_SI_TOP_INIT_STATUS", 1), B("SAA_RE_TOP_INIT_STATUS", 1), B("CLIP_HG_SIG_INIT_STATUS", 1),
    B("CLIP_LG_SIG_INIT_STATUS", 1), B("CLIP_HG_RST_INIT_STATUS", 1), B("CLIP_LG_RST_INIT_STATUS", 1),
    B("INITOFF_BOT_INIT_STATUS", 1), B("INITOFF_TOP_INIT_STATUS", 1), B("INIT_BOT_INIT_STATUS", 1),
    B("INIT_TOP_INIT_STATUS", 1), B("CPC_INIT_STATUS", 1), B("TX2_EVEN_INIT_STATUS", 1),
    B("TX2_ODD_INIT_STATUS", 1), B("BPCH_CTR _INIT_STATUS", 1), B("GC_READ_INIT_STATUS", 1),
    B("RST_READ_INIT_STATUS", 1), B("VDDC_READ_INIT_STATUS", 1), B("No use", 23), B("RAMP_HIGH_EN", 1),
    B("PRE_READ", 16), B("No use", 2), B("PGA_GAIN_BOT", 6), B("SIG_CTR", 1), B("No use", 1),
    B("PGA_GAIN_TOP", 6), B("DEL_EXP_MIN", 8), B("VAL_DEALY", 8), B("TIMING_FACTOR", 8),
    B("No use", 3), B("CLK_L_PHASE", 2), B("GRST_GEN_MODE", 3), B("No use", 6), B("WRITE_LOC", 10),
    B("No use", 6), B("SYNC_LOC", 10), B("TDIG1", 8), B("TDIG0", 8), B("LINE_TIME", 16),
    B("SI_CNT2", 8), B("SI_CNT1", 8), B("FOT_CNT2", 8), B("FOT_CNT1", 8), B("REG_OB_L", 16),
    B("REG_EB_S", 16), B("WIN_16_", 16), B("WIN_16_", 16), B("WIN_15_", 16), B("WIN_15_", 16),
    B("WIN_14_", 16), B("WIN_14_", 16), B("WIN_13_", 16), B("WIN_13_", 16), B("WIN_12_", 16),
    B("WIN_12_", 16), B("WIN_11_", 16), B("WIN_11_", 16), B("WIN_10_", 16), B("WIN_10_", 16),
    B("WIN_9_L", 16), B("WIN_9_S", 16), B("WIN_8_L", 16), B("WIN_8_S", 16), B("WIN_7_L", 16),
    B("WIN_7_S", 16), B("WIN_6_L", 16), B("WIN_6_S", 16), B("WIN_5_L", 16), B("WIN_5_S", 16),
    B("WIN_4_L", 16), B("WIN_4_S", 16), B("WIN_3_L", 16), B("WIN_3_S", 16), B("WIN_2_L", 16),
    B("WIN_2_S", 16), B("WIN_1_L", 16), B("WIN_1_S", 16), B("SUBSMP_PITCH", 8), B("No use", 1),
    B("No use", 1), B("No use", 3), B("CHAN_NUM", 3), B("NUM_BLKROW", 8), B("NR_MIN", 16),
    B("ADDR_DUMMY", 16), B("EXP1_C", 24), B("EXP1_F", 8), B("FRAME_NUM", 16), B("EXP0_C", 24),
    B("EXP0_F", 8), B("No use", 1), B("SYNCR_EN", 1), B("DBRSTF_EN", 1), B("FLIP_EN", 1),
    B("FOT_UPDATE_EN", 1), B("ADC_CLK_GATE_EN", 1), B("COLR_EN", 1), B("TEST_MODE", 1),
    B("BIN_HDR", 2), B("INT_EXP_EN", 1), B("TIMING_PIPELINE_EN", 1), B("RST_SI_0_EN", 1),
    B("DEC_STAY_EN", 1), B("STREAM_EN", 1), B("SEQ_EN", 1),
});

inline constexpr auto kJV285Words = std::to_array<UnpackedField>({
    W("Mode_ID", 0x1010, 0x5A00), W("4651 S/N", 0x5010), W("IMG_CTRL", 0x8010), W("IMG_CTR2", 0x9010),
    W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010),
    W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("Gain0", 0x5010), W("HDR_GAIN", 0x5010),
    W("P_GAIN", 0x5010), W("P_OFFS", 0x5010), W("VRS", 0x2210), W("VTX1H", 0x2210), W("VRSH", 0x2210),
    W("VGCL", 0x2210), W("VRSL", 0x2210), W("VTXL", 0x6210), W("VGRSH", 0x2210), W("VDDCH", 0x2210),
    W("VDDPIX", 0x2210), W("VGRSL", 0x6210), W("VREF", 0x2210), W("VGCH", 0x2210), W("VRF", 0x2210),
    W("VDDCL", 0x2210), W("+3A", 0x2210), W("VTX2H", 0x2210), W("_TM0 ", 0x5010), W("_TM1 ", 0x5010),
    W("_TM2 ", 0x5010), W("_TM3 ", 0x5010), W("_TM4 ", 0x5010), W("_TM5 ", 0x5010), W("_TM6 ", 0x5010),
    W("_TM7 ", 0x5010), W("_TM8 ", 0x5010), W("_TM9 ", 0x5010), W("_TM10", 0x5010), W("_TM11", 0x5010),
    W("_TM12", 0x5010), W("_TM13", 0x5010), W("_TM14", 0x5010), W("_TM15", 0x5010), W("_xM0 ", 0x7010),
    W("_xM1 ", 0x7110), W("_xM2 ", 0x7210), W("_xM3 ", 0x7310), W("_xM4 ", 0x7410), W("_xM5 ", 0x7510),
    W("_xM6 ", 0x7610), W("_xM7 ", 0x7710), W("_xM8 ", 0x7810), W("_xM9 ", 0x7910), W("_xM10", 0x7A10),
    W("_xM11", 0x7B10), W("_xM12", 0x7C10), W("_xM13", 0x7D10), W("_xM14", 0x7E10), W("_xM15", 0x7F10),
});

inline constexpr auto kJV285V11Table = Join(kJV285Bits, kSectionEnd, kJV285Words, kSectionEnd);

// V2.0 and V2.1 (same names and flags), counted in the V1.1 table.
inline constexpr UnpackedField kJV285V2Old392[] = {W("4651 S/N", 0x5010)};
inline constexpr UnpackedField kJV285V2New392[] = {W("4651 S/N", 0x5F10)};
inline constexpr UnpackedField kJV285V2Old395[] = {
    W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010),
    W("    ", 0x5010), W("    ", 0x5010), W("    ", 0x5010), W("Gain0", 0x5010), W("HDR_GAIN", 0x5010),
    W("P_GAIN", 0x5010), W("P_OFFS", 0x5010)};
inline constexpr UnpackedField kJV285V2New395[] = {
    W("    ", 0x5F10), W("    ", 0x5F10), W("MAX_GAIN", 0x3010), W("PGA_STP ", 0x2010), W("ADC_STP ", 0x2010),
    W("High/Low", 0x3010), W("PGA_GAIN_0", 0x5F10), W("ADC_GAIN_0", 0x5F10), W(" ", 0x5F10),
    W("HDR_GAIN", 0x5F10), W("P_GAIN", 0x5F10), W("P_OFFS", 0x5F10)};
inline constexpr UnpackedField kJV285V2Old417[] = {W("VREF", 0x2210)};
inline constexpr UnpackedField kJV285V2New417[] = {W("VREF DAC", 0x2210)};
inline constexpr UnpackedField kJV285V2Old423[] = {
    W("_TM0 ", 0x5010), W("_TM1 ", 0x5010), W("_TM2 ", 0x5010), W("_TM3 ", 0x5010),
    W("_TM4 ", 0x5010), W("_TM5 ", 0x5010), W("_TM6 ", 0x5010), W("_TM7 ", 0x5010),
    W("_TM8 ", 0x5010), W("_TM9 ", 0x5010), W("_TM10", 0x5010), W("_TM11", 0x5010),
    W("_TM12", 0x5010), W("_TM13", 0x5010), W("_TM14", 0x5010), W("_TM15", 0x5010)};
inline constexpr UnpackedField kJV285V2New423[] = {
    W("_TM0 ", 0x5F10), W("_TM1 ", 0x5F10), W("_TM2 ", 0x5F10), W("_TM3 ", 0x5F10),
    W("_TM4 ", 0x5F10), W("_TM5 ", 0x5F10), W("_TM6 ", 0x5F10), W("_TM7 ", 0x5F10),
    W("_TM8 ", 0x5F10), W("_TM9 ", 0x5F10), W("_TM10", 0x5F10), W("_TM11", 0x5F10),
    W("_TM12", 0x5F10), W("_TM13", 0x5F10), W("_TM14", 0x5F10), W("_TM15", 0x5F10)};
// The extra section: kept in the unpacked array, never stored in the page.
inline constexpr UnpackedField kJV285V2Extra[] = {
    W("RPTR", 0x5E10, 7), W("X", 0x5010, 6), W("Y", 0x5110, 5), W("NX", 0x5210, 4), W("NY", 0x5310, 3),
    kSectionEnd[0]};
inline constexpr TableEdit kJV285V2Edits[] = {
    Replace(392, kJV285V2Old392, kJV285V2New392), Replace(395, kJV285V2Old395, kJV285V2New395),
    Replace(417, kJV285V2Old417, kJV285V2New417), Replace(423, kJV285V2Old423, kJV285V2New423),
    InsertAfter(455, kJV285V2Extra)};
inline constexpr auto kJV285V2Table =
    ApplyEdits<EditedSize(kJV285V11Table.size(), kJV285V2Edits)>(kJV285V11Table, kJV285V2Edits);

// Bit descriptors: entries 0-15 name the bits of IMG_CTRL (flags 0x8001),
// entries 16-31 those of IMG_CTR2 (flags 0x9001); the value is the bit number.
// V2.0 and V2.1 share one set.
inline constexpr std::array<UnpackedField, 32> kJV285V2BitDescriptors{{
    {0x8001, 0, " 0 RC_OFF", "Row corr disable"},
    {0x8001, 1, " 1 RC_OFFS", "Row corr offs(test)"},
    {0x8001, 2, " 2 RC_TEST", "Row corr test"},
    {0x8001, 3, " 3 RC_HPR", "3 Row corr hot pixel remove"},
    {0x8001, 4, " 4 CC_OFF", "Col corr disable"},
    {0x8001, 5, " 5 CC_OFFS", "Row corr offs(test)"},
    {0x8001, 6, " 6 CC_TEST", "Row corr test"},
    {0x8001, 7, " 7 CC_SET", "Row corr avg set"},
    {0x8001, 8, " 8 CMS_EN", "CMS adder en (T+B)"},
    {0x8001, 9, " 9 HDR_EN", "HDR"},
    {0x8001, 10, "10 STD_EN", "STD"},
    {0x8001, 11, "11 GL", "GL"},
    {0x8001, 12, "12 GH", "GH"},
    {0x8001, 13, "13 CMS4_EN", "CMS4 adder en"},
    {0x8001, 14, "14 CMS4_SEL", "CMS4 sel 1/2"},
    {0x8001, 15, "15 LN_EXT", "Black col line ext"},
    {0x9001, 0, " 0 BIN.0", "IMG_CTR2.0"},
    {0x9001, 1, " 1 BIN.1", "IMG_CTR2.1"},
    {0x9001, 2, " 2 BIN.2", "IMG_CTR2.2"},
    {0x9001, 3, " 3 BIN.3", "IMG_CTR2.3"},
    {0x9001, 4, " 4 Row Rpr OFF", "IMG_CTR2.4"},
    {0x9001, 5, " 5", "IMG_CTR2.5"},
    {0x9001, 6, " 6", "IMG_CTR2.6"},
    {0x9001, 7, " 7 PWDN_OFF", "PWDN_OFF"},
    {0x9001, 8, " 8 BLS_EN", "IMG_CTR2.8"},
    {0x9001, 9, " 9 CLIP_EN", "IMG_CTR2.9"},
    {0x9001, 10, "10 SWAP_CHN", "Swap top/bot chn"},
    {0x9001, 11, "11 HGE", "High Gain enable"},
    {0x9001, 12, "12 Fix gain", "Fixed Gain"},
    {0x9001, 13, "13 Col Rpr OFF", "IMG_CTR2.13"},
    {0x9001, 14, "14", "IMG_CTR2.14"},
    {0x9001, 15, "15 TX2DMY", "DUMMY ROW TX2 ENABLE"},
}};

// V1.1 differs in these entries (nullptr: as V2.x).
inline constexpr DescriptorChange kJV285V11DescriptorChanges[] = {
    {0, " 0 RC_EN", "Row corr en"},
    {3, nullptr, "Row corr hot pixel remove"},
    {4, " 4 CC_EN", "Col corr en"},
    {16, "BIN.0", nullptr},
    {17, "BIN.1", nullptr},
    {18, "BIN.2", nullptr},
    {19, "BIN.3", nullptr},
    {20, " 4", nullptr},
    {23, " 7 PTC_ALT", "use t_PCBX"},
    {24, " 8 RST_B", nullptr},
    {25, " 9 RST_T", nullptr},
    {29, "13", nullptr},
    {31, "15", "IMG_CTR2.15"},
};

inline constexpr auto kJV285V11BitDescriptors = WithDescriptors(kJV285V2BitDescriptors, kJV285V11DescriptorChanges);

// Display grid (32 x 5) of V1.1. An empty cell shows the record that ends
// the word section.
inline constexpr GridText<32, 5> kJV285V11GridText{{
    {{"OBC_EN", "V_BPCH_1_EN", "V_BPCH_1", "_TM0", "VDDPIX"}},
    {{"OBC_Y_START", "V_CLIP_3_EN", "V_CLIP_3", "_TM1", "VGRSH"}},
    {{"OBC_X_START", "V_CLIP_2_EN", "V_CLIP_2", "_TM2", "VGRSL"}},
    {{"OBC_LINELENGTH", "V_BPCH_0_EN", "V_BPCH_0", "_TM3", "VGCH"}},
    {{"PIX_EXTCTR_EN", "V_CLIP_1_EN", "V_CLIP_1", "_TM4", "VGCL"}},
    {{"EXB_TRIM_EN", "V_CLIP_0_EN", "V_CLIP_0", "_TM5", "VRSH"}},
    {{"CLP_BOT_EN2", "CLP_TOP_EN2", "I_LVDS", "_TM6", "VRSL"}},
    {{"CLP_BOT_EN1", "CLP_TOP_EN1", "TDIG1", "_TM7", "VTX1H"}},
    {{"TANA_TOP", "TANA_BOT", "TDIG0", "_TM8", "VTX2H"}},
    {{"FLIP_EN", "BIN_EN", "BIN_HDR", "_TM9", "VTXL"}},
    {{"DIRECTION_EN", "HG_EN", "LG_EN", "_TM10", "VDDCH"}},
    {{"ADC_MSB_EN", "ADC_CALI_EN", "CLK_L_PHASE", "_TM11", "VDDCL"}},
    {{"ADC_LSB_EN", "ADC_CLK_GATE_EN", "CMDN", "_TM12", "VREF (record 417)"}},
    {{"ADC_LSBE_EN", "BW_LIM_EN", "GRST_GEN_MODE", "_TM13", "VRF"}},
    {{"SIG_CTR", "VREF_EN", "VREF (record 67)", "_TM14", "VRS"}},
    {{"RAMP12_TO_READ_EN", "VREF_FL_EN", "VREF_FL", "_TM15", "+3A"}},
    {{"RAMP_HIGH_EN", "RAMP_VREF_FL_EN", "RAMP_VREF_FL", "_xM0", "P_GAIN"}},
    {{"RAMP_VSIG_BOT_EN", "RAMP_VSIG_EN", "RAMP_VSIG", "_xM1", "P_OFFS"}},
    {{"RAMP_VREF_BOT_EN", "RAMP_VREF_EN", "RAMP_VREF", "_xM2", "HDR_GAIN"}},
    {{"TX2_SPLIT_EN2", "TX2_SPLIT_EN1", "RAMP_SLOPE", "_xM3", "(empty)"}},
    {{"PGA_P_EN_B", "PGA_P_EN_T", "I_PGA", "_xM4", "(empty)"}},
    {{"PGA_N_EN_B", "PGA_N_EN_T", "I_RAMP_OTA", "_xM5", "(empty)"}},
    {{"CPC_P_EN_B", "CPC_P_EN_T", "I_COLPC", "_xM6", "Gain0"}},
    {{"CPC_N_EN_B", "CPC_N_EN_T", "I_ROWLOGIC", "_xM7", "IMG_CTRL"}},
    {{"COMP_P_EN_B", "COMP_P_EN_T", "I_COMPINV", "_xM8", "IMG_CTR2"}},
    {{"COMP_N_EN_B", "COMP_N_EN_T", "I_ADC", "_xM9", "PGA_GAIN_TOP"}},
    {{"COL_P_EN_B", "COL_P_EN_T", "I_COLLOAD", "_xM10", "PGA_GAIN_BOT"}},
    {{"COL_N_EN_B", "COL_N_EN_T", "COMP_I_EN", "_xM11", "ADC_GAIN"}},
    {{"VTZ_ADC_EN_BOT", "VTZ_ADC_EN_TOP", "TEST_MODE", "_xM12", "DOFF_BOT"}},
    {{"ANA_TIMING_EN_BOT", "ANA_TIMING_EN_TOP", "DB_TRAIN_EN", "_xM13", "DOFF_TOP"}},
    {{"READOUT_EN_BOT", "READOUT_EN_TOP", "DB_SCODE_PROT", "_xM14", "4651 S/N"}},
    {{"DIG_TIMING_EN_BOT", "DIG_TIMING_EN_TOP", "STREAM_EN", "_xM15", "Mode_ID"}},
}};

// Display grid (35 x 5) of V2.0 and V2.1; column 3 begins with the extra
// section.
inline constexpr GridText<35, 5> kJV285V2GridText{{
    {{"OBC_EN", "V_BPCH_1_EN", "RPTR", "_TM0", "VDDPIX"}},
    {{"OBC_Y_START", "V_CLIP_3_EN", "X", "_TM1", "VGRSH"}},
    {{"OBC_X_START", "V_CLIP_2_EN", "Y", "_TM2", "VGRSL"}},
    {{"OBC_LINELENGTH", "V_BPCH_0_EN", "NX", "_TM3", "VGCH"}},
    {{"PIX_EXTCTR_EN", "V_CLIP_1_EN", "NY", "_TM4", "VGCL"}},
    {{"EXB_TRIM_EN", "V_CLIP_0_EN", "(empty)", "_TM5", "VRSH"}},
    {{"CLP_BOT_EN2", "CLP_TOP_EN2", "PLL_KVCOB", "_TM6", "VRSL"}},
    {{"CLP_BOT_EN1", "CLP_TOP_EN1", "PLL_KVCOA", "_TM7", "VTX1H"}},
    {{"TANA_TOP", "TANA_BOT", "LVDS_REC_???", "_TM8", "VTX2H"}},
    {{"FLIP_EN", "BIN_EN", "LVDS_REC_I_OTA", "_TM9", "VTXL"}},
    {{"DIRECTION_EN", "HG_EN", "(empty)", "_TM10", "VDDCH"}},
    {{"ADC_MSB_EN", "ADC_CALI_EN", "SLVDS_VCM_GEN", "_TM11", "VDDCL"}},
    {{"ADC_LSB_EN", "ADC_CLK_GATE_EN", "SLVDS_RT", "_TM12", "VREF DAC"}},
    {{"ADC_LSBE_EN", "BW_LIM_EN", "SLVDS_VCM", "_TM13", "VRF"}},
    {{"SIG_CTR", "VREF_EN", "I_LVDS", "_TM14", "VRS"}},
    {{"RAMP12_TO_READ_EN", "VREF_FL_EN", "TDIG1", "_TM15", "+3A"}},
    {{"RAMP_HIGH_EN", "RAMP_VREF_FL_EN", "TDIG0", "_xM0", "P_GAIN"}},
    {{"RAMP_VSIG_BOT_EN", "RAMP_VSIG_EN", "BIN_HDR", "_xM1", "P_OFFS"}},
    {{"RAMP_VREF_BOT_EN", "RAMP_VREF_EN", "LG_EN", "_xM2", "HDR_GAIN"}},
    {{"TX2_SPLIT_EN2", "TX2_SPLIT_EN1", "CLK_L_PHASE", "_xM3", "IMG_CTRL"}},
    {{"PGA_P_EN_B", "PGA_P_EN_T", "CMDN", "_xM4", "IMG_CTR2"}},
    {{"PGA_N_EN_B", "PGA_N_EN_T", "GRST_GEN_MODE", "_xM5", "(empty)"}},
    {{"CPC_P_EN_B", "CPC_P_EN_T", "VREF", "_xM6", "MAX_GAIN"}},
    {{"CPC_N_EN_B", "CPC_N_EN_T", "VREF_FL", "_xM7", "PGA_STP"}},
    {{"COMP_P_EN_B", "COMP_P_EN_T", "RAMP_VREF_FL", "_xM8", "ADC_STP"}},
    {{"COMP_N_EN_B", "COMP_N_EN_T", "RAMP_VSIG", "_xM9", "High/Low"}},
    {{"COL_P_EN_B", "COL_P_EN_T", "RAMP_VREF", "_xM10", "PGA_GAIN_0"}},
    {{"COL_N_EN_B", "COL_N_EN_T", "RAMP_SLOPE", "_xM11", "ADC_GAIN_0"}},
    {{"VTZ_ADC_EN_BOT", "VTZ_ADC_EN_TOP", "I_PGA", "_xM12", "PGA_GAIN_TOP"}},
    {{"ANA_TIMING_EN_BOT", "ANA_TIMING_EN_TOP", "I_RAMP_OTA", "_xM13", "PGA_GAIN_BOT"}},
    {{"READOUT_EN_BOT", "READOUT_EN_TOP", "I_COLPC", "_xM14", "ADC_GAIN"}},
    {{"DIG_TIMING_EN_BOT", "DIG_TIMING_EN_TOP", "I_ROWLOGIC", "_xM15", "DOFF_BOT"}},
    {{"DB_TRAIN_EN", "COMP_I_EN", "I_COMPINV", "(empty)", "DOFF_TOP"}},
    {{"DB_SCODE_PROT", "TEST_MODE", "I_ADC", "(empty)", "4651 S/N"}},
    {{"STREAM_EN", "(empty)", "I_COLLOAD", "(empty)", "Mode_ID"}},
}};

inline constexpr auto kJV285V11Grid =
    ResolveGrid(kJV285V11GridText, kJV285V11Table, ClosingRecord(kJV285V11Table, 1));
inline constexpr auto kJV285V2Grid = ResolveGrid(kJV285V2GridText, kJV285V2Table, ClosingRecord(kJV285V2Table, 1));

}  // namespace cds_tables
