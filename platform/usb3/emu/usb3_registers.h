#pragma once

// The controller's register bus: 128 registers the host writes and reads
// back (the FPGA version in 1 and 11), reached through the serial bus or the
// newer families' register requests.

#include <array>
#include <cstdint>

#include "usb3_request.h"

namespace zvemu {

class Usb3Registers {
public:
    explicit Usb3Registers(Usb3Core& core);

    // What register `reg` reads back.
    std::uint32_t Value(std::uint8_t reg) const;
    // kReqRegDataIn (the register in the set-up word) and kReqRegWrite.
    Usb3Outcome Handle(const Usb3Request& r, Usb3Reply& reply);
    // At a controller reset: all 0 but the FPGA version.
    void Reset();

private:
    Usb3Core& core_;
    std::array<std::uint32_t, 128> registers_{};
};

}  // namespace zvemu
