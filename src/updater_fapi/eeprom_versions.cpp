// The two data version bytes of a camera's calibration EEPROM (data
// structure and mode defaults, kept in its partition table): reading them,
// rewriting them in the camera, and checking offline that a model, a CPU
// firmware version and a data version belong together.

#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "eeprom_files.h"
#include "fw_sel_item.h"
#include "fw_updater_fapi.h"
#include "text_format.h"
#include "zeroed_buffer.h"

#include <cctype>
#include <cstdio>
#include <new>

namespace {

constexpr std::string_view kEepromFile = "File_EEPROM1";

std::string VersionText(std::uint8_t structVersion, std::uint8_t defaultsVersion)
{
    return FormatText("%02d.%02d", structVersion, defaultsVersion);
}

// A version number read like atoi (blanks, a sign, digits up to the first
// other character); it must fit a version byte.
std::uint8_t VersionNumber(const std::string& text, const std::string& whole)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i++] == '-';
    }
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 255) {
            break;
        }
    }
    // Taken as a byte, 258 would read as version 2: another version than
    // the one asked for.
    if (value > 255 || (negative && value != 0)) {
        throw UpdaterError("SplitMajorMinor ERROR: version number out of range 0-255 in '" + whole + "'");
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace

void FW_Updater_FAPI::SplitMajorMinor(const std::string& version, std::uint8_t& major, std::uint8_t& minor)
{
    const std::size_t point = version.find('.');
    if (point == std::string::npos) {
        return;
    }
    const std::uint8_t first = VersionNumber(version.substr(0, point), version);
    if (point + 1 < version.size()) {
        minor = VersionNumber(version.substr(point + 1), version);
    }
    major = first;
}

void FW_Updater_FAPI::OperationVerifyEEPROMVersions()
{
    if (currentFwVersion.empty()) {
        throw UpdaterError(
            "OperationVerifyEEPROMVersions ERROR: CPU firmware version was not provided, please use '--cur_fw_ver' "
            "parameter");
    }
    if (modelName.empty()) {
        throw UpdaterError(
            "OperationVerifyEEPROMVersions ERROR: Camera model name was not provided, please use '--model' parameter");
    }
    if (eepromVersion.empty()) {
        throw UpdaterError(
            "OperationVerifyEEPROMVersions ERROR: EEPROM version wasnot provided, please use '--eeprom_ver' parameter");
    }

    CalibDataStructureConverter converter;
    converter.SetCameraModel(modelName.c_str());
    if (!converter.IsCpuFirmwareVersionSupported(currentFwVersion.c_str())) {
        throw UpdaterError(FormatText("OperationVerifyEEPROMVersions ERROR: EEPROM update for %s, CPU firmware %s is "
                                      "not supported\n",
                                      modelName.c_str(), currentFwVersion.c_str()));
    }
    converter.SetCpuFirmwareVersion(currentFwVersion.c_str());
    converter.SetNewCpuFirmwareVersion(currentFwVersion.c_str());
    std::uint8_t structVersion = 0;
    std::uint8_t defaultsVersion = 0;
    SplitMajorMinor(eepromVersion, structVersion, defaultsVersion);
    if (!converter.IsEEPROMStructModeDefaultsVersionSupported(structVersion, defaultsVersion)) {
        throw UpdaterError(FormatText("OperationVerifyEEPROMVersions ERROR: EEPROM update for %s, CPU firmware %s and "
                                      "EEPROM version %s is not supported\n",
                                      modelName.c_str(), currentFwVersion.c_str(), eepromVersion.c_str()));
    }
    std::printf("EEPROM update for %s, CPU firmware %s and EEPROM version %s is supported\n", modelName.c_str(),
                currentFwVersion.c_str(), eepromVersion.c_str());
}

void FW_Updater_FAPI::OperationEEPROMVersionUpdate()
{
    const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
    if (!cpuVersion) {
        throw UpdaterError("OperationEEPROMVersionUpdate ERROR: operation not supported");
    }
    // The camera's own model, whatever --model says.
    modelName = ReadCameraModel().substr(0, kMaxVersionTextLength);
    CalibDataStructureConverter converter;
    converter.SetCameraModel(modelName.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion->c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion->c_str());

    std::printf("Reading EEPROM data...\n");
    const std::uint32_t size = SelectEepromFile();
    std::vector<std::uint8_t> image = ReadCameraEeprom(size);

    // Only the table is written back, so the converter gets the camera's own
    // table to change (also when the versions come from the CPU firmware):
    // its other bytes stay as the camera has them.
    const eeprom_files::PartitionTableState table = eeprom_files::ReadPartitionTableState(image);
    if (table.updateInProgress) {
        throw UpdaterError("OperationEEPROMVersionUpdate ERROR: an EEPROM data update of this camera was interrupted "
                           "(update-in-progress mark set); finish it with 'upgrade EEPROM1' before changing the "
                           "EEPROM version. Nothing was written.");
    }
    std::vector<std::uint8_t> tableRegion(image.begin() + eeprom_files::kPartitionTableOffset,
                                          image.begin() + eeprom_files::kPartitionTableOffset + 0x100);
    converter.SetRawData(tableRegion.data(), static_cast<std::uint32_t>(tableRegion.size()),
                         CdsDataType::PartitionTable);
    if (!table.valid) {
        converter.CreatePartitionTable();
    }

    std::uint8_t structVersion = 0;
    std::uint8_t defaultsVersion = 0;
    if (eepromVersionFromCpu) {
        structVersion = converter.GetEepromDataStructVersionForCurrentCpu();
        defaultsVersion = converter.GetCameraModeDefaultsVersionForCurrentCpu();
        eepromVersion = FormatText("%d.%d", structVersion, defaultsVersion);
    } else {
        if (eepromVersion.empty()) {
            throw UpdaterError("OperationEEPROMVersionUpdate ERROR: New EEPROM version is not defined");
        }
        SplitMajorMinor(eepromVersion, structVersion, defaultsVersion);
        if (!converter.IsEEPROMStructModeDefaultsVersionSupported(structVersion, defaultsVersion)) {
            throw UpdaterError(
                "OperationEEPROMVersionUpdate ERROR: Provided EEPROM structure version is not supported by camera");
        }
    }
    converter.SetCalibrationDataStructureVersion(structVersion);
    converter.SetCameraModeDefaultsVersion(defaultsVersion);
    converter.GetRawData(image.data() + eeprom_files::kPartitionTableOffset, eeprom_files::kPartitionTableWriteSize,
                         CdsDataType::PartitionTable);
    WriteEepromTable(image);
    std::printf("%s (CPU %s) EEPROM version was successfully updated to %s\n", modelName.c_str(), cpuVersion->c_str(),
                eepromVersion.c_str());
}

bool FW_Updater_FAPI::FillEepromCache(std::uint32_t size)
{
    if (!eepromCache.empty()) {
        return false;
    }
    std::vector<std::uint8_t> bytes = ZeroedBuffer(size, "Memory allocation error - dump buffer");
    ReadFileFFS(bytes, kEepromFile, 0);
    // Kept only once read: a failed read leaves nothing that a later query
    // would take for the camera's data.
    eepromCache = std::move(bytes);
    return true;
}

std::string FW_Updater_FAPI::GetEEPROMDataVersion(std::size_t capacity)
{
    if (capacity == 0) {
        throw UpdaterError("GetEEPROMDataVersion ERROR: Invalid buffer length");
    }
    const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
    if (!cpuVersion) {
        throw UpdaterError("GetEEPROMDataVersion ERROR: Unknown camera model");
    }

    std::printf("Reading EEPROM data...\n");
    const std::uint32_t size = SelectEepromFile();
    const std::string model = ReadCameraModel();
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion->c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion->c_str());
    FillEepromCache(size);
    RefuseInterruptedUpdate(eepromCache);

    // The version bytes are read from the table alone, so that pages the
    // converter could not take do not hide them. They start at 0 and stay
    // so where the table leaves them undefined.
    std::uint8_t structVersion = 0;
    std::uint8_t defaultsVersion = 0;
    CalibDataStructureConverter tableReader;
    tableReader.SetRawData(eepromCache.data() + eeprom_files::kPartitionTableOffset, 0x100,
                           CdsDataType::PartitionTable);
    tableReader.GetCalibrationDataStructureVersion(&structVersion);
    tableReader.GetCameraModeDefaultsVersion(&defaultsVersion);
    const eeprom_files::PartitionTableState table = eeprom_files::ReadPartitionTableState(eepromCache);
    const std::string text = VersionText(structVersion, defaultsVersion);
    if (!table.valid) {
        throw UpdaterError("GetEEPROMDataVersion ERROR: EEPROM partition data is not valid");
    }
    if (text.size() >= capacity) {
        throw UpdaterError("GetEEPROMDataVersion ERROR: Buffer too small");
    }
    return text;
}

