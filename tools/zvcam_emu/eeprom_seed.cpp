#include "zvcam_emu/eeprom_seed.h"

namespace zvcam_emu {

std::vector<uint8_t> InitialEepromImage(const zvemu::CameraRecord&) {
    return std::vector<uint8_t>(zvemu::kEepromSize, 0xFF);
}

}  // namespace zvcam_emu
