#include "usb3_mcu_bus.h"

#include <cstring>

#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kStm32Sectors[8] = {16 * 1024, 16 * 1024,  16 * 1024,  16 * 1024,
                                            64 * 1024, 128 * 1024, 128 * 1024, 128 * 1024};
constexpr std::size_t kStm32VersionOffset = 0x10;
constexpr std::uint16_t kNoVersion = 0xFFFF;

}  // namespace

std::uint16_t Stm32ImageVersion(const MappedFile& stm32)
{
    return GetLe16(stm32.data() + kStm32VersionOffset);
}

Usb3McuBus::Usb3McuBus(Usb3Core& core, std::unique_ptr<MappedFile> stm32, std::unique_ptr<MappedFile> c2)
    : core_(core), stm32_(std::move(stm32)), c2_(std::move(c2))
{
}

Usb3Outcome Usb3McuBus::Erase(MappedFile& memory)
{
    const std::uint32_t word = core_.setupWord;
    const std::uint32_t size = static_cast<std::uint32_t>(memory.size());
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    if (core_.face.c2Bus) {
        // The set-up word is the page's address.
        if (word % kC2PageSize != 0 || word >= size) {
            return Usb3Outcome::Error;
        }
        start = word;
        length = kC2PageSize;
    } else {
        // The set-up word is the sector's number.
        if (word >= 8) {
            return Usb3Outcome::Error;
        }
        for (std::uint32_t s = 0; s < word; ++s) {
            start += kStm32Sectors[s];
        }
        length = kStm32Sectors[word];
    }
    std::memset(memory.data() + start, 0xFF, length);
    return Usb3Outcome::Ok;
}

Usb3Outcome Usb3McuBus::Handle(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.code == kReqMcuProgInit) {
        programming_ = true;
        return Usb3Outcome::Ok;
    }
    if (r.code == kReqStmReset) {
        if (r.direction != kDirectionOut || r.carried != 1) {
            return Usb3Outcome::Error;
        }
        // The STM32 restarts and runs the version its image carries.
        const std::uint16_t version = Stm32ImageVersion(*stm32_);
        if (version != kNoVersion) {
            core_.face.stm32Version = version;
            core_.SaveFace();
        }
        programming_ = false;
        return Usb3Outcome::Ok;
    }
    if (!programming_) {
        return Usb3Outcome::Error;
    }
    MappedFile& memory = core_.face.c2Bus ? *c2_ : *stm32_;
    if (r.code == kReqMcuErase) {
        return Erase(memory);
    }
    const std::uint32_t base = core_.face.c2Bus ? 0 : kStm32FlashBase;
    const std::uint32_t size = static_cast<std::uint32_t>(memory.size());
    const bool writing = r.code == kReqMcuDataOut;
    const std::uint32_t word = core_.setupWord;
    const std::uint32_t length = writing ? r.carried : r.wanted;
    if (word < base || word - base > size || length > size - (word - base) ||
        writing != (r.direction == kDirectionOut)) {
        return Usb3Outcome::Error;
    }
    std::uint8_t* at = memory.data() + (word - base);
    if (writing) {
        AndProgram(at, r.data, length);
    } else {
        std::memcpy(reply.bytes, at, length);
        reply.length = length;
    }
    core_.setupWord += length;  // the next piece continues where this one ended
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
