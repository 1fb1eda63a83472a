#pragma once

// Calibration EEPROM images for the tests of the calibration workflows, and a
// working directory of their own for the files those workflows write.

#include "calib_data_structure_converter.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace eeprom_test {

inline constexpr std::size_t kImageSize = 0x10000;
inline constexpr std::size_t kTableOffset = 0xFE00;
inline constexpr std::size_t kFlagOffset = kTableOffset + 42;
inline constexpr std::size_t kStructVersionOffset = kTableOffset + 116;
inline constexpr std::size_t kDefaultsVersionOffset = kTableOffset + 117;

inline constexpr const char* kJV966 = "JV966JK-TD-G8-V7T9-JND";

// A whole image of the model at data version (s, d): a partition table and
// the mode defaults of that version. `edit` may change the unpacked pages
// before they are packed.
inline std::vector<std::uint8_t> DefaultsImage(const std::string& model, const std::string& cpuVersion,
                                               std::uint8_t structVersion, std::uint8_t defaultsVersion,
                                               const std::function<void(CalibDataStructureConverter&)>& edit = {})
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion.c_str());
    converter.CreatePartitionTable();
    converter.SetCalibrationDataStructureVersion(structVersion);
    converter.SetCameraModeDefaultsVersion(defaultsVersion);
    converter.UnpackSensorModesDefaultsData();
    if (edit) {
        edit(converter);
    }
    converter.SaveSensorModes();
    std::vector<std::uint8_t> image(kImageSize);
    converter.GetRawData(image.data(), static_cast<std::uint32_t>(image.size()), CdsDataType::WholeImage);
    return image;
}

// Sets a field of a page by name (engineering value).
inline void SetField(CalibDataStructureConverter& converter, std::uint32_t page, const char* name, std::int32_t value)
{
    converter.SelectFieldsPage(page);
    converter.SelectFieldByName(name);
    converter.SetFieldValueInt32(value);
}

// A field's engineering value as the image holds it for (s, d).
inline std::int32_t FieldOf(const std::vector<std::uint8_t>& image, const std::string& model,
                            const std::string& cpuVersion, std::uint32_t page, const char* name)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model.c_str());
    converter.SetCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetNewCpuFirmwareVersion(cpuVersion.c_str());
    converter.SetRawData(image.data(), static_cast<std::uint32_t>(image.size()), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    converter.SelectFieldsPage(page);
    converter.SelectFieldByName(name);
    return converter.GetFieldValueInt32();
}

struct TableBytes {
    bool valid = false;
    int structVersion = 0;
    int defaultsVersion = 0;
    int flag = 0;
};

inline TableBytes TableOf(const std::vector<std::uint8_t>& image)
{
    TableBytes t;
    if (image.size() < kImageSize) {
        return t;
    }
    t.valid = image[kTableOffset] == 0xCA && image[kTableOffset + 1] == 0x1B;
    t.structVersion = image[kStructVersionOffset];
    t.defaultsVersion = image[kDefaultsVersionOffset];
    t.flag = image[kFlagOffset];
    return t;
}

// The test's files go to a directory of its own, made the working
// directory for as long as the object lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& path) : previous_(std::filesystem::current_path())
    {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~WorkingDirectory()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace eeprom_test
