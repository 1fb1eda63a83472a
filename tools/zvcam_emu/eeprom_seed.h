#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zvemu/camera_record.h"

namespace zvcam_emu {

// The calibration EEPROM image ("File_EEPROM1", 65,536 bytes) a new camera
// starts with: for a model the calibration definitions know, at a CPU version
// they cover, a partition table with the data versions that CPU expects and
// those versions' mode defaults; otherwise erased (all 0xFF).
std::vector<uint8_t> InitialEepromImage(const zvemu::CameraRecord& camera);

// The same image at another data version (structure version, mode-defaults
// version): a camera whose data were made for an older firmware. Throws when
// no calibration definition of the model has that version.
struct DataVersion {
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
};
std::vector<uint8_t> EepromImageAtVersion(const zvemu::CameraRecord& camera, DataVersion version);

// The CPU version a new camera of the model runs when none is given: the
// lowest the model's first calibration definition covers; empty for a model
// the definitions do not know.
std::string DefaultCpuVersion(std::string_view model);

}  // namespace zvcam_emu
