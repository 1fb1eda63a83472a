#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The camera keeps firmware images, its calibration EEPROM image, serial and
// version files and user sets as named files of its flash file system. Each
// firmware type that lives there is bound to one file.
struct FfsFileEntry {
    std::string_view ffsFileName;
    std::int32_t firmwareTypeId;
};

// Searched from the top, the first row of the type winning. Some rows repeat
// an earlier binding and never match; the table is kept whole as the cameras'
// file list.
inline constexpr std::array<FfsFileEntry, 30> kFfsFileTable{{
    {"UserSetDefault", 201},  {"UserSet1", 202},
    {"UserSet2", 203},        {"UserSet3", 204},
    {"File_FW_CPU1", 1},      {"File_FW_CPU2", 2},
    {"File_FW_CPU3", 3},      {"File_FW_CPU4", 4},
    {"File_FW_CPU5", 5},      {"File_FW_FPGA1", 10},
    {"File_FW_FPGA2", 11},    {"File_FW_FPGA3", 12},
    {"File_EEPROM1", 15},     {"File_EEPROM1", 16},
    {"FileSN", 301},          {"FileDeviceVersion", 302},
    {"Partition_Table", 303}, {"FileSN", 301},
    {"Partition_Table", 303}, {"UserSetDefault", 201},
    {"UserSetFactory", 200},  {"UserSet1", 202},
    {"UserSet2", 203},        {"UserSet3", 204},
    {"UserSets", 205},        {"FileDeviceVersion", 302},
    {"SensInfo", 304},        {"FwRestorePoints.zip", 305},
    {"FFS_Partition", 1001},  {"FullFlashContent", 1002},
}};

// The flash file of the firmware type; none for a type the camera keeps no
// file for (MCU1, XMLMAN, the flags, ...).
std::optional<std::string_view> FindFfsFileName(std::int32_t firmwareTypeId);

// No camera's flash file system holds a file larger than this. A size the
// camera reports above it is taken as an error, never as a buffer size.
inline constexpr std::uint32_t kMaxFfsFileSize = 256u * 1024 * 1024;
