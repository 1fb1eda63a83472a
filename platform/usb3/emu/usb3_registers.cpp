#include "usb3_registers.h"

#include <string>

#include "zvusb3/usb3_protocol.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint8_t kIdentityFirst = kIdentityRegisterFirst;
constexpr std::uint8_t kIdentityLast = kIdentityRegisterFirst + 2;
constexpr std::uint8_t kFpgaVersionRegisters[] = {1, 11};

}  // namespace

Usb3Registers::Usb3Registers(Usb3Core& core) : core_(core)
{
    Reset();
}

void Usb3Registers::Reset()
{
    registers_ = {};
    for (const std::uint8_t reg : kFpgaVersionRegisters) {
        registers_[reg] = core_.face.fpgaVersion;
    }
}

std::uint32_t Usb3Registers::Value(std::uint8_t reg) const
{
    if (reg >= kIdentityFirst && reg <= kIdentityLast && registers_[kIdentityFirst] == kIdentityKey[0] &&
        registers_[kIdentityFirst + 1] == kIdentityKey[1] && registers_[kIdentityFirst + 2] == kIdentityKey[2]) {
        return core_.IdentityHash(std::to_string(reg)) & 0xFFFF;
    }
    return registers_[reg];
}

Usb3Outcome Usb3Registers::Handle(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.code == kReqRegDataIn) {
        if (r.direction != kDirectionIn || r.wanted > 4) {
            return Usb3Outcome::Error;
        }
        const std::uint32_t v = Value(static_cast<std::uint8_t>((core_.setupWord >> 24) & kRegisterMask));
        for (std::uint32_t i = 0; i < r.wanted; ++i) {
            reply.bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
        reply.length = r.wanted;
        return Usb3Outcome::Ok;
    }
    if (r.direction != kDirectionOut || r.carried < 2 || r.carried > 5 || (r.data[0] & kRegisterWriteFlag) == 0) {
        return Usb3Outcome::Error;
    }
    std::uint32_t v = 0;
    for (std::uint32_t i = 1; i < r.carried; ++i) {
        v = (v << 8) | r.data[i];
    }
    registers_[r.data[0] & kRegisterMask] = v;
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
