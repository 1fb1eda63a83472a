#pragma once

// The bulk IN endpoint (0x82) of the emulated camera: the acknowledgements
// waiting to be read and the host's overlapped reads waiting for them, each
// in its own ring. A packet may wait for a time on the OS clock (a pending
// acknowledgement's successor).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvemu {

// One overlapped read of the bulk IN endpoint, as the driver keeps it.
struct Usb3Read {
    std::uint8_t* buffer = nullptr;
    std::uint32_t capacity = 0;
    bool pending = false;
    bool done = false;
    bool ok = false;
    std::uint32_t bytes = 0;
};

// The 12-byte header of an acknowledgement.
struct Usb3Ack {
    std::uint16_t status = 0;
    std::uint16_t command = 0;
    std::uint16_t length = 0;
    std::uint16_t id = 0;
    std::uint32_t magic = 0;
};

class Usb3Endpoint {
public:
    // `packetSize`: the bulk packet size of the camera's speed.
    explicit Usb3Endpoint(std::uint32_t packetSize);
    Usb3Endpoint(const Usb3Endpoint&) = delete;
    Usb3Endpoint& operator=(const Usb3Endpoint&) = delete;

    // Reply bytes one acknowledgement packet holds.
    std::uint32_t Room() const { return packet_ - kAckHeaderSize; }

    // Queues an acknowledgement (its reply cut to a packet) and hands what is
    // due to the reads waiting. A full endpoint loses its oldest packet.
    void Queue(const Usb3Ack& ack, const std::uint8_t* reply, std::uint32_t replyLength, std::uint32_t delayMs);

    // Registers the read; true when it completed at once.
    bool BeginRead(Usb3Read* read);
    bool WaitRead(Usb3Read* read, std::uint32_t timeoutMs);
    // Ends the read as aborted if it is registered.
    void CancelRead(Usb3Read* read);
    void CancelReads();
    // Drops the packets not read yet.
    void DropPackets();

private:
    static constexpr std::uint32_t kAckHeaderSize = 12;
    static constexpr std::size_t kPackets = 32;
    static constexpr std::size_t kReads = 8;
    // An acknowledgement waiting on the endpoint, its header and reply kept
    // apart: the header is written out when a read takes it.
    struct Packet {
        Usb3Ack ack;
        std::array<std::uint8_t, 1024> reply;
        std::uint32_t replyLength = 0;
        bool delayed = false;  // waits for readyAt on the OS clock
        std::uint32_t readyAt = 0;
    };

    void Deliver();
    // Completes `read` with the head packet and takes the packet off the endpoint.
    void Hand(Usb3Read* read);

    std::uint32_t packet_;
    std::vector<Packet> packets_;
    std::size_t packetHead_ = 0, packetCount_ = 0;
    std::array<Usb3Read*, kReads> reads_{};
    std::size_t readHead_ = 0, readCount_ = 0;
};

}  // namespace zvemu
