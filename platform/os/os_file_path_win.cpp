// File names on Windows: the command line's text is in the ANSI code page
// (CP_ACP), converted here once to the wide path that _wfopen, _wrename and
// DeleteFileW (which std::filesystem uses) take. A name left to the narrow
// calls and to std::filesystem separately could be read in two code pages,
// and a file written under one name be renamed under another.

#include "os_file_path.h"

#include <string>

#include <windows.h>

namespace zv::os {

std::filesystem::path FilePath(std::string_view name)
{
    if (name.empty()) {
        return {};
    }
    const int size = static_cast<int>(name.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, text.data(), wide);
    return std::filesystem::path(text);
}

std::FILE* OpenFile(std::string_view name, const char* mode)
{
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));  // ASCII letters
    return ::_wfopen(FilePath(name).c_str(), wideMode.c_str());
}

}  // namespace zv::os
