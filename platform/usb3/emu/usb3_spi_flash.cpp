#include "usb3_spi_flash.h"

#include <cstring>

#include "os_memory.h"
#include "usb3_hook_layer.h"
#include "usb3_registers.h"
#include "zvusb3/usb3_protocol.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kEraseBusyPolls = 3;
constexpr std::uint32_t kChipEraseBusyPolls = kEraseBusyPolls * 4;
constexpr std::uint32_t kProgramBusyPolls = 1;
constexpr std::size_t kShiftCapacity = 2048;
constexpr std::uint8_t kFloatingBus = 0xFF;  // what a read answers that no command drives

// The 24-bit address after a command byte, most significant first.
std::uint32_t CommandAddress(const std::vector<std::uint8_t>& shift)
{
    return (static_cast<std::uint32_t>(shift[1]) << 16) | (static_cast<std::uint32_t>(shift[2]) << 8) | shift[3];
}

// The same from the set-up word: command in its low byte, then the address
// most significant byte first.
std::uint32_t SetupAddress(std::uint32_t word)
{
    return ((word >> 8) & 0xFF) << 16 | ((word >> 16) & 0xFF) << 8 | (word >> 24);
}

}  // namespace

Usb3SpiFlash::Usb3SpiFlash(Usb3Core& core, Usb3HookSet& hooks, Usb3Registers& registers,
                           std::unique_ptr<MappedFile> memory)
    : core_(core), hooks_(hooks), registers_(registers), memory_(std::move(memory))
{
    shift_.reserve(kShiftCapacity);
}

bool Usb3SpiFlash::Busy() const
{
    return busyPolls_ > 0 || (!hooks_.Empty() && hooks_.Has(Usb3Hook::Kind::Busy));
}

void Usb3SpiFlash::Reset()
{
    select_ = Select::None;
    shift_.clear();
    writeEnabled_ = false;
    busyPolls_ = 0;
}

void Usb3SpiFlash::Program(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool pageWrap)
{
    const std::uint32_t size = Size();
    if (!pageWrap && address < size && length <= size - address) {
        AndProgram(memory_->data() + address, data, length);
        return;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        std::uint32_t at = address + i;
        if (pageWrap) {
            // One page program stays within its page: past the end it wraps.
            at = (address & ~(kSpiPageSize - 1)) | ((address + i) & (kSpiPageSize - 1));
        }
        at %= size;
        memory_->data()[at] &= data[i];
    }
}

void Usb3SpiFlash::Deselect()
{
    if (select_ == Select::Spi && !shift_.empty() && !Busy()) {
        const std::uint8_t command = shift_[0];
        const std::uint32_t address = shift_.size() >= 4 ? CommandAddress(shift_) : 0;
        const std::uint32_t size = Size();
        switch (command) {
        case kSpiWriteEnable:
            writeEnabled_ = true;
            break;
        case kSpiWriteDisable:
            writeEnabled_ = false;
            break;
        case kSpiSectorEraseCmd:
            if (writeEnabled_ && shift_.size() >= 4) {
                const std::uint32_t start = (address & ~(kSpiSectorSize - 1)) % size;
                // The whole sector is written: its pages mapped in one call.
                zv::os::PrefaultBuffer(memory_->data() + start, kSpiSectorSize);
                std::memset(memory_->data() + start, 0xFF, kSpiSectorSize);
                busyPolls_ = kEraseBusyPolls;
                writeEnabled_ = false;
            }
            break;
        case kSpiChipEraseCmd:
            if (writeEnabled_) {
                std::memset(memory_->data(), 0xFF, size);
                busyPolls_ = kChipEraseBusyPolls;
                writeEnabled_ = false;
            }
            break;
        case kSpiPageProgram:
            if (writeEnabled_ && shift_.size() >= 4) {
                Program(address, shift_.data() + 4, static_cast<std::uint32_t>(shift_.size() - 4), true);
                busyPolls_ = kProgramBusyPolls;
                writeEnabled_ = false;
            }
            break;
        default:
            break;  // the chip ignores what it does not know
        }
    }
    select_ = Select::None;
    shift_.clear();
    shiftIn_ = 0;
}

