#include "usb3_ram.h"

#include <cstring>

#include "usb3_device.h"
#include "zvusb3/usb3_protocol.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kRamSize = 512 * 1024;
constexpr std::uint32_t kStartupGoneRounds = 2;
constexpr std::uint32_t kStartupWarmupPolls = 2;

}  // namespace

Usb3Outcome Usb3Ram::Handle(const Usb3Request& r)
{
    const std::uint32_t address = r.value + (static_cast<std::uint32_t>(r.index) << 16);
    if (r.direction != kDirectionOut) {
        return Usb3Outcome::Error;
    }
    if (r.carried == 0) {
        // Start: a bare controller runs the image and comes back as the camera.
        if (core_.face.bare) {
            core_.face.bare = false;
            core_.face.publicClass = false;
            core_.SaveFace();
            core_.Vanish(kStartupGoneRounds);
            core_.session->warmupPolls = kStartupWarmupPolls;
        }
        return Usb3Outcome::Ok;
    }
    if (address < kRamBase || address - kRamBase > kRamSize || r.carried > kRamSize - (address - kRamBase)) {
        return Usb3Outcome::Error;
    }
    if (ram_.empty()) {
        ram_.assign(kRamSize, 0);
    }
    std::memcpy(ram_.data() + (address - kRamBase), r.data, r.carried);
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
