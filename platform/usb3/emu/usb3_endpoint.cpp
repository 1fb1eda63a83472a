#include "usb3_endpoint.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "os_clock.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

// Clock comparisons that survive the wrap of the millisecond clock.
bool Reached(std::uint32_t now, std::uint32_t at)
{
    return static_cast<std::int32_t>(now - at) >= 0;
}

void WriteAck(std::uint8_t* p, const Usb3Ack& ack)
{
    using namespace zv::usb3;
    static_assert(kFrameCommandOffset == kFrameStatusOffset + 2 && kFrameLengthOffset == kFrameStatusOffset + 4 &&
                  kFrameIdOffset == kFrameStatusOffset + 6);
    PutLe32(p + kFrameMagicOffset, ack.magic);
    // The four 16-bit fields go out as one word: the host reads them back at
    // once, and a word stored in pieces is read only once every piece landed.
    PutLe64(p + kFrameStatusOffset, std::uint64_t{ack.status} | std::uint64_t{ack.command} << 16 |
                                        std::uint64_t{ack.length} << 32 | std::uint64_t{ack.id} << 48);
}

}  // namespace

Usb3Endpoint::Usb3Endpoint(std::uint32_t packetSize) : packet_(packetSize), packets_(kPackets) {}

void Usb3Endpoint::Queue(const Usb3Ack& ack, const std::uint8_t* reply, std::uint32_t replyLength,
                         std::uint32_t delayMs)
{
    if (packetCount_ == kPackets) {
        packetHead_ = (packetHead_ + 1) % kPackets;
        --packetCount_;
    }
    Packet& packet = packets_[(packetHead_ + packetCount_) % kPackets];
    ++packetCount_;
    packet.ack = ack;
    replyLength = std::min(replyLength, Room());
    if (reply != nullptr && replyLength > 0) {
        zv::usb3::CopyCarried(packet.reply.data(), reply, replyLength);
    }
    packet.replyLength = replyLength;
    packet.delayed = delayMs > 0;
    packet.readyAt = packet.delayed ? zv::os::TickCountMs() + delayMs : 0;
    if (readCount_ > 0) {
        Deliver();  // usually the host reads only after its command went out
    }
}

void Usb3Endpoint::Hand(Usb3Read* read)
{
    const Packet& packet = packets_[packetHead_];
    const std::uint32_t n = std::min(kAckHeaderSize + packet.replyLength, read->capacity);
    if (n >= kAckHeaderSize) {
        WriteAck(read->buffer, packet.ack);
        zv::usb3::CopyCarried(read->buffer + kAckHeaderSize, packet.reply.data(), n - kAckHeaderSize);
    } else {
        std::array<std::uint8_t, kAckHeaderSize> header;
        WriteAck(header.data(), packet.ack);
        std::memcpy(read->buffer, header.data(), n);  // a read too small for the header
    }
    read->bytes = n;
    read->ok = true;
    read->done = true;
    read->pending = false;
    packetHead_ = (packetHead_ + 1) % kPackets;
    --packetCount_;
}

void Usb3Endpoint::Deliver()
{
    // The clock is read only for a packet that waits for its time.
    bool clockRead = false;
    std::uint32_t now = 0;
    while (packetCount_ > 0 && readCount_ > 0) {
        const Packet& packet = packets_[packetHead_];
        if (packet.delayed) {
            if (!clockRead) {
                now = zv::os::TickCountMs();
                clockRead = true;
            }
            if (!Reached(now, packet.readyAt)) {
                break;
            }
        }
        Hand(reads_[readHead_]);
        readHead_ = (readHead_ + 1) % kReads;
        --readCount_;
    }
}

bool Usb3Endpoint::BeginRead(Usb3Read* read)
{
    // With no read ahead of it and a packet there to take, the read completes
    // at once and is never registered.
    if (readCount_ == 0 && packetCount_ > 0 && !packets_[packetHead_].delayed) {
        Hand(read);
        return true;
    }
    if (readCount_ == kReads) {
        return false;
    }
    read->pending = true;
    read->done = false;
    read->ok = false;
    read->bytes = 0;
    reads_[(readHead_ + readCount_) % kReads] = read;
    ++readCount_;
    Deliver();
    return read->done;
}

bool Usb3Endpoint::WaitRead(Usb3Read* read, std::uint32_t timeoutMs)
{
    Deliver();
    if (read->done) {
        return true;
    }
    const std::uint32_t now = zv::os::TickCountMs();
    if (packetCount_ > 0 && readCount_ > 0 && reads_[readHead_] == read) {
        const Packet& head = packets_[packetHead_];
        const std::uint32_t readyIn = head.delayed ? head.readyAt - now : 0;
        if (static_cast<std::int32_t>(readyIn) <= static_cast<std::int32_t>(timeoutMs)) {
            zv::os::SleepMs(readyIn);
            Deliver();
            return read->done;
        }
    }
    zv::os::SleepMs(timeoutMs);
    Deliver();
    return read->done;
}

void Usb3Endpoint::CancelRead(Usb3Read* read)
{
    for (std::size_t i = 0; i < readCount_; ++i) {
        if (reads_[(readHead_ + i) % kReads] != read) {
            continue;
        }
        for (std::size_t j = i; j + 1 < readCount_; ++j) {
            reads_[(readHead_ + j) % kReads] = reads_[(readHead_ + j + 1) % kReads];
        }
        --readCount_;
        read->pending = false;
        read->done = true;
        read->ok = false;
        read->bytes = 0;
        return;
    }
}

void Usb3Endpoint::CancelReads()
{
    while (readCount_ > 0) {
        CancelRead(reads_[readHead_]);
    }
}

void Usb3Endpoint::DropPackets()
{
    packetHead_ = 0;
    packetCount_ = 0;
}

}  // namespace zvemu