std::string FW_Updater_FAPI::GetLatestAvailableEEPROMDataVersion()
{
    // No command reaches this; whoever calls it gets the camera opened.
    camera.Open();
    const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
    if (!cpuVersion) {
        throw UpdaterError("GetLatestAvailableEEPROMDataVersion ERROR: Unknown camera model");
    }
    const std::string model = ReadCameraModel();
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion->c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion->c_str());
    return VersionText(converter.GetEepromDataStructVersionForCurrentCpu(),
                       converter.GetCameraModeDefaultsVersionForCurrentCpu());
}

bool FW_Updater_FAPI::IsUpdatePossible()
{
    return QueryEepromUpgrade(true);
}

bool FW_Updater_FAPI::IsDataUpgradeNeeded()
{
    return QueryEepromUpgrade(false);
}

bool FW_Updater_FAPI::QueryEepromUpgrade(bool possible)
{
    // Only the calibration data has versions to fit.
    if (firmwareType != FW_TYPE_EEPROM1) {
        return possible;
    }
    const char* const operation = possible ? "IsUpdatePossible" : "IsDataUpgradeNeeded";
    camera.Open();
    const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
    if (!cpuVersion) {
        throw UpdaterError(std::string(operation) + " ERROR: operation not supported for camera model");
    }

    std::printf("Reading EEPROM data...\n");
    const std::uint32_t size = SelectEepromFile();
    const std::string model = ReadCameraModel();
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion->c_str());
    converter.SetNewCpuFirmwareVersion(newFwVersion.c_str());
    FillEepromCache(size);
    RefuseInterruptedUpdate(eepromCache);
    try {
        converter.SetRawData(eepromCache.data(), static_cast<std::uint32_t>(eepromCache.size()),
                             CdsDataType::WholeImage);
    } catch (const std::exception&) {
        return false;
    }
    return possible ? converter.IsDataUpgradePossible() : converter.IsDataUpgradeNeeded();
}
