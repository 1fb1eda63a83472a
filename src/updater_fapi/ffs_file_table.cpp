#include "ffs_file_table.h"

std::optional<std::string_view> FindFfsFileName(std::int32_t firmwareTypeId)
{
    for (const FfsFileEntry& entry : kFfsFileTable) {
        if (entry.firmwareTypeId == firmwareTypeId) {
            return entry.ffsFileName;
        }
    }
    return std::nullopt;
}
