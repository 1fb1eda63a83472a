#include "eeprom_files.h"

#include "calib_data_structure_converter.h"
#include "text_format.h"
#include "updater_error.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "os_file_path.h"

namespace eeprom_files {

namespace {

namespace fs = std::filesystem;

bool IsNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& name, bool& opened)
{
    std::ifstream in(zv::os::FilePath(name), std::ios::binary);
    opened = static_cast<bool>(in);
    if (!opened) {
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string SafeNamePart(std::string_view text)
{
    std::string part(text);
    for (char& c : part) {
        if (!IsNameCharacter(c)) {
            c = '_';
        }
    }
    for (std::size_t i = 0; i + 1 < part.size(); ++i) {
        if (part[i] == '.' && part[i + 1] == '.') {
            // The whole run goes, not only its first two points.
            std::size_t end = i;
            while (end < part.size() && part[end] == '.') {
                part[end++] = '_';
            }
        }
    }
    // Nor may a point at either end meet another one of the name around it.
    if (!part.empty() && part.front() == '.') {
        part.front() = '_';
    }
    if (!part.empty() && part.back() == '.') {
        part.back() = '_';
    }
    return part;
}

std::string CheckedFileName(std::string name)
{
    if (name.size() > kMaxBuiltFileNameLength) {
        throw UpdaterError(FormatText("File name is too long (%zu characters, at most %zu): %s", name.size(),
                                      kMaxBuiltFileNameLength, name.c_str()));
    }
    return name;
}

std::optional<CdsDataType> RegionOfFileSize(std::uintmax_t size)
{
    switch (size) {
    case kModesSize:
        return CdsDataType::CameraModesTable;
    case kModesAndTableSize:
        return CdsDataType::CameraModesAndPartition;
    case kImageSize:
        return CdsDataType::WholeImage;
    default:
        return std::nullopt;
    }
}

std::optional<std::uintmax_t> ReadableFileSize(const std::string& name)
{
    std::ifstream in(zv::os::FilePath(name), std::ios::binary | std::ios::ate);
    if (!in) {
        return std::nullopt;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return std::nullopt;
    }
    return static_cast<std::uintmax_t>(size);
}

PartitionTableState ReadPartitionTableState(std::span<const std::uint8_t> image)
{
    PartitionTableState state;
    if (image.size() < kPartitionTableOffset + kPartitionTableWriteSize) {
        return state;
    }
    // Only the table region goes to the converter: nothing else of the image
    // has to make sense to read the table.
    CalibDataStructureConverter converter;
    const std::size_t regionSize = std::min<std::size_t>(image.size() - kPartitionTableOffset, 0x100);
    converter.SetRawData(image.data() + kPartitionTableOffset, static_cast<std::uint32_t>(regionSize),
                         CdsDataType::PartitionTable);
    state.valid = converter.IsPartitionTableValid();
    state.updateInProgress = state.valid && converter.GetUpdateInProgressFlag() == 1;
    return state;
}

EepromBackupFile::EepromBackupFile(std::string_view model, std::string_view serial, std::string_view kind)
{
    if (serial.empty()) {
        throw UpdaterError("The camera reports no serial number: its EEPROM data backup cannot be named");
    }
    name_ = CheckedFileName(std::string(kind) + "_" + SafeNamePart(model) + "_" + SafeNamePart(serial) + ".bin");
}

ProgBackup KeepProgBackup(std::string_view model, std::string_view serial, std::span<const std::uint8_t> image)
{
    constexpr int kMaxBackups = 9999;
    for (int n = 1; n <= kMaxBackups; ++n) {
        const EepromBackupFile backup(model, std::string(serial) + "_" + std::to_string(n), kProgBackupKind);
        bool opened = false;
        const std::vector<std::uint8_t> kept = ReadWholeFile(backup.Name(), opened);
        if (opened && std::equal(kept.begin(), kept.end(), image.begin(), image.end())) {
            return {backup.Name(), false};
        }
        if (!opened && !zv::os::FileExists(backup.Name())) {
            backup.Write(image);
            return {backup.Name(), true};
        }
    }
    throw UpdaterError("Failed to create file for EEPROM backup!");
}

std::string InterruptedUpdateText(std::string_view model, std::string_view serial)
{
    const EepromBackupFile backup(model, serial);
    return "An update of this camera's EEPROM data was interrupted: the camera holds no valid calibration data "
           "until it is finished. To finish it, run 'upgrade EEPROM1 --zvapi' for this camera in the directory "
           "that holds its backup file " +
           backup.Name();
}

void EepromBackupFile::Write(std::span<const std::uint8_t> image) const
{
    const std::string partName = name_ + ".part";
    {
        std::ofstream out(zv::os::FilePath(partName), std::ios::binary | std::ios::trunc);
        if (!out) {
            throw UpdaterError("Failed to create file for EEPROM backup!");
        }
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            zv::os::RemoveFile(partName);
            throw UpdaterError("Failed to write EEPROM backup file " + name_);
        }
    }
    // What the disk gives back is what a restore would get.
    bool opened = false;
    const std::vector<std::uint8_t> readBack = ReadWholeFile(partName, opened);
    if (!opened || !std::equal(readBack.begin(), readBack.end(), image.begin(), image.end())) {
        zv::os::RemoveFile(partName);
        throw UpdaterError("EEPROM backup file " + name_ + " does not read back as written");
    }
    std::error_code error;
    zv::os::RenameFile(partName, name_, error);
    if (error) {
        zv::os::RemoveFile(partName);
        throw UpdaterError("Failed to write EEPROM backup file " + name_);
    }
}

std::vector<std::uint8_t> EepromBackupFile::Load(std::size_t size) const
{
    const std::string unchanged = " The camera's EEPROM data was not changed.";
    bool opened = false;
    std::vector<std::uint8_t> image = ReadWholeFile(name_, opened);
    if (!opened) {
        throw UpdaterError("EEPROM data restore failed: backup file " + name_ +
                           " of the interrupted update is missing or cannot be read; run the update again "
                           "in the directory that holds it." +
                           unchanged);
    }
    if (image.size() != size) {
        throw UpdaterError(FormatText("EEPROM data restore failed: backup file %s is not a complete EEPROM image "
                                      "(%zu bytes, expected %zu).",
                                      name_.c_str(), image.size(), size) +
                           unchanged);
    }
    if (!ReadPartitionTableState(image).valid) {
        throw UpdaterError("EEPROM data restore failed: backup file " + name_ +
                           " holds no valid EEPROM partition table." + unchanged);
    }
    return image;
}

}  // namespace eeprom_files
