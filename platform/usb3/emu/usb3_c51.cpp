#include "usb3_c51.h"

#include <algorithm>
#include <cstring>

#include "usb3_hook_layer.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kEraseBusy = 3;
constexpr std::size_t kBlockCapacity = 2048;
constexpr std::uint32_t kMaxTransfer = 512;
constexpr std::size_t kChannelHeaderSize = 6;
constexpr std::uint16_t kPartFirst = 1;
constexpr std::uint16_t kPartMiddle = 2;
constexpr std::uint16_t kPartLast = 3;
constexpr char kBootloaderId[] = "ZAVRO C51 boot loader 2.0";

}  // namespace

Usb3C51::Usb3C51(Usb3Core& core, Usb3HookSet& hooks, std::unique_ptr<MappedFile> flash,
                 std::unique_ptr<MappedFile> eeprom)
    : core_(core), hooks_(hooks), flash_(std::move(flash)), eeprom_(std::move(eeprom))
{
    block_.reserve(kBlockCapacity);
    reply_.reserve(65536 + kC51FetchChunk);
}

void Usb3C51::Reset()
{
    block_.clear();
    reply_.clear();
    replyPos_ = 0;
    busy_ = 0;
}

Usb3Outcome Usb3C51::Handle(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.direction != kDirectionBoth || r.carried < kChannelHeaderSize) {
        return Usb3Outcome::Error;
    }
    const std::uint16_t channelCommand = GetLe16(r.data);
    const std::uint16_t part = GetLe16(r.data + 2);
    const std::uint16_t length = GetLe16(r.data + 4);
    if (busy_ > 0) {
        --busy_;
        return Usb3Outcome::Error;  // still erasing
    }
    if (part < kPartFirst || part > kPartLast) {
        return Usb3Outcome::Error;
    }
    if (channelCommand == kC51ChannelFetch) {
        return Fetch(part, length, reply);
    }
    if (channelCommand != kC51ChannelSend) {
        return Usb3Outcome::Error;
    }
    if (length > r.carried - kChannelHeaderSize || (part != kPartMiddle && length == 0)) {
        return Usb3Outcome::Error;
    }
    if (part != kPartMiddle) {
        block_.clear();
    }
    if (block_.size() + length > kBlockCapacity) {
        return Usb3Outcome::Error;
    }
    block_.insert(block_.end(), r.data + kChannelHeaderSize, r.data + kChannelHeaderSize + length);
    if (part == kPartFirst) {
        return Usb3Outcome::Ok;
    }
    return Execute() ? Usb3Outcome::Ok : Usb3Outcome::Error;
}

// The reply leaves in chunks of at most a fetch chunk; a chunk may be fetched
// in two parts.
Usb3Outcome Usb3C51::Fetch(std::uint16_t part, std::uint16_t length, Usb3Reply& reply)
{
    std::uint32_t n = 0;
    const Usb3Hook* c51 = hooks_.Last(Usb3Hook::Kind::C51);
    if (c51 != nullptr && c51->c51 == Usb3Hook::C51Replies::Endless) {
        n = std::min<std::uint32_t>(length, kC51FetchChunk);
        std::memset(reply.bytes, 0, std::min(n, reply.capacity));
    } else if (c51 != nullptr && c51->c51 == Usb3Hook::C51Replies::Empty && closed_) {
        n = 0;
    } else {
        const std::uint32_t left = static_cast<std::uint32_t>(reply_.size() - replyPos_);
        if (part != kPartMiddle) {
            chunkLeft_ = std::min(left, kC51FetchChunk);
        }
        n = std::min<std::uint32_t>(length, chunkLeft_);
        std::memcpy(reply.bytes, reply_.data() + replyPos_, std::min(n, reply.capacity));
        replyPos_ += n;
        chunkLeft_ -= n;
    }
    if (n > reply.capacity) {
        return Usb3Outcome::Error;
    }
    reply.length = n;
    return Usb3Outcome::Ok;
}

bool Usb3C51::Execute()
{
    const std::vector<std::uint8_t>& b = block_;
    if (b.size() < kC51BlockHeaderSize) {
        return false;
    }
    const std::uint8_t op = b[0];
    const std::uint32_t length = GetLe16(b.data() + 4);
    const std::uint32_t address = GetLe16(b.data() + 6);
    const std::uint8_t* data = b.data() + kC51BlockHeaderSize;
    const std::uint32_t carried = static_cast<std::uint32_t>(b.size() - kC51BlockHeaderSize);
    const bool signedBlock = b[1] == kC51Signature0 && b[2] == kC51Signature1;
    reply_.clear();
    replyPos_ = 0;
    chunkLeft_ = 0;
    auto status = [this](std::uint8_t s) { reply_.push_back(s); };
    auto inRange = [&](std::size_t size) { return length <= kMaxTransfer && address + length <= size; };
    switch (op) {
    case kC51OpProbe:
        reply_.assign(length, 0);
        std::memcpy(reply_.data(), kBootloaderId, std::min<std::size_t>(length, sizeof kBootloaderId));
        return true;
    case kC51OpReadFlash:
    case kC51OpReadEeprom: {
        MappedFile& memory = op == kC51OpReadFlash ? *flash_ : *eeprom_;
        if (!inRange(memory.size())) {
            return false;
        }
        reply_.assign(memory.data() + address, memory.data() + address + length);
        return true;
    }
    case kC51OpWriteEeprom:
        if (!inRange(eeprom_->size()) || carried < length) {
            return false;
        }
        std::memcpy(eeprom_->data() + address, data, length);
        status(0);
        return true;
    case kC51OpEraseAll:
        if (!signedBlock || b[3] != kC51SubOpErase) {
            return false;
        }
        std::memset(flash_->data(), 0xFF, flash_->size());
        busy_ = kEraseBusy;
        written_ = 0;
        closed_ = false;
        status(0);
        return true;
    case kC51OpWriteFlash:
        if (!signedBlock || b[3] != kC51SubOpWrite) {
            return false;
        }
        if (length == 0) {
            // The closing block: the boot loader starts the new firmware. A
            // CCD model's boot loader first sends back what it programmed.
            if (core_.face.ccd) {
                reply_.assign(flash_->data(), flash_->data() + std::min<std::size_t>(written_, flash_->size()));
            } else {
                status(0);
            }
            written_ = 0;
            closed_ = true;
            core_.Vanish(core_.vanishOpens.value_or(0));
            return true;
        }
        if (!inRange(flash_->size()) || carried < length) {
            return false;
        }
        if (!core_.face.ccd) {
            // This boot loader erases each page it writes.
            for (std::uint32_t page = address / kC51PageSize; page <= (address + length - 1) / kC51PageSize; ++page) {
                std::memset(flash_->data() + page * kC51PageSize, 0xFF, kC51PageSize);
            }
        }
        AndProgram(flash_->data() + address, data, length);
        written_ += length;
        closed_ = false;
        status(0);
        return true;
    default:
        return false;
    }
}

}  // namespace zvemu
