#pragma once

// File primitives of the state directory: posix_file.cpp on POSIX systems,
// posix_file_win.cpp with the Win32 file API on Windows.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zvemu::posix {

// Writes the bytes to a temporary file beside the target, flushes it to the
// disk and renames it over the target. Throws std::runtime_error.
void WriteAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes);
// The same with the new content given in pieces, written one after the other
// straight from where they are.
void WriteAtomically(const std::filesystem::path& target, std::span<const std::span<const uint8_t>> pieces);

// Changes bytes of an existing file in place and flushes them to the disk:
// for an update of a few bytes (a single-byte write cannot be torn).
void WriteInPlace(const std::filesystem::path& path, uint64_t offset, std::span<const uint8_t> bytes);

// The whole file, or nothing when it does not exist. Throws on other errors.
std::optional<std::vector<uint8_t>> ReadWhole(const std::filesystem::path& path);

// Reads up to out.size() bytes from the offset into out; answers how many
// there were (fewer at the end of the file), nothing when the file does not
// exist. Throws on other errors.
std::optional<size_t> ReadAt(const std::filesystem::path& path, uint64_t offset, std::span<uint8_t> out);

// Appends one line in a single write, so concurrent writers do not mix lines.
void AppendLine(const std::filesystem::path& path, const std::string& line);

// Notice of changes in folders, so that what was read from them can be kept
// while they stay as they were. A change counts from the moment the call that
// made it returned, in this process or any other: a file written, truncated,
// created, renamed or removed in a watched folder, its attributes changed,
// or the folder itself removed or renamed. Where the system gives no such
// notice, no folder can be watched.
class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Starts watching the folder (not through a final symbolic link); false
    // when it cannot be watched.
    bool Watch(const std::filesystem::path& folder);
    // Whether anything may have changed in a watched folder since the last
    // call; true whenever it cannot tell (then every watch may be gone: watch
    // again what is still needed).
    bool Changed();

private:
    int fd_ = -1;
    unsigned forks_ = 0;
};

// The state directory when ZVAPI_EMULATOR_DIR does not name one:
// $XDG_STATE_HOME/zvapi-emulator, else ~/.local/state/zvapi-emulator here;
// %LOCALAPPDATA%\zvapi-emulator on Windows.
std::filesystem::path PerUserStateRoot();

}  // namespace zvemu::posix
