#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A small handle-based zip layer for archives held in memory: the firmware
// operation log builds its one-entry archive with it and reads the entry of
// the archive stored in the camera back out. Every operation answers 0 (or a
// count) on success and one of the negative codes below on failure; none of
// them throws and none of them prints.
//
// Writing: ZipStreamOpen(nullptr, 0, level, 'w'), then per entry
// ZipEntryOpen / ZipEntryWrite... / ZipEntryClose, then ZipStreamCopy for the
// finished archive bytes. Reading: ZipStreamOpen(bytes, size, level, 'r'),
// ZipEntryOpen(name), ZipEntryRead.

struct ZipArchive;

struct ZipArchiveDeleter {
    void operator()(ZipArchive* zip) const noexcept;
};

// The caller owns the handle; dropping it closes the archive like ZipClose.
using ZipArchivePtr = std::unique_ptr<ZipArchive, ZipArchiveDeleter>;

// The layer's error codes; ZipStrError gives their texts.
namespace ZipCode {
constexpr int NotInitialized = -1;
constexpr int InvalidEntryName = -2;
constexpr int EntryNotFound = -3;
constexpr int InvalidMode = -4;
constexpr int InvalidLevel = -5;
constexpr int NoZip64 = -6;
constexpr int MemsetError = -7;
constexpr int CannotWriteEntryData = -8;
constexpr int CompressorInit = -9;
constexpr int InvalidIndex = -10;
constexpr int HeaderNotFound = -11;
constexpr int CompressorFlush = -12;
constexpr int CannotWriteHeader = -13;
constexpr int CannotCreateHeader = -14;
constexpr int CannotWriteCentralDir = -15;
constexpr int CannotOpenFile = -16;
constexpr int InvalidEntryType = -17;
constexpr int ExtractionFailed = -18;
constexpr int FileNotFound = -19;
constexpr int NoPermission = -20;
constexpr int OutOfMemory = -21;
constexpr int InvalidArchiveName = -22;
constexpr int MakeDirError = -23;
constexpr int SymlinkError = -24;
constexpr int CloseArchiveError = -25;
constexpr int CapacityTooSmall = -26;
constexpr int FseekError = -27;
constexpr int FreadError = -28;
constexpr int FwriteError = -29;
}  // namespace ZipCode

// The default level (6) is used for a negative level. The low 4 bits of level
// are the deflate level 0-10 (0 stores entries uncompressed); levels above 10
// are refused. Mode 'r' needs a non-empty buffer (it is copied, so the caller
// may release it at once); mode 'w' needs no buffer and size 0. Null on any
// other combination or when the bytes are not a classic zip archive (zip64
// and split archives are not read).
ZipArchivePtr ZipStreamOpen(const void* buffer, std::size_t size, int level, char mode) noexcept;

// Makes name the current entry: on a reader it looks the name up (A-Z match
// either case, whole name), on a writer it starts a new entry. A '\' in the
// name is taken as '/'.
int ZipEntryOpen(ZipArchive* zip, const char* name) noexcept;

// Appends bytes to the current entry of a writer; null data or size 0 does
// nothing. The bytes are deflated as they come (stored at level 0); the
// archive grows in memory by what they compress to.
int ZipEntryWrite(ZipArchive* zip, const void* data, std::size_t size) noexcept;

// Extracts the current entry of a reader into block (replacing its content);
// answers the extracted size.
std::int64_t ZipEntryRead(ZipArchive* zip, std::vector<std::uint8_t>& block) noexcept;

// Finishes the current entry of a writer; on a reader only forgets it.
int ZipEntryClose(ZipArchive* zip) noexcept;

// Finalizes a writer (central directory and end record) and copies the whole
// archive into block; answers its size. No entry can be added afterwards.
std::int64_t ZipStreamCopy(ZipArchive* zip, std::vector<std::uint8_t>& block) noexcept;

// Releases the handle without finalizing anything further.
void ZipStreamClose(ZipArchivePtr zip) noexcept;

// Closes the archive. With archives held only in memory there is no file to
// finish, so this is the same as ZipStreamClose.
void ZipClose(ZipArchivePtr zip) noexcept;

// Number of entries in the archive (finished entries of a writer).
std::int64_t ZipEntriesTotal(const ZipArchive* zip) noexcept;

// The text of one of the codes above, null for any other value.
const char* ZipStrError(int code) noexcept;
