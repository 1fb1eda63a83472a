// Calibration EEPROM images as files people read and edit: listings of an
// image file (extract), an image packed from a calibration CSV (insert), the
// fields of the camera's or a file's image that differ from the model's
// defaults (diff, file_diff), and listings of a dumped image.
//
// A failure of these commands is the command's failure: it ends the run with
// its text and exit status 1, so a script never takes missing files for
// written ones. Files already written stay.

#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "eeprom_files.h"
#include "fw_sel_item.h"
#include "fw_updater_fapi.h"
#include "text_format.h"
#include "zeroed_buffer.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <new>
#include "os_file_path.h"

namespace {

using eeprom_files::CheckedFileName;
using eeprom_files::SafeNamePart;

constexpr std::string_view kEepromFile = "File_EEPROM1";
constexpr std::size_t kFieldNameSize = 260;

// "<input file>_<model>_V<EEPROM version><ending>": beside the input file.
std::string ListingName(const std::string& input, const std::string& model, const std::string& version,
                        const char* ending)
{
    return CheckedFileName(input + "_" + SafeNamePart(model) + "_V" + SafeNamePart(version) + ending);
}

// The converter's settings for work on the data of one CPU firmware version.
void PrepareConverter(CalibDataStructureConverter& converter, const std::string& model, const std::string& cpuVersion)
{
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion.c_str());
}

std::string ColumnLine(const std::string& first, const std::string& second, const std::string& third)
{
    return FormatText("%-20s%-20s%-20s\n", first.c_str(), second.c_str(), third.c_str());
}

std::string FieldValueText(std::int32_t value, CdsFieldType type)
{
    const auto bits = static_cast<std::uint32_t>(value);
    return type == CdsFieldType::Hexadecimal ? FormatText("0x%x", bits) : FormatText("%u", bits);
}

}  // namespace

void FW_Updater_FAPI::ExtractData()
{
    if (firmwareType != FW_TYPE_EEPROM1) {
        throw UpdaterError("FW_Updater_FAPI:ExtractData: Unsupported firmware type");
    }
    if (newFwVersion.empty()) {
        throw UpdaterError(
            "FW_Updater_FAPI:ExtractData: New firmware version is not set, use '--new_fw_ver' parameter with value");
    }
    if (modelName.empty()) {
        throw UpdaterError(
            "FW_Updater_FAPI:ExtractData: Camera model name is not set, use '--model' parameter with value");
    }
    if (eepromVersion.empty()) {
        throw UpdaterError(
            "FW_Updater_FAPI:ExtractData: EEPROM data version is not set, use '--eeprom_ver' parameter with value");
    }

    std::printf("Extracting EEPROM data  \n");
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    const std::string input = inputFile.value_or(std::string());
    const std::optional<std::uintmax_t> fileSize = eeprom_files::ReadableFileSize(input);
    if (!fileSize) {
        throw UpdaterError("FW_Updater_FAPI:ExtractData: failed to read EEPROM binary file");
    }

    PrepareConverter(converter, modelName, newFwVersion);
    converter.SetCameraCalibDataVersion(eepromVersion.c_str());

    std::printf("Reading EEPROM data\n");
    const std::optional<CdsDataType> region = eeprom_files::RegionOfFileSize(*fileSize);
    if (!region) {
        throw UpdaterError("FW_Updater_FAPI:ExtractData: EEPROM file has unexpected size");
    }
    const std::string textName = ListingName(input, modelName, eepromVersion, ".txt");
    const std::string csvName = ListingName(input, modelName, eepromVersion, ".csv");
    const std::string imageName = ListingName(input, modelName, eepromVersion, ".bin");
    converter.ReadRawData(input.c_str(), *region);

    std::printf("Extracting EEPROM data started\n");
    converter.UnpackSensorModesData();
    converter.WriteUnpackedCalibData(textName.c_str(), false);
    converter.WriteUnpackedCalibData(csvName.c_str(), true);
    std::printf("Extracting EEPROM data  OK\n");

    // An image without its partition table is completed with one that holds
    // the given data version; pages alone do not make an image.
    if (converter.IsPartitionTableValid() || *region == CdsDataType::CameraModesTable) {
        return;
    }
    converter.CreatePartitionTable();
    converter.SetCameraCalibDataVersion(eepromVersion.c_str());
    converter.WriteRawData(imageName.c_str(), *region);
}

