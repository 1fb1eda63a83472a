// Converting a camera's calibration EEPROM data for a new CPU firmware.
//
// The camera's data is never lost on the way: a backup of the whole image is
// written and checked on disk before anything in the camera changes; the
// partition table carries an update-in-progress mark from before the
// converted image is written until it has been read back and found equal;
// and a camera found with that mark set gets its backup back before anything
// else is decided. Every write leaves the camera in a state that the next run
// recognises: either the mark is clear and the image is whole, or the mark
// is set and the backup holds the data.

#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "eeprom_files.h"
#include "fw_updater_fapi.h"
#include "text_format.h"
#include "zeroed_buffer.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace {

using eeprom_files::kImageSize;

constexpr std::string_view kEepromFile = "File_EEPROM1";
constexpr std::size_t kCameraTextSize = 260;
constexpr const char* kContactSupport = ".\r\nContact ZAVRO-Customer-Support by creating new Issue/Ticket";

}  // namespace

std::optional<std::string> FW_Updater_FAPI::GetCpuFirmwareVersion()
{
    zvAPIplus_Camera& cam = camera.Camera();
    // An answer that differs from the camera's identity fails the caller
    // (not taken for an unknown model).
    const std::string model = ReadCameraModel();
    try {
        // The definitions tell which of the camera's firmware versions is its
        // CPU's.
        std::uint32_t versionSelector = 0;
        CalibDataStructureConverter::GetAssocZvFwType(model.c_str(), &versionSelector);
        cam.SetVersionSelector(static_cast<int>(versionSelector));
        return ReadCameraText<kCameraTextSize>([&](char* text, int size) { cam.GetVersion(text, size); });
    } catch (const UpdaterError& error) {
        std::printf("%s\n", error.what());
        return std::nullopt;
    }
}

std::uint32_t FW_Updater_FAPI::SelectEepromFile()
{
    zvAPIplus_Camera& cam = camera.Camera();
    cam.SetFFSFileName(std::string(kEepromFile).c_str());
    const int size = cam.GetFFSFileSize();
    // The image is read, converted and written back whole; anything but a
    // whole image would be taken for one.
    if (size != static_cast<int>(kImageSize)) {
        throw UpdaterError(FormatText("The camera reports %d bytes of EEPROM data, expected %u", size, kImageSize));
    }
    return static_cast<std::uint32_t>(size);
}

std::vector<std::uint8_t> FW_Updater_FAPI::ReadCameraEeprom(std::uint32_t size)
{
    std::vector<std::uint8_t> image = ZeroedBuffer(size, "Failed to allocate buffer for EEPROM data update");
    ReadFileFFS(image, kEepromFile, 0);
    // What is decided from these bytes (a conversion, a new partition table,
    // the backup, a dump that may be written back) must not rest on one
    // reading that may have delivered wrong bytes, or none: a second reading
    // must give the same.
    if (!EepromReadsBackAs(image)) {
        throw UpdaterError("EEPROM data read from the camera differ between two readings; nothing was written. "
                           "Check the camera's connection and run the command again.");
    }
    return image;
}

