#include "zvcam_emu/eeprom_seed.h"

#include <exception>
#include <regex>

#include "calib_data_structure_converter.h"

namespace zvcam_emu {

namespace {

// A camera of a model the calibration definitions know, at a CPU version
// they cover, holds a partition table with its data versions and the mode
// defaults of those versions; any other camera starts erased.
std::vector<uint8_t> CalibratedImage(const zvemu::CameraRecord& camera) {
    const std::string cpuVersion = camera.Version(camera.CpuVersionParam());
    CalibDataStructureConverter converter;
    converter.SetCameraModel(camera.model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion.c_str());
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
    if (!converter.FindDataVersionsForCpu(cpuVersion.c_str(), &structVersion, &defaultsVersion)) return {};
    converter.CreatePartitionTable();
    converter.SetCalibrationDataStructureVersion(structVersion);
    converter.SetCameraModeDefaultsVersion(defaultsVersion);
    converter.UnpackSensorModesDefaultsData();
    converter.SaveSensorModes();
    std::vector<uint8_t> image(zvemu::kEepromSize);
    converter.GetRawData(image.data(), static_cast<uint32_t>(image.size()), CdsDataType::WholeImage);
    return image;
}

}  // namespace

std::string DefaultCpuVersion(std::string_view model) {
    const std::string name(model);
    for (const CdsDefinition& row : CdsDefinitionTable()) {
        if (row.model_pattern != nullptr && std::regex_search(name, std::regex(row.model_pattern)))
            return row.cpu_fw_min;
    }
    return {};
}

std::vector<uint8_t> InitialEepromImage(const zvemu::CameraRecord& camera) {
    try {
        auto image = CalibratedImage(camera);
        if (!image.empty()) return image;
    } catch (const std::exception&) {
        // A model or version the definitions cannot serve keeps an erased EEPROM.
    }
    return std::vector<uint8_t>(zvemu::kEepromSize, 0xFF);
}

}  // namespace zvcam_emu