void FW_Updater_FAPI::InsertData()
{
    if (firmwareType != FW_TYPE_EEPROM1) {
        throw UpdaterError("FW_Updater_FAPI:InsertData: Unsupported firmware type");
    }
    if (currentFwVersion.empty()) {
        throw UpdaterError(
            "FW_Updater_FAPI:InsertData: New firmware version is not set, use '--cur_fw_ver' parameter with value");
    }
    if (modelName.empty()) {
        throw UpdaterError(
            "FW_Updater_FAPI:InsertData: Camera model name is not set, use '--model' parameter with value");
    }

    std::printf("Updating EEPROM data from CSV\n");
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    PrepareConverter(converter, modelName, currentFwVersion);

    const std::string input = inputFile.value_or(std::string());
    const std::string target = outputFile && !outputFile->empty()
                                   ? CheckedFileName(*outputFile)
                                   : ListingName(input, modelName, eepromVersion, "_inserted.bin");
    if (patchFile && !patchFile->empty()) {
        std::printf("Extracting EEPROM data from %s\n", input.c_str());
        converter.ReadRawData(input.c_str(), CdsDataType::WholeImage);
        converter.UnpackSensorModesData();
        std::printf("Applying EEPROM data patch from %s\n", patchFile->c_str());
        converter.UpdateAllPagesFromCsv(patchFile->c_str());
    } else {
        std::printf("Extracting EEPROM data defaults start\n");
        converter.UnpackSensorModesDefaultsData();
        std::printf("Inserting EEPROM data from CSV\n");
        converter.UpdateAllPagesFromCsv(input.c_str());
    }

    std::printf("Storing EEPROM data to packed binary data format\n");
    converter.PackSensorModesData();
    converter.WriteRawData(target.c_str(), CdsDataType::WholeImage);
    std::printf("Packed EEPROM data file was created\n");
}

void FW_Updater_FAPI::DiffFirmwareContent()
{
    if (firmwareType != FW_TYPE_EEPROM1) {
        throw UpdaterError("DiffFirmwareContent ERROR: Operation supported only for EEEPROM1 firmware type");
    }

    // The camera's model and CPU version serve where the options give none;
    // given options win, but for the camera's own data (diff) only its own
    // model's defaults mean anything.
    const bool cameraPresent = camera.Camera().GetNumberOfConnectedCameras() > 0;
    if (cameraPresent) {
        camera.Open();
        const std::string model = ReadCameraModel();
        const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
        if (!cpuVersion) {
            throw UpdaterError("DiffFirmwareContent ERROR: operation not supported for camera model");
        }
        if (!inputFile && !modelName.empty() && modelName != model) {
            std::printf("Camera model %s is used for the camera's EEPROM data, not %s\n", model.c_str(),
                        modelName.c_str());
        }
        if (modelName.empty() || !inputFile) {
            modelName = model.substr(0, kMaxVersionTextLength);
        }
        if (currentFwVersion.empty()) {
            currentFwVersion = cpuVersion->substr(0, kMaxVersionTextLength);
        }
        std::printf("Using camera %s current CPU firmware version %s for diff operation.\n", modelName.c_str(),
                    currentFwVersion.c_str());
    } else {
        if (modelName.empty()) {
            throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: camera model name not defined, please use "
                               "'--model' command line parameter");
        }
        if (currentFwVersion.empty()) {
            throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: firmware version not defined, please use "
                               "'--cur_fw_ver' command line parameter");
        }
    }

    // One converter holds the examined data, the other the model's defaults.
    CalibDataStructureConverter examined;
    CalibDataStructureConverter defaults;
    for (CalibDataStructureConverter* converter : {&examined, &defaults}) {
        converter->AllocateCacheIfNeeded();
        converter->SetCameraModel(modelName.c_str());
        if (!converter->IsCpuFirmwareVersionSupported(currentFwVersion.c_str())) {
            throw UpdaterError(FormatText("DiffFirmwareContent ERROR: EEPROM diff for %s, CPU firmware %s is not "
                                          "supported\n",
                                          modelName.c_str(), currentFwVersion.c_str()));
        }
        converter->SetCpuFirmwareVersion(currentFwVersion.c_str());
        converter->SetNewCpuFirmwareVersion(currentFwVersion.c_str());
    }

    if (inputFile) {
        const std::string& input = *inputFile;
        std::printf("Reading EEPROM data from file: %s\n", input.c_str());
        const std::optional<std::uintmax_t> fileSize = eeprom_files::ReadableFileSize(input);
        if (!fileSize) {
            throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: failed to read EEPROM binary file");
        }
        const std::optional<CdsDataType> region = eeprom_files::RegionOfFileSize(*fileSize);
        if (!region) {
            throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: EEPROM file has unexpected size");
        }
        examined.ReadRawData(input.c_str(), *region);
        std::printf("Loading EEPROM data from %s\n", input.c_str());
    } else {
        if (!cameraPresent) {
            throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: No camera connected, cannot run 'diff' operation");
        }
        std::printf("Reading EEPROM data from camera\n");
        const std::uint32_t size = SelectEepromFile();
        // The camera is read again for every diff, into the updater's cache.
        std::vector<std::uint8_t> bytes = ZeroedBuffer(size, "Memory allocation error - diff buffer");
        ReadFileFFS(bytes, kEepromFile, 0);
        RefuseInterruptedUpdate(bytes);
        eepromCache = std::move(bytes);
        examined.SetRawData(eepromCache.data(), size, CdsDataType::WholeImage);
    }

    std::uint8_t structVersion = 0;
    std::uint8_t defaultsVersion = 0;
    if (!eepromVersion.empty()) {
        examined.SetCameraCalibDataVersion(eepromVersion.c_str());
        defaults.SetCameraCalibDataVersion(eepromVersion.c_str());
        examined.GetCalibrationDataStructureVersion(&structVersion);
        examined.GetCameraModeDefaultsVersion(&defaultsVersion);
    } else {
        structVersion = examined.GetEepromDataStructVersionForCurrentCpu();
        defaultsVersion = examined.GetCameraModeDefaultsVersionForCurrentCpu();
    }

    std::printf("Running diff operation for %s CPU %s EEPROM version %02d.%02d\n", modelName.c_str(),
                currentFwVersion.c_str(), structVersion, defaultsVersion);
    const std::string reportName =
        CheckedFileName(FormatText("%s_CPU_%s_EEPROM_%02d_%02d_diff.txt", SafeNamePart(modelName).c_str(),
                                   SafeNamePart(currentFwVersion).c_str(), structVersion, defaultsVersion));
    std::printf("Extracting EEPROM data started\n");
    examined.UnpackSensorModesData();
    std::printf("Loading EEPROM defaults\n");
    defaults.UnpackSensorModesDefaultsData();
    std::printf("Storing EEPROM defaults diff to file %s\n", reportName.c_str());
    std::ofstream report(zv::os::FilePath(reportName), std::ios::binary | std::ios::trunc);
    if (!report) {
        throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: Failed to create EEPROM diff file");
    }

    int totalChanges = 0;
    const std::uint32_t pages = examined.GetPagesCount();
    for (std::uint32_t page = 0; page < pages; ++page) {
        examined.SelectFieldsPage(page);
        defaults.SelectFieldsPage(page);
        std::string block;
        int changes = 0;
        const std::uint32_t fields = examined.GetFieldsCount();
        for (std::uint32_t field = 0; field < fields; ++field) {
            examined.SelectFieldByIndex(field);
            defaults.SelectFieldByIndex(field);
            std::array<char, kFieldNameSize> nameBuffer{};
            examined.GetFieldName(nameBuffer.data(), static_cast<std::uint32_t>(nameBuffer.size()));
            const std::string name(nameBuffer.data());
            if (name == "No use" || name == "Mode_ID") {
                continue;
            }
            const std::int32_t value = examined.GetFieldValueInt32();
            const CdsFieldType type = examined.GetFieldType();
            const std::int32_t defaultValue = defaults.GetFieldValueInt32();
            if (value == defaultValue) {
                continue;
            }
            block += ColumnLine(name, FieldValueText(value, type), FieldValueText(defaultValue, type));
            ++changes;
        }
        if (changes == 0) {
            continue;
        }
        totalChanges += changes;
        std::printf("Found %d changes on calibration page %u\n", changes, page);
        report << "//-------------------------------------------\n"
               << "Diff page " << page << "\n"
               << ColumnLine("Field name", "Value", "Defaults ") << block;
    }
    report.close();
    if (!report) {
        throw UpdaterError("FW_Updater_FAPI:DiffFirmwareContent: Failed to write EEPROM diff file");
    }

    std::printf("Diff evaluation finished\n");
    if (totalChanges > 0) {
        std::printf("Diff Found %d changes\n", totalChanges);
    } else {
        std::printf("No changes found\n");
    }
}

