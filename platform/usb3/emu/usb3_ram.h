#pragma once

// The controller's RAM (kReqRamWrite): a boot image is written into it and
// started by a write without data, which turns a bare controller into the
// camera (it leaves the bus for a while and comes back under the maker's
// class).

#include <cstdint>
#include <vector>

#include "usb3_request.h"

namespace zvemu {

class Usb3Ram {
public:
    explicit Usb3Ram(Usb3Core& core) : core_(core) {}

    Usb3Outcome Handle(const Usb3Request& r);

private:
    Usb3Core& core_;
    std::vector<std::uint8_t> ram_;  // made at the first write: most runs never load a boot image
};

}  // namespace zvemu
