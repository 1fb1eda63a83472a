#pragma once

// The controller's MCU programming bus and the flash behind it: the STM32's
// (cpu2.bin, seen at the STM32 flash base, erased by sector) or, on a camera
// with a C2 MCU, the C2's (mcu1.bin, erased by page). The bus must be opened
// by kReqMcuProgInit; kReqStmReset restarts the STM32 on its new image.

#include <cstdint>
#include <memory>

#include "mapped_file.h"
#include "usb3_request.h"

namespace zvemu {

class Usb3McuBus {
public:
    Usb3McuBus(Usb3Core& core, std::unique_ptr<MappedFile> stm32, std::unique_ptr<MappedFile> c2);

    Usb3Outcome Handle(const Usb3Request& r, Usb3Reply& reply);
    void Reset() { programming_ = false; }
    const MappedFile& Stm32Memory() const { return *stm32_; }

private:
    Usb3Outcome Erase(MappedFile& memory);

    Usb3Core& core_;
    std::unique_ptr<MappedFile> stm32_;
    std::unique_ptr<MappedFile> c2_;
    bool programming_ = false;
};

// The STM32 image's running version (u16 at 0x10; all ones: no image).
std::uint16_t Stm32ImageVersion(const MappedFile& stm32);

}  // namespace zvemu
