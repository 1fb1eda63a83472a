#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// One kind of camera content the updaters work on.
struct FwSelItem {
    std::string_view name;        // the type word of the command line (at most 19 characters)
    std::int32_t id = 0;          // firmware type id shared by all updaters; 0 = no such type
    bool checkModelName = false;  // camera-API prog checks the file name against the camera model
    bool needsFile = false;       // the type takes a file word, for operations that take one
};

// The firmware type ids, the common currency of every updater. FPGA3 has a
// file in the camera but no type word.
enum FwTypeId : std::int32_t {
    FW_TYPE_CPU1 = 1,
    FW_TYPE_CPU2 = 2,
    FW_TYPE_CPU3 = 3,
    FW_TYPE_CPU4 = 4,
    FW_TYPE_CPU5 = 5,
    FW_TYPE_MCU1 = 6,
    FW_TYPE_FPGA1 = 10,
    FW_TYPE_FPGA2 = 11,
    FW_TYPE_FPGA3 = 12,
    FW_TYPE_EEPROM1 = 15,
    FW_TYPE_EEPROM1_VER = 16,
    FW_TYPE_XMLMAN = 20,
    FW_TYPE_MMDESC = 30,
    FW_TYPE_FLAG_U3V = 50,
    FW_TYPE_FLAG_U2F = 51,
    FW_TYPE_REST_INFO = 53,
    FW_TYPE_SID1 = 100,
    FW_TYPE_SID2 = 101,
    FW_TYPE_FACTORYSETS = 200,
    FW_TYPE_USETD = 201,
    FW_TYPE_USET1 = 202,
    FW_TYPE_USET2 = 203,
    FW_TYPE_USET3 = 204,
    FW_TYPE_USETS = 205,
    FW_TYPE_SN = 301,
    FW_TYPE_DEVVER = 302,
    FW_TYPE_PTABLE = 303,
    FW_TYPE_SSN = 304,
    FW_TYPE_RESPOINTS = 305,
    FW_TYPE_PFFS = 1001,
    FW_TYPE_FFC = 1002,
};

// The firmware types, in lookup order (not id order: MCU1 follows CPU1).
// clang-format off
inline constexpr std::array<FwSelItem, 30> kFwSelItems{{
//   word           id                         check model  needs file
    {"CPU1",         FW_TYPE_CPU1,             true,  true},
    {"MCU1",         FW_TYPE_MCU1,             true,  true},
    {"CPU2",         FW_TYPE_CPU2,             true,  true},
    {"CPU3",         FW_TYPE_CPU3,             true,  true},
    {"CPU4",         FW_TYPE_CPU4,             true,  true},
    {"CPU5",         FW_TYPE_CPU5,             true,  true},
    {"FPGA1",        FW_TYPE_FPGA1,            true,  true},
    {"FPGA2",        FW_TYPE_FPGA2,            true,  true},
    {"EEPROM1",      FW_TYPE_EEPROM1,          true,  true},
    {"EEPROM1_VER",  FW_TYPE_EEPROM1_VER,      false, false},
    {"XMLMAN",       FW_TYPE_XMLMAN,           true,  true},
    {"MMDESC",       FW_TYPE_MMDESC,           false, false},
    {"FLAG_U3V",     FW_TYPE_FLAG_U3V,         false, false},
    {"FLAG_U2F",     FW_TYPE_FLAG_U2F,         false, false},
    {"REST_INFO",    FW_TYPE_REST_INFO,        false, false},
    {"SID1",         FW_TYPE_SID1,             false, false},
    {"SID2",         FW_TYPE_SID2,             false, false},
    {"FACTORYSETS",  FW_TYPE_FACTORYSETS,      true,  true},
    {"USETS",        FW_TYPE_USETS,            true,  true},
    {"USETD",        FW_TYPE_USETD,            false, false},
    {"USET1",        FW_TYPE_USET1,            false, false},
    {"USET2",        FW_TYPE_USET2,            false, false},
    {"USET3",        FW_TYPE_USET3,            false, false},
    {"SN",           FW_TYPE_SN,               true,  true},
    {"SSN",          FW_TYPE_SSN,              true,  true},
    {"DEVVER",       FW_TYPE_DEVVER,           false, true},
    {"PTABLE",       FW_TYPE_PTABLE,           false, true},
    {"RESPOINTS",    FW_TYPE_RESPOINTS,        false, true},
    {"PFFS",         FW_TYPE_PFFS,             false, true},
    {"FFC",          FW_TYPE_FFC,              false, true},
}};
// clang-format on

// First row whose name equals the word exactly; an all-zero row (id 0) when none does.
FwSelItem GetFwSelItemByName(std::string_view name);
// First row with the id; an all-zero row when none has it.
FwSelItem GetFwSelItemById(std::int32_t id);
// Name of the first row with the id; empty when none has it.
std::string GetFwTypeName(std::int32_t id);
