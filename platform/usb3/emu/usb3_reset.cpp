// The controller reset of the emulated camera: the images in its flash
// become what runs, and every device starts afresh.

#include "usb3_dispatch.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

// Where the controller's image keeps its version, and the FPGA image its own.
constexpr std::size_t kControllerMinorOffset = 0x10;
constexpr std::size_t kControllerMajorOffset = 0x11;
constexpr std::size_t kFpgaVersionOffset = 0x10;
constexpr std::size_t kFpgaRegion = 4;  // the FPGA image's entry in the flash map descriptor
constexpr std::uint32_t kNoFpgaVersion = 0xFFFFFFFF;
constexpr std::uint16_t kNoStm32Version = 0xFFFF;

}  // namespace

Usb3Outcome Usb3Dispatcher::Reset()
{
    const std::uint8_t* cpu1 = spi_.Memory().data();
    if (GetLe16(cpu1) == kBootSignature) {
        core_.face.controllerMinor = cpu1[kControllerMinorOffset];
        core_.face.controllerMajor = cpu1[kControllerMajorOffset];
    }
    const auto descriptor = Usb3FlashMapDescriptor(core_.face.generation);
    const std::uint32_t fpgaStart = GetLe32(descriptor.data() + 8 + 8 * kFpgaRegion);
    const std::uint32_t fpgaSize = GetLe32(descriptor.data() + 12 + 8 * kFpgaRegion);
    if (fpgaSize > kFpgaVersionOffset + 4) {
        const std::uint32_t version = GetLe32(cpu1 + fpgaStart + kFpgaVersionOffset);
        if (version != kNoFpgaVersion) {
            core_.face.fpgaVersion = version;
        }
    }
    if (const std::uint16_t version = Stm32ImageVersion(mcu_.Stm32Memory()); version != kNoStm32Version) {
        core_.face.stm32Version = version;
    }
    core_.SaveFace();
    registers_.Reset();
    spi_.Reset();
    mcu_.Reset();
    c51_.Reset();
    endpoint_.DropPackets();
    core_.Vanish(core_.vanishOpens.value_or(0));
    return Usb3Outcome::Reset;
}

}  // namespace zvemu
