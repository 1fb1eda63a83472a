#pragma once

#include "text_limits.h"

// The files the calibration workflows write and read on the computer: the
// names they are given, the image sizes a file may have, and the backup of a
// camera's EEPROM image that an interrupted data update is restored from.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class CdsDataType : int;

namespace eeprom_files {

// The camera's calibration EEPROM ("File_EEPROM1") and the parts of it that
// a file on disk may hold.
inline constexpr std::uint32_t kImageSize = 0x10000;         // everything
inline constexpr std::uint32_t kModesAndTableSize = 0xFF00;  // camera-mode pages and partition table
inline constexpr std::uint32_t kModesSize = 0x4000;          // camera-mode pages only

// Where the partition table lies in the image and how much of it is written
// when only the table changes.
inline constexpr std::uint32_t kPartitionTableOffset = 0xFE00;
inline constexpr std::uint32_t kPartitionTableWriteSize = 180;

// A text reported by the camera or given as an option, as a part of a file
// name: anything but letters, digits, '-', '_' and '.' becomes '_', and so
// does every point of a run of points and a point at either end, so the part
// can neither lead into another directory nor climb out of one.
std::string SafeNamePart(std::string_view text);

// The name as it stands when it fits the name buffer; otherwise throws,
// since a shortened name would write some other file.
std::string CheckedFileName(std::string name);

// The image region an EEPROM file of this size holds; none for any other size.
std::optional<CdsDataType> RegionOfFileSize(std::uintmax_t size);

// The size of a file, or none when it cannot be opened for reading.
std::optional<std::uintmax_t> ReadableFileSize(const std::string& name);

// What the partition table of a whole image says, read through the
// calibration converter: whether it is valid (its magic bytes), and whether
// its update-in-progress mark is set.
struct PartitionTableState {
    bool valid = false;
    bool updateInProgress = false;
};
PartitionTableState ReadPartitionTableState(std::span<const std::uint8_t> image);

// The backup of one camera's whole EEPROM image, kept in the working
// directory as <kind>_<model>_<serial>.bin: eeprom_backup_... for the data
// update (what an interrupted update is restored from), eeprom_prog_backup_...
// for the image a `prog EEPROM1` replaced. The two never name one file.
inline constexpr std::string_view kUpdateBackupKind = "eeprom_backup";
inline constexpr std::string_view kProgBackupKind = "eeprom_prog_backup";
class EepromBackupFile {
public:
    // A camera that reports no serial number cannot be told apart from
    // another of its model, so it gets no backup (throws).
    EepromBackupFile(std::string_view model, std::string_view serial, std::string_view kind = kUpdateBackupKind);

    const std::string& Name() const { return name_; }

    // Writes the image under a temporary name, reads it back and compares it,
    // and only then lets it replace the previous backup. Throws when any of
    // that fails; a previous backup then stays as it was.
    void Write(std::span<const std::uint8_t> image) const;

    // The backed-up image for a restore: exactly `size` bytes with a valid
    // partition table. Throws, naming the file, when it is missing, of
    // another size or without a partition table.
    std::vector<std::uint8_t> Load(std::size_t size) const;

private:
    std::string name_;
};

// The backup `prog EEPROM1` keeps of the image it replaces:
// eeprom_prog_backup_<model>_<serial>_<n>.bin in the working directory, n
// from 1. An earlier one is never replaced (a rerun after a torn write must
// not put the torn image over the good one); one that holds the image
// already serves again. Answers its name and whether it was written now.
struct ProgBackup {
    std::string name;
    bool written = false;
};
ProgBackup KeepProgBackup(std::string_view model, std::string_view serial, std::span<const std::uint8_t> image);

// What a run that reads a camera whose EEPROM data carry the update mark
// says: the data are those of an interrupted update, and how to finish it.
std::string InterruptedUpdateText(std::string_view model, std::string_view serial);

}  // namespace eeprom_files
