#include "os_file_path.h"

namespace zv::os {

void RenameFile(std::string_view from, std::string_view to, std::error_code& error)
{
    std::filesystem::rename(FilePath(from), FilePath(to), error);
}

bool RemoveFile(std::string_view name)
{
    std::error_code ignored;
    return std::filesystem::remove(FilePath(name), ignored);
}

bool FileExists(std::string_view name)
{
    std::error_code ignored;
    return std::filesystem::exists(FilePath(name), ignored);
}

}  // namespace zv::os
