#pragma once

// The program's own files (firmware, dumps, backups, reports, logs) by the
// names the command line gives or the program makes from them. Every open,
// rename and removal of such a file goes through here, so a name is turned
// into the system's path once and the same way for every call: on Windows
// the command line's text is in the system's ANSI code page and becomes the
// wide path the system's file calls take; elsewhere a name is its bytes.

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace zv::os {

// The path of a file name, for std::filesystem and the file streams.
std::filesystem::path FilePath(std::string_view name);

// fopen of a file name; null when it cannot be opened.
std::FILE* OpenFile(std::string_view name, const char* mode);

// Replaces `to` by `from`; `error` tells why it could not.
void RenameFile(std::string_view from, std::string_view to, std::error_code& error);

// Removes a file; false when it was not there or could not be removed.
bool RemoveFile(std::string_view name);

bool FileExists(std::string_view name);

}  // namespace zv::os
