#include "os_file_path.h"

#include <string>

namespace zv::os {

std::filesystem::path FilePath(std::string_view name)
{
    return std::filesystem::path(std::string(name));
}

std::FILE* OpenFile(std::string_view name, const char* mode)
{
    return std::fopen(std::string(name).c_str(), mode);
}

}  // namespace zv::os
