#pragma once

// The camera models the calibration fuzz targets choose from by their first
// input byte: a model and a CPU firmware version it runs.

#include "calib_data_structure_converter.h"

#include <array>
#include <cstdint>

namespace zvfuzz {

struct CalibModel {
    const char* model;
    const char* cpu;
};

inline constexpr std::array<CalibModel, 3> kCalibModels = {{
    {"JV966JK-TD-G8-V7T9-JND", "02.50"},
    {"JR574XX-D0-BSI-1", "04.00"},
    {"JV285VT-TD-BM-TQ-VKU", "02.00"},
}};

inline const CalibModel& CalibModelOf(std::uint8_t selector)
{
    return kCalibModels[selector % kCalibModels.size()];
}

// A converter for the model at its CPU version (current and new).
inline void PrepareConverter(CalibDataStructureConverter& converter, const CalibModel& model)
{
    converter.SetCameraModel(model.model);
    converter.SetCpuFirmwareVersion(model.cpu);
    converter.SetNewCpuFirmwareVersion(model.cpu);
}

}  // namespace zvfuzz
