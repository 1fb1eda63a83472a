#include "zvcam_emu/eeprom_seed.h"

#include <exception>
#include <regex>
#include <stdexcept>

#include "calib_data_structure_converter.h"

namespace zvcam_emu {

namespace {

// A camera of a model the calibration definitions know, at a CPU version
// they cover, holds a partition table with its data versions and the mode
// defaults of those versions; any other camera starts erased.
std::vector<uint8_t> ImageAt(const zvemu::CameraRecord& camera, const std::string& cpuVersion, DataVersion version)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(camera.model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion.c_str());
    converter.CreatePartitionTable();
    converter.SetCalibrationDataStructureVersion(version.structVersion);
    converter.SetCameraModeDefaultsVersion(version.defaultsVersion);
    converter.UnpackSensorModesDefaultsData();
    converter.SaveSensorModes();
    std::vector<uint8_t> image(zvemu::kEepromSize);
    converter.GetRawData(image.data(), static_cast<uint32_t>(image.size()), CdsDataType::WholeImage);
    return image;
}

// A camera of a model the calibration definitions know, at a CPU version
// they cover, holds a partition table with its data versions and the mode
// defaults of those versions; any other camera starts erased.
std::vector<uint8_t> CalibratedImage(const zvemu::CameraRecord& camera)
{
    const std::string cpuVersion = camera.Version(camera.CpuVersionParam());
    CalibDataStructureConverter converter;
    converter.SetCameraModel(camera.model.c_str());
    DataVersion version;
    if (!converter.FindDataVersionsForCpu(cpuVersion.c_str(), &version.structVersion, &version.defaultsVersion)) {
        return {};
    }
    return ImageAt(camera, cpuVersion, version);
}

}  // namespace

std::string DefaultCpuVersion(std::string_view model)
{
    const std::string name(model);
    for (const CdsDefinition& row : CdsDefinitionTable()) {
        if (row.model_pattern != nullptr && std::regex_search(name, std::regex(row.model_pattern))) {
            return row.cpu_fw_min;
        }
    }
    return {};
}

std::vector<uint8_t> EepromImageAtVersion(const zvemu::CameraRecord& camera, DataVersion version)
{
    const std::string text = std::to_string(version.structVersion) + "." + std::to_string(version.defaultsVersion);
    for (const CdsDefinition& row : CdsDefinitionTable()) {
        if (row.model_pattern == nullptr || !std::regex_search(camera.model, std::regex(row.model_pattern)) ||
            row.eeprom_struct_ver != version.structVersion || row.mode_defaults_ver != version.defaultsVersion) {
            continue;
        }
        // The row's own CPU range serves to pick its definition.
        return ImageAt(camera, row.cpu_fw_min, version);
    }
    throw std::runtime_error("no calibration definition of " + camera.model + " has the EEPROM data version " + text);
}

std::vector<uint8_t> InitialEepromImage(const zvemu::CameraRecord& camera)
{
    try {
        auto image = CalibratedImage(camera);
        if (!image.empty()) {
            return image;
        }
    } catch (const std::exception&) {
        // A model or version the definitions cannot serve keeps an erased EEPROM.
    }
    return std::vector<uint8_t>(zvemu::kEepromSize, 0xFF);
}

}  // namespace zvcam_emu
