#pragma once

#include <cstdint>
#include <vector>

#include "zvemu/camera_record.h"

namespace zvcam_emu {

// The calibration EEPROM image ("File_EEPROM1", 65,536 bytes) a new camera
// starts with. For now every camera starts erased (all 0xFF); this is the
// one place where a camera of a known model gets its model's default image.
std::vector<uint8_t> InitialEepromImage(const zvemu::CameraRecord& camera);

}  // namespace zvcam_emu
