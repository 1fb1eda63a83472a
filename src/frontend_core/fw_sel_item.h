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

// Firmware type ids the front end itself depends on.
inline constexpr std::int32_t FW_TYPE_CPU1 = 1;
inline constexpr std::int32_t FW_TYPE_MMDESC = 30;
inline constexpr std::int32_t FW_TYPE_FLAG_U3V = 50;
inline constexpr std::int32_t FW_TYPE_FLAG_U2F = 51;
inline constexpr std::int32_t FW_TYPE_REST_INFO = 53;

// The firmware types, in lookup order (not id order: MCU1 follows CPU1).
inline constexpr std::array<FwSelItem, 30> kFwSelItems{{
    {"CPU1", 1, true, true},           {"MCU1", 6, true, true},        {"CPU2", 2, true, true},
    {"CPU3", 3, true, true},           {"CPU4", 4, true, true},        {"CPU5", 5, true, true},
    {"FPGA1", 10, true, true},         {"FPGA2", 11, true, true},      {"EEPROM1", 15, true, true},
    {"EEPROM1_VER", 16, false, false}, {"XMLMAN", 20, true, true},     {"MMDESC", 30, false, false},
    {"FLAG_U3V", 50, false, false},    {"FLAG_U2F", 51, false, false}, {"REST_INFO", 53, false, false},
    {"SID1", 100, false, false},       {"SID2", 101, false, false},    {"FACTORYSETS", 200, true, true},
    {"USETS", 205, true, true},        {"USETD", 201, false, false},   {"USET1", 202, false, false},
    {"USET2", 203, false, false},      {"USET3", 204, false, false},   {"SN", 301, true, true},
    {"SSN", 304, true, true},          {"DEVVER", 302, false, true},   {"PTABLE", 303, false, true},
    {"RESPOINTS", 305, false, true},   {"PFFS", 1001, false, true},    {"FFC", 1002, false, true},
}};

// First row whose name equals the word exactly; an all-zero row (id 0) when none does.
FwSelItem GetFwSelItemByName(std::string_view name);
// First row with the id; an all-zero row when none has it.
FwSelItem GetFwSelItemById(std::int32_t id);
// Name of the first row with the id; empty when none has it.
std::string GetFwTypeName(std::int32_t id);