void FW_Updater_FAPI::ConvertEEPROMDumpData(std::span<const std::uint8_t> dump)
{
    // The dump file is written already and stays whatever happens here. A
    // model the calibration definitions do not know has no listings to give:
    // the command fails, so a script does not take its missing listings for
    // made. Listings that cannot be made for a known model do not fail it.
    const std::optional<std::string> cpuVersion = GetCpuFirmwareVersion();
    if (!cpuVersion) {
        throw UpdaterError("ConvertEEPROMDumpData ERROR: Unknown camera model");
    }
    const std::string model = ReadCameraModel();
    try {
        std::printf("Converting EEPROM data  \n");
        const std::string dumpName = inputFile.value_or(std::string());
        const std::string textName = CheckedFileName(dumpName + "_OrvikFormat.txt");
        const std::string csvName = CheckedFileName(dumpName + "_CalibData.csv");
        CalibDataStructureConverter converter;
        converter.AllocateCacheIfNeeded();
        converter.CreatePartitionTable();
        PrepareConverter(converter, model, *cpuVersion);
        if (dump.size() > eeprom_files::kImageSize) {
            throw UpdaterError(FormatText(
                "ConvertEEPROMDumpData ERROR: dump of %zu bytes is larger than an EEPROM image", dump.size()));
        }
        converter.SetRawData(dump.data(), static_cast<std::uint32_t>(dump.size()), CdsDataType::WholeImage);
        converter.UnpackSensorModesData();
        converter.WriteUnpackedCalibData(textName.c_str(), false);
        converter.WriteUnpackedCalibData(csvName.c_str(), true);
        std::printf("Converting EEPROM data  OK\n");
    } catch (const std::exception& error) {
        std::printf("%s\n", error.what());
        std::printf("Failed to convert EEPROM calibration file.\n");
    }
}