Usb3Outcome Usb3SpiFlash::Bus(const Usb3Request& r, Usb3Reply& reply)
{
    switch (r.code) {
    case kReqSpiSelect:
    case kReqRegSelect:
        select_ = r.code == kReqSpiSelect ? Select::Spi : Select::Register;
        shift_.clear();
        shiftIn_ = 0;
        return Usb3Outcome::Ok;
    case kReqSpiDeselect:
        if (select_ == Select::Spi) {
            Deselect();
        }
        select_ = Select::None;
        return Usb3Outcome::Ok;
    case kReqRegDeselect:
        select_ = Select::None;
        shift_.clear();
        return Usb3Outcome::Ok;
    case kReqSpiOut:
        if (r.direction != kDirectionOut || select_ == Select::None || shift_.size() + r.carried > kShiftCapacity) {
            return Usb3Outcome::Error;
        }
        shift_.insert(shift_.end(), r.data, r.data + r.carried);
        return Usb3Outcome::Ok;
    case kReqSpiIn: {
        if (r.direction != kDirectionIn || select_ == Select::None || shift_.empty()) {
            return Usb3Outcome::Error;
        }
        const std::uint32_t n = r.wanted;
        if (select_ == Select::Register) {
            // The register bus sends the first two bytes high byte first.
            const std::uint32_t v = registers_.Value(shift_[0] & kRegisterMask);
            std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v),
                                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
            if (n > 4) {
                return Usb3Outcome::Error;
            }
            std::memcpy(reply.bytes, bytes, n);
        } else if (shift_[0] == kSpiReadStatusCmd) {
            for (std::uint32_t i = 0; i < n; ++i) {
                reply.bytes[i] = static_cast<std::uint8_t>((Busy() ? kSpiStatusBusy : 0) |
                                                           (writeEnabled_ ? kSpiStatusWriteEnabled : 0));
                if (busyPolls_ > 0) {
                    --busyPolls_;
                }
            }
        } else if (shift_[0] == kSpiReadCmd && shift_.size() >= 4 && !Busy()) {
            const std::uint32_t size = Size();
            const std::uint32_t address = CommandAddress(shift_);
            for (std::uint32_t i = 0; i < n; ++i) {
                reply.bytes[i] = memory_->data()[(address + shiftIn_ + i) % size];
            }
            shiftIn_ += n;
        } else {
            std::memset(reply.bytes, kFloatingBus, n);
        }
        reply.length = n;
        return Usb3Outcome::Ok;
    }
    default:
        return Usb3Outcome::Error;
    }
}

Usb3Outcome Usb3SpiFlash::DataIn(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.direction != kDirectionIn || (core_.setupWord & 0xFF) != kSpiReadCmd) {
        return Usb3Outcome::Error;
    }
    const std::uint32_t address = SetupAddress(core_.setupWord);
    if (address + r.wanted > Size()) {
        return Usb3Outcome::Error;
    }
    std::memcpy(reply.bytes, memory_->data() + address, r.wanted);
    reply.length = r.wanted;
    return Usb3Outcome::Ok;
}

Usb3Outcome Usb3SpiFlash::DataOut(const Usb3Request& r)
{
    if (r.direction != kDirectionOut || (core_.setupWord & 0xFF) != kSpiPageProgram || Busy()) {
        return Usb3Outcome::Error;
    }
    if (core_.face.ControllerFamily() == Usb3Face::Family::Middle && r.carried > 64) {
        return Usb3Outcome::Error;
    }
    const std::uint32_t address = SetupAddress(core_.setupWord);
    if (address + r.carried > Size()) {
        return Usb3Outcome::Error;
    }
    // The controller enables each page program itself and waits it out.
    Program(address, r.data, r.carried, false);
    writeEnabled_ = false;
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
