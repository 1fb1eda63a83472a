#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"

namespace calib_test {

// A model name that the row's pattern matches.
inline const char* ModelOfRow(size_t row)
{
    const std::string pattern = CdsDefinitionTable()[row].model_pattern;
    if (pattern == "^TestCam01") {
        return "TestCam01";
    }
    if (pattern == "^TestCam02") {
        return "TestCam02";
    }
    if (pattern == "^TestCam03") {
        return "TestCam03";
    }
    if (pattern == "^JV966.*K-TD-G.*") {
        return "JV966JK-TD-G8-V7T9-JND";
    }
    if (pattern == "^JV966.*K-TD-B.*") {
        return "JV966JK-TD-B8-V7T9-JND";
    }
    if (pattern == "^JR574.*D0-BSI.*") {
        return "JR574JK-TD-D0-BSI";
    }
    if (pattern == "^JR574.*D88-BSI.*") {
        return "JR574JK-TD-D88-BSI";
    }
    if (pattern == "^JR825.*") {
        return "JR825";
    }
    return "JV285VT-TD";
}

// The default pages of a row (or of the row that lends them), the partition
// table with the row's versions, 0xFF elsewhere.
inline std::vector<uint8_t> DefaultImageOfRow(size_t row)
{
    const auto& table = CdsDefinitionTable();
    const CdsDefinition& def = table[row];
    const CdsDefaultImage* pages = def.mode_defaults_image;
    for (size_t r = 0; pages == nullptr && r < table.size(); ++r) {
        if (table[r].mode_defaults_image != nullptr && std::string(table[r].model_pattern) == def.model_pattern &&
            table[r].eeprom_struct_ver == def.eeprom_struct_ver &&
            table[r].mode_defaults_ver == def.mode_defaults_ver) {
            pages = table[r].mode_defaults_image;
        }
    }
    std::vector<uint8_t> image(0x10000, 0xFF);
    const auto bytes = pages->Bytes();
    std::copy(bytes.begin(), bytes.end(), image.begin());
    CalibDataStructureConverter tableMaker;
    tableMaker.CreatePartitionTable();
    tableMaker.SetCalibrationDataStructureVersion(def.eeprom_struct_ver);
    tableMaker.SetCameraModeDefaultsVersion(def.mode_defaults_ver);
    tableMaker.GetRawData(image.data() + 0xFE00, 0x100, CdsDataType::PartitionTable);
    return image;
}

// Loads a whole image for the row's model and unpacks every page.
inline void LoadUnpacked(CalibDataStructureConverter& converter, size_t row, const std::vector<uint8_t>& image)
{
    const CdsDefinition& def = CdsDefinitionTable()[row];
    converter.SetCameraModel(ModelOfRow(row));
    converter.SetCpuFirmwareVersion(def.cpu_fw_min);
    converter.SetNewCpuFirmwareVersion(def.cpu_fw_min);
    converter.SetRawData(image.data(), static_cast<uint32_t>(image.size()), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
}

inline std::vector<uint8_t> WholeImageOf(CalibDataStructureConverter& converter)
{
    std::vector<uint8_t> image(0x10000);
    converter.GetRawData(image.data(), static_cast<uint32_t>(image.size()), CdsDataType::WholeImage);
    return image;
}

// The mode id the listings write for a page.
inline std::string ModeIdOf(uint32_t page)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x5A%02X", page);
    return text;
}

// A copy of the row's field table, holding its initial values.
inline std::vector<UnpackedField> FieldsOfRow(size_t row)
{
    const auto table = CdsDefinitionTable()[row].FieldTable();
    return {table.begin(), table.end()};
}

inline UnpackedField& FieldNamed(std::vector<UnpackedField>& fields, const std::string& name)
{
    for (UnpackedField& field : fields) {
        if (field.name != nullptr && name == field.name) {
            return field;
        }
    }
    throw std::runtime_error("no field " + name);
}

}  // namespace calib_test
