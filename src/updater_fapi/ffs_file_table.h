#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fw_sel_item.h"

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
    {"UserSetDefault", FW_TYPE_USETD},
    {"UserSet1", FW_TYPE_USET1},
    {"UserSet2", FW_TYPE_USET2},
    {"UserSet3", FW_TYPE_USET3},
    {"File_FW_CPU1", FW_TYPE_CPU1},
    {"File_FW_CPU2", FW_TYPE_CPU2},
    {"File_FW_CPU3", FW_TYPE_CPU3},
    {"File_FW_CPU4", FW_TYPE_CPU4},
    {"File_FW_CPU5", FW_TYPE_CPU5},
    {"File_FW_FPGA1", FW_TYPE_FPGA1},
    {"File_FW_FPGA2", FW_TYPE_FPGA2},
    {"File_FW_FPGA3", FW_TYPE_FPGA3},
    {"File_EEPROM1", FW_TYPE_EEPROM1},
    {"File_EEPROM1", FW_TYPE_EEPROM1_VER},
    {"FileSN", FW_TYPE_SN},
    {"FileDeviceVersion", FW_TYPE_DEVVER},
    {"Partition_Table", FW_TYPE_PTABLE},
    {"FileSN", FW_TYPE_SN},
    {"Partition_Table", FW_TYPE_PTABLE},
    {"UserSetDefault", FW_TYPE_USETD},
    {"UserSetFactory", FW_TYPE_FACTORYSETS},
    {"UserSet1", FW_TYPE_USET1},
    {"UserSet2", FW_TYPE_USET2},
    {"UserSet3", FW_TYPE_USET3},
    {"UserSets", FW_TYPE_USETS},
    {"FileDeviceVersion", FW_TYPE_DEVVER},
    {"SensInfo", FW_TYPE_SSN},
    {"FwRestorePoints.zip", FW_TYPE_RESPOINTS},
    {"FFS_Partition", FW_TYPE_PFFS},
    {"FullFlashContent", FW_TYPE_FFC},
}};

// The flash file of the firmware type; none for a type the camera keeps no
// file for (MCU1, XMLMAN, the flags, ...).
std::optional<std::string_view> FindFfsFileName(std::int32_t firmwareTypeId);

// No camera's flash file system holds a file larger than this. A size the
// camera reports above it is taken as an error, never as a buffer size.
inline constexpr std::uint32_t kMaxFfsFileSize = 256u * 1024 * 1024;
