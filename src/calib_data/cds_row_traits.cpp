#include "cds_row_traits.h"

#include <string>

#include "cds_definition.h"
#include "updater_error.h"

namespace {

using L = CdsTextFamily;
using G = CdsGainTableKind;
using V = CdsValueFamily;

// clang-format off
constexpr CdsRowTraits kTraits[kCdsDefinitionCount] = {
//   prefix                                  listing type prefix                     parser unknown-type text                                                   listing          parser       names  table  gain kind     values
    {"RegTestCam01_V1_0_Def::",              "RegTestCam01_V1_0_Def::",              nullptr,                                                                  L::TestCam01V10, L::None,     false, true,  G::Codes52,   V::JV966},     //  0
    {"RegTestCam01_V2_0_Def::",              "RegTestCam01_V2_0_Def::",              nullptr,                                                                  L::None,         L::None,     false, false, G::Codes52,   V::JV966},     //  1
    {"RegTestCam01_V2_0_Def::",              "RegTestCam01_V2_0_Def::",              nullptr,                                                                  L::None,         L::None,     false, false, G::Codes52,   V::JV966},     //  2
    {"RegTestCam01_V3_0_Def::",              "RegTestCam01_V3_0_Def::",              nullptr,                                                                  L::None,         L::None,     false, false, G::Codes52,   V::JV966},     //  3
    {"RegTestCam02_V2_0_Def::",              "RegTestCam02_V2_0_Def::",              "RegTestCam02_V2_0_Def::setVal - ERROR, unknown data type",               L::TestCam,      L::TestCam,  false, true,  G::Codes52,   V::JV966},     //  4
    {"RegTestCam02_V2_1_Def::",              "RegTestCam02_V2_1_Def::",              "RegTestCam02_V2_1_Def::setVal - ERROR, unknown data type",               L::TestCam,      L::TestCam,  false, true,  G::Codes52,   V::JV966},     //  5
    {"RegTestCam03_V2_0_Def::",              "RegTestCam03_V2_0_Def::",              "RegTestCam03_V2_0_Def::Reg0505::setVal - ERROR, unknown data type",      L::TestCam,      L::TestCam,  false, true,  G::Codes52,   V::JV966},     //  6
    {"RegTestCam03_V2_1_Def::",              "RegTestCam03_V2_1_Def::",              "RegTestCam03_V2_1_Def::setVal - ERROR, unknown data type",               L::TestCam,      L::TestCam,  false, true,  G::Codes52,   V::JV966},     //  7
    {"RegJV966JK_TD_G_V2_1_Def::",           "RegJV966JK_TD_G_V2_1_Def::",           "RegJV966JK_TD_G_V2_1_Def::setVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     //  8
    {"RegJV966JK_TD_G_V2_2_Def::",           "RegJV966JK_TD_G_V2_2_Def::",           "RegJV966JK_TD_G_V2_2_Def::SetVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     //  9
    {"RegJV966JK_TD_G_V2_3_Def::",           "RegJV966JK_TD_G_V2_3_Def::",           "RegJV966JK_TD_G_V2_3_Def::SetVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     // 10
    {"RegJV966JK_TD_B_V2_1_Def::",           "RegJV966JK_TD_B_V2_1_Def::",           "RegJV966JK_TD_B_V2_1_Def::setVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     // 11
    {"RegJV966JK_TD_B_V2_2_Def::",           "RegJV966JK_TD_B_V2_2_Def::",           "RegJV966JK_TD_B_V2_2_Def::SetVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     // 12
    {"RegJV966JK_TD_B_V2_3_Def::",           "RegJV966JK_TD_B_V2_3_Def::",           "RegJV966JK_TD_B_V2_3_Def::setVal - ERROR, unknown data type",            L::JV966,        L::JV966,    false, true,  G::Codes52,   V::JV966},     // 13
    {"RegJR574_V2_0_Def::",                  "RegJR574_V2_0_Def::",                  "RegJR574_V2_0_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 14
    {"RegJR574_V2_1_Def::",                  "RegJR574_V2_1_Def::",                  "RegJR574_V2_1_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 15
    {"RegJR574_V3_0_Def::",                  "RegJR574_V3_0_Def::",                  "RegJR574_V3_0_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 16
    {"RegJR574_V3_1_Def::",                  "RegJR574_V3_1_Def::",                  "RegJR574_V3_1_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 17
    {"RegJR574_V3_2_Def::",                  "RegJR574_V3_2_Def::",                  "RegJR574_V3_2_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 18
    {"RegJR574_V3_3_Def::",                  "RegJR574_V3_3_Def::",                  "RegJR574_V3_3_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 19
    {"RegJR574_V3_4_Def::",                  "RegJR574_V3_4_Def::",                  "RegJR574_V3_4_Def::SetVal - ERROR, unknown data type",                   L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 20
    {"",                                     "Reg4545G::",                           "Reg4545G::setVal - ERROR, unknown data type",                            L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 21
    {"",                                     "Reg4545G::",                           "Reg4545G::setVal - ERROR, unknown data type",                            L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 22
    {"",                                     "Reg4545G::",                           "Reg4545G::setVal - ERROR, unknown data type",                            L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 23
    {"",                                     "Reg4545G::",                           "Reg4545G::setVal - ERROR, unknown data type",                            L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 24
    {"",                                     "Reg4545G::",                           "Reg4545G::setVal - ERROR, unknown data type",                            L::JR574,        L::JR574,    false, true,  G::JR574,     V::JR574},     // 25
    {"CalibStructure_JR574_D88_BSI_V2_0::",  "CalibStructure_JR574_D88_BSI_V2_0::",  "CalibStructure_JR574_D88_BSI_V2_0::SetVal - ERROR, unknown data type",   L::JR574D88,     L::JR574D88, false, true,  G::JR574D88,  V::JR574D88},  // 26
    {"CalibStructure_JR574_D88_BSI_V2_0::",  "CalibStructure_JR574_D88_BSI_V2_0::",  "CalibStructure_JR574_D88_BSI_V2_0::SetVal - ERROR, unknown data type",   L::JR574D88,     L::JR574D88, false, true,  G::JR574D88,  V::JR574D88},  // 27
    {"RegJR825_V2_0_Def::",                  "RegJR825_V2_0_Def::",                  "RegJR825_V2_0_Def::SetVal - ERROR, unknown data type",                   L::JR825,        L::JR825,    false, true,  G::JR825,     V::JR825},     // 28
    {"RegJR825_V2_1_Def::",                  "RegJR825_V2_1_Def::",                  "RegJR825_V2_1_Def::SetVal - ERROR, unknown data type",                   L::JR825,        L::JR825,    false, true,  G::JR825,     V::JR825},     // 29
    {"RegJR825_V3_0_Def::",                  "RegJR825_V3_0_Def::",                  "RegJR825_V3_0_Def::SetVal - ERROR, unknown data type",                   L::JR825,        L::JR825,    true,  true,  G::JR825,     V::JR825},     // 30
    {"RegJV285VT_TD_V1_1_Def::",             "RegJV285VT_TD_V1_1_Def::",             nullptr,                                                                  L::JV285V11,     L::JV285V11, false, true,  G::Empty,     V::JV285V11},  // 31
    {"RegJV285VT_TD_V2_0_Def::",             "RegJV285VT_TD_V2_0_Def::",             nullptr,                                                                  L::JV285V2,      L::JV285V2,  false, true,  G::Empty,     V::JV285V20},  // 32
    {"RegJV285VT_TD_V2_1_Def::",             "RegJV285VT_TD_V2_1_Def::",             nullptr,                                                                  L::JV285V2,      L::JV285V2,  false, true,  G::Empty,     V::JV285V21},  // 33
    {"RegJV285VT_TD_V2_1_Def::",             "RegJV285VT_TD_V2_1_Def::",             nullptr,                                                                  L::JV285V2,      L::JV285V2,  false, true,  G::Empty,     V::JV285V21},  // 34
};
// clang-format on

}  // namespace

const CdsRowTraits& CdsRowTraitsOf(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= kCdsDefinitionCount) {
        throw UpdaterError("Calibration structure definition has no functions (row " + std::to_string(row) + ")");
    }
    return kTraits[row];
}