bool FW_Updater_FAPI::EepromReadsBackAs(std::span<const std::uint8_t> meant, bool printed)
{
    // Filled with the opposite of every byte meant, so that a reading that
    // delivers nothing cannot pass.
    std::vector<std::uint8_t> readBack =
        ZeroedBuffer(meant.size(), "Failed to allocate buffer for EEPROM data verification");
    std::transform(meant.begin(), meant.end(), readBack.begin(),
                   [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
    if (printed) {
        ReadFileFFS(readBack, kEepromFile, 0);
    } else {
        ReadFfsBytes(readBack, kEepromFile, 0);
    }
    return std::equal(readBack.begin(), readBack.end(), meant.begin(), meant.end());
}

void FW_Updater_FAPI::WriteEepromTable(std::span<const std::uint8_t> meant)
{
    WriteFileFFS(meant.subspan(eeprom_files::kPartitionTableOffset, eeprom_files::kPartitionTableWriteSize),
                 kEepromFile, eeprom_files::kPartitionTableOffset);
    // A table write that answered success decides what the next run does,
    // so the whole image is read back. A write that did nothing or went
    // elsewhere is mended once by writing the whole image as meant.
    if (EepromReadsBackAs(meant)) {
        return;
    }
    std::printf("EEPROM data do not read back as written, writing the whole image again...\n");
    WriteFileFFS(meant, kEepromFile, 0);
    if (!EepromReadsBackAs(meant)) {
        throw UpdaterError("EEPROM verification failed, data stored in camera is not valid");
    }
}

std::vector<std::uint8_t> FW_Updater_FAPI::RestoreEepromFromBackup(const std::string& model, const std::string& serial,
                                                                   std::span<const std::uint8_t> current)
{
    const eeprom_files::EepromBackupFile backup(model, serial);
    std::vector<std::uint8_t> image = backup.Load(current.size());

    // The backup goes in with the mark set, so a restore that stops half
    // way is started again by the next run. Once the camera reads back the
    // whole backup, the backup's own table takes the mark away.
    std::vector<std::uint8_t> marked = image;
    SetUpdateInProgressMark(marked, 1);
    if (!eeprom_files::ReadPartitionTableState(current).updateInProgress) {
        // The mark goes in first, alone: a restore cut short must not leave
        // a table without it over half restored data.
        std::vector<std::uint8_t> currentMarked(current.begin(), current.end());
        std::copy_n(marked.begin() + eeprom_files::kPartitionTableOffset, eeprom_files::kPartitionTableWriteSize,
                    currentMarked.begin() + eeprom_files::kPartitionTableOffset);
        WriteEepromTable(currentMarked);
    }
    WriteFileFFS(marked, kEepromFile, 0);
    if (!EepromReadsBackAs(marked, true)) {
        throw UpdaterError("EEPROM data restore verification failed, data stored in camera is not valid");
    }
    WriteEepromTable(image);
    std::printf("EEPROM data restored from %s\n", backup.Name().c_str());
    return image;
}

void FW_Updater_FAPI::RefuseInterruptedUpdate(std::span<const std::uint8_t> image)
{
    if (eeprom_files::ReadPartitionTableState(image).updateInProgress) {
        throw UpdaterError(eeprom_files::InterruptedUpdateText(ReadCameraModel(), ReadCameraSerial()));
    }
}

void FW_Updater_FAPI::BackUpEepromBeforeProgramming(std::span<const std::uint8_t> fileImage)
{
    const std::uint32_t size = SelectEepromFile();
    // Any other file (a firmware image, a listing) would replace the
    // calibration data with what is no image of them.
    if (fileImage.size() != size) {
        throw UpdaterError(FormatText("The file holds %zu bytes, the camera's EEPROM data are %u bytes: it is no "
                                      "EEPROM image of this camera. Nothing was written",
                                      fileImage.size(), size));
    }
    const std::vector<std::uint8_t> image = ReadCameraEeprom(size);
    if (std::equal(image.begin(), image.end(), fileImage.begin(), fileImage.end())) {
        return;  // nothing that the write could lose
    }
    std::printf("Creating EEPROM data backup before programming...\n");
    const eeprom_files::ProgBackup backup = eeprom_files::KeepProgBackup(ReadCameraModel(), ReadCameraSerial(), image);
    if (backup.written) {
        std::printf("EEPROM data backup %s was created\n", backup.name.c_str());
    } else {
        std::printf("EEPROM data backup %s holds this data already\n", backup.name.c_str());
    }
}

void FW_Updater_FAPI::SetUpdateInProgressMark(std::vector<std::uint8_t>& image, std::uint8_t mark)
{
    CalibDataStructureConverter table;
    table.SetRawData(image.data() + eeprom_files::kPartitionTableOffset, eeprom_files::kPartitionTableWriteSize,
                     CdsDataType::PartitionTable);
    table.SetUpdateInProgressFlag(mark);
    table.GetRawData(image.data() + eeprom_files::kPartitionTableOffset, eeprom_files::kPartitionTableWriteSize,
                     CdsDataType::PartitionTable);
}

void FW_Updater_FAPI::EEPROMDataUpdate(const std::string& currentCpuVersion, const std::string& newCpuVersion)
{
    CalibDataStructureConverter converter;
    const std::string model = ReadCameraModel();
    const std::string serial = ReadCameraSerial();

    // Without the version the data was made for, nothing can tell what it
    // holds; firmware must not go over data it may not be able to read.
    if (currentCpuVersion.empty()) {
        throw UpdaterError("EEPROM data update ERROR: the camera's current CPU firmware version is not known, "
                           "please use command line parameter '--cur_fw_ver'");
    }
    try {
        converter.SetCameraModel(model.c_str());
        converter.SetCpuFirmwareVersion(currentCpuVersion.c_str());
    } catch (const std::exception&) {
        throw UpdaterError(std::string(" (CPU)") + kContactSupport);
    }

    // The new version comes from the caller or from --new_fw_ver; given
    // both ways, they must agree.
    if (newFwVersion.empty()) {
        if (newCpuVersion.empty()) {
            throw UpdaterError("New CPU firmware version is not set, please use command line parameter '--new_fw_ver'");
        }
        newFwVersion = newCpuVersion.substr(0, kMaxVersionTextLength);
    } else if (!newCpuVersion.empty() && newCpuVersion != newFwVersion) {
        throw UpdaterError(newCpuVersion);
    }
    converter.SetNewCpuFirmwareVersion(newFwVersion.c_str());

    std::printf("Reading EEPROM data...\n");
    const std::uint32_t size = SelectEepromFile();
    std::vector<std::uint8_t> image = ReadCameraEeprom(size);

    // An earlier update stopped before its end: its backup holds the data.
    // Whatever the image looks like now, it is not trusted.
    bool restored = false;
    if (eeprom_files::ReadPartitionTableState(image).updateInProgress) {
        std::printf("Restoring EEPROM data from previous update session...\n");
        image = RestoreEepromFromBackup(model, serial, image);
        restored = true;
    }

    try {
        converter.SetRawData(image.data(), size, CdsDataType::WholeImage);
    } catch (const std::exception&) {
        throw UpdaterError(std::string(" (EERPOM)") + kContactSupport);
    }

    // An image without a partition table gets one with the versions of the
    // current CPU firmware; it is written only once the backup is safe.
    const bool tableCreated = !converter.IsPartitionTableValid();
    if (tableCreated) {
        converter.CreatePartitionTable();
        converter.SetCalibrationDataStructureVersion(converter.GetEepromDataStructVersionForCurrentCpu());
        converter.SetCameraModeDefaultsVersion(converter.GetCameraModeDefaultsVersionForCurrentCpu());
    }

    // Decided before anything is written: no definition for the new firmware
    // is thrown by the converter, a conversion it cannot make (a downgrade,
    // a missing step) is explained by it and refused here.
    const bool needed = converter.IsDataUpgradeNeeded();
    if (needed && !converter.IsDataUpgradePossible()) {
        throw UpdaterError("CPU firmware update is not possible due to EEPROM data incompatibility!");
    }
    if (!needed && !tableCreated) {
        return;
    }

    // A restored camera's backup is the file it was just restored from.
    if (!restored) {
        std::printf("Creating EEPROM data backup before update...\n");
        std::vector<std::uint8_t> backupImage = image;
        if (tableCreated) {
            // The data as read, with the table it is about to get, so that a
            // restore from this backup finds a valid table.
            converter.GetRawData(backupImage.data() + eeprom_files::kPartitionTableOffset,
                                 eeprom_files::kPartitionTableWriteSize, CdsDataType::PartitionTable);
        }
        eeprom_files::EepromBackupFile(model, serial).Write(backupImage);
    }

    if (tableCreated) {
        std::vector<std::uint8_t> withTable = image;
        converter.GetRawData(withTable.data() + eeprom_files::kPartitionTableOffset,
                             eeprom_files::kPartitionTableWriteSize, CdsDataType::PartitionTable);
        WriteEepromTable(withTable);
        image = std::move(withTable);
        // Data versions are written in decimal everywhere (--eeprom_ver, info
        // EEPROM1), so the printed pair can be given back as it stands.
        std::printf("New EEPROM descriptor v %02d.%02d was added/restored...\n",
                    converter.GetEepromDataStructVersionForCurrentCpu(),
                    converter.GetCameraModeDefaultsVersionForCurrentCpu());
    }
    if (!needed) {
        return;
    }

    std::vector<std::uint8_t> marked = image;
    SetUpdateInProgressMark(marked, 1);
    WriteEepromTable(marked);

    std::printf("Starting EEPROM data update...\n");
    converter.SetUpdateInProgressFlag(1);
    converter.UnpackSensorModesData();
    converter.UpgradeData();
    converter.PackSensorModesData();
    std::vector<std::uint8_t> converted = ZeroedBuffer(size, "Failed to allocate buffer for EEPROM data update");
    converter.GetRawData(converted.data(), size, CdsDataType::WholeImage);
    WriteFileFFS(converted, kEepromFile, 0);

    std::printf("EEPROM data update verification...\n");
    std::vector<std::uint8_t> readBack = ZeroedBuffer(size, "Failed to allocate buffer for EEPROM data verification");
    ReadFileFFS(readBack, kEepromFile, 0);
    if (readBack != converted) {
        throw UpdaterError("EEPROM verification failed, data stored in camera is not valid");
    }
    if (!holdEepromUpdateMark) {
        SetUpdateInProgressMark(converted, 0);
        WriteEepromTable(converted);
    }
    // The backup holds the data as they were, should the firmware they were
    // converted for not make it into the camera.
    convertedEeprom = ConvertedEeprom{model, serial, std::move(converted)};

    std::printf("EEPROM data update finished...\n");
}
