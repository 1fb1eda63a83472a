#include "usb3_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "os_clock.h"
#include "os_memory.h"
#include "zvusb3/usb3_driver.h"
#include "zvusb3/usb3_transfer.h"

using zv::usb3::GetLe16;
using zv::usb3::GetLe32;
using zv::usb3::PutLe16;
using zv::usb3::PutLe32;

namespace zvemu {
namespace {

constexpr std::uint32_t kMagic = 0x55335670;
constexpr std::uint16_t kCommand = 0x3F;
constexpr std::uint16_t kAckPending = 0x88;
constexpr std::uint16_t kAckError = 0x8A;
constexpr std::uint32_t kStm32Base = 0x8000000;
constexpr std::uint32_t kRamBase = 0x40000000;
constexpr std::uint32_t kRamSize = 512 * 1024;
constexpr std::uint32_t kSpiPage = 256;
constexpr std::uint32_t kC2Page = 512;
constexpr std::uint32_t kC51Page = 512;
constexpr std::uint32_t kC51Chunk = 768;
constexpr std::uint32_t kEraseBusyPolls = 3;
constexpr std::uint32_t kProgramBusyPolls = 1;
constexpr std::uint32_t kC51EraseBusy = 3;
constexpr std::uint32_t kStartupGoneRounds = 2;
constexpr std::uint32_t kStartupWarmupPolls = 2;
constexpr std::uint32_t kStm32Sectors[8] = {16 * 1024, 16 * 1024,  16 * 1024,  16 * 1024,
                                            64 * 1024, 128 * 1024, 128 * 1024, 128 * 1024};
constexpr char kBootloaderId[] = "ZAVRO C51 boot loader 2.0";

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<Usb3Device>> devices;  // by folder
    std::map<std::string, Usb3Session> sessions;               // by folder
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::string Key(const StateDir& dir, const std::string& id)
{
    return (dir.Root() / id).string();
}

Usb3Session& SessionOf(const StateDir& dir, const std::string& id)
{
    // A camera made again under the same folder is another camera.
    std::string instance;
    if (const auto face = LoadUsb3Face(dir, id)) {
        instance = face->instance;
    }
    return TheRegistry().sessions[Key(dir, id) + "#" + instance];  // callers hold the registry mutex
}

bool LibraryHook(const StateDir& dir, Hook::Kind kind)
{
    for (const auto& line : dir.LoadHooks("")) {
        if (const auto hook = ParseHook(line, nullptr); hook && hook->kind == kind) {
            return true;
        }
    }
    return false;
}

std::string Hex(std::uint32_t v, int digits = 2)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, v);
    return text;
}

std::string HexBytes(const std::uint8_t* data, std::uint32_t n)
{
    std::string text;
    char byte[4];
    for (std::uint32_t i = 0; i < n; ++i) {
        std::snprintf(byte, sizeof byte, "%02X", data[i]);
        text += byte;
    }
    return text;
}

// Clock comparisons that survive the wrap of the millisecond clock.
bool Reached(std::uint32_t now, std::uint32_t at)
{
    return static_cast<std::int32_t>(now - at) >= 0;
}

void AndProgram(std::uint8_t* target, const std::uint8_t* data, std::uint32_t length)
{
    for (std::uint32_t i = 0; i < length; ++i) {
        target[i] &= data[i];  // programming only clears bits
    }
}

// The u3ack answer=corrupt reply: wrong bytes that nothing in the
// acknowledgement gives away.
void CorruptReply(std::uint8_t* reply, std::uint32_t length)
{
    if (length > 0) {
        reply[0] = static_cast<std::uint8_t>(~reply[0]);
    }
}

}  // namespace

Usb3Device::Usb3Device(StateDir dir, std::string id) : dir_(std::move(dir)), id_(std::move(id))
{
    const auto face = LoadUsb3Face(dir_, id_);
    if (!face) {
        throw std::runtime_error("camera " + id_ + " has no USB3 face");
    }
    face_ = *face;
    packet_ = zv::usb3::BulkPacketSize(face_.highSpeed);
    auto map = [&](Usb3Memory memory) {
        return std::make_unique<MappedFile>(dir_.Root() / id_ / Usb3MemoryFile(memory),
                                            Usb3MemorySize(memory, face_.generation));
    };
    spi_ = map(Usb3Memory::Spi);
    cpu2_ = map(Usb3Memory::Cpu2);
    cpu3_ = map(Usb3Memory::Cpu3);
    cpu4_ = map(Usb3Memory::Cpu4);
    mcu1_ = map(Usb3Memory::Mcu1);
    packets_.resize(kPackets);
    shift_.reserve(2048);
    c51Block_.reserve(2048);
    c51Reply_.reserve(65536 + kC51Chunk);
    registers_[1] = face_.fpgaVersion;
    registers_[11] = face_.fpgaVersion;
    {
        std::lock_guard lock(TheRegistry().mutex);
        session_ = &SessionOf(dir_, id_);
    }
    LoadHooks();
}

Usb3Device::~Usb3Device()
{
    // Reads still registered end as aborted: nothing refers to them afterwards.
    while (readCount_ > 0) {
        CancelRead(reads_[readHead_]);
    }
}

void Usb3Device::LoadHooks()
{
    hooks_.clear();
    hookKeys_.clear();
    vanishOpens_.reset();
    std::map<std::string, unsigned> seen;
    for (const auto& line : dir_.LoadHooks(id_)) {
        if (IsUsb3HookLine(line)) {
            if (auto hook = ParseUsb3Hook(line, nullptr)) {
                hooks_.push_back(*hook);
                hookKeys_.push_back(line + "#" + std::to_string(seen[line]++));
            }
        } else if (auto hook = ParseHook(line, nullptr); hook && hook->kind == Hook::Kind::Vanish) {
            vanishOpens_ = hook->opens;
        }
    }
    trace_ = LibraryHook(dir_, Hook::Kind::Trace);
    plain_ = hooks_.empty() && !trace_;
    if (!HookSet(Usb3Hook::Kind::Silent)) {
        session_->silent = false;  // silence lasts while its hook stands
    }
}

void Usb3Device::Trace(const std::string& line) const
{
    if (!trace_) {
        return;
    }
    try {
        dir_.AppendTrace("usb3 " + line);
    } catch (...) {
        // A trace that cannot be written changes nothing the device does.
    }
}

void Usb3Device::TraceTo(const StateDir& dir, const std::string& line)
{
    try {
        if (LibraryHook(dir, Hook::Kind::Trace)) {
            dir.AppendTrace("usb3 " + line);
        }
    } catch (...) {
        // As above: tracing never changes the outcome.
    }
}

const Usb3Hook* Usb3Device::FiringAmongHooks(Usb3Hook::Kind kind, int code)
{
    const Usb3Hook* firing = nullptr;
    for (std::size_t i = 0; i < hooks_.size(); ++i) {
        const Usb3Hook& hook = hooks_[i];
        if (hook.kind != kind || (hook.request >= 0 && hook.request != code)) {
            continue;
        }
        const std::uint64_t k = ++session_->hookCounts[hookKeys_[i]];
        if (firing == nullptr && hook.Fires(k)) {
            firing = &hook;
        }
    }
    return firing;
}

bool Usb3Device::HookSet(Usb3Hook::Kind kind) const
{
    return std::any_of(hooks_.begin(), hooks_.end(), [kind](const Usb3Hook& h) { return h.kind == kind; });
}

// Trace lines of the bulk endpoints, made out of line: the request path
// carries none of their text.
void Usb3Device::TraceNoCommand(std::uint32_t size) const
{
    Trace("bulk out of " + std::to_string(size) + " bytes that is no command");
}

void Usb3Device::TraceRequest(Request r, std::uint16_t id, std::uint32_t size, std::uint16_t dataLength) const
{
    Trace("request id=" + std::to_string(id) + " bytes=" + std::to_string(size) +
          " dir=" + std::to_string(r.direction) + " req=" + Hex(r.code) + " value=" + Hex(r.value, 4) +
          " index=" + Hex(r.index, 4) + " len=" + std::to_string(dataLength) +
          (r.carried > 0 ? " data=" + HexBytes(r.data, std::min<std::uint32_t>(r.carried, 16)) : std::string()));
}

void Usb3Device::TraceResult(std::uint16_t id, const char* what) const
{
    Trace("result id=" + std::to_string(id) + " " + what);
}

void Usb3Device::TraceAck(std::uint16_t id, std::uint16_t status, std::uint16_t length, std::uint32_t delayMs) const
{
    Trace("ack id=" + std::to_string(id) + " status=" + Hex(status) + " len=" + std::to_string(length) +
          (delayMs > 0 ? " after=" + std::to_string(delayMs) + "ms" : std::string()));
}

// ---- endpoints -------------------------------------------------------------

inline void Usb3Device::QueueAck(std::uint16_t status, std::uint16_t command, std::uint16_t length, std::uint16_t id,
                          std::uint32_t magic, const std::uint8_t* reply, std::uint32_t replyLength,
                          std::uint32_t delayMs)
{
    if (packetCount_ == kPackets) {
        // A full endpoint loses its oldest packet.
        packetHead_ = (packetHead_ + 1) % kPackets;
        --packetCount_;
    }
    Packet& packet = packets_[(packetHead_ + packetCount_) % kPackets];
    ++packetCount_;
    std::uint8_t* p = packet.bytes.data();
    PutLe32(p, magic);
    PutLe16(p + 4, status);
    PutLe16(p + 6, command);
    PutLe16(p + 8, length);
    PutLe16(p + 10, id);
    const std::uint32_t room = packet_ - 12;
    replyLength = std::min(replyLength, room);
    if (reply != nullptr && replyLength > 0) {
        std::memcpy(p + 12, reply, replyLength);
    }
    packet.length = 12 + replyLength;
    packet.delayed = delayMs > 0;
    packet.readyAt = packet.delayed ? zv::os::TickCountMs() + delayMs : 0;
    if (trace_) {
        TraceAck(id, status, length, delayMs);
    }
    if (readCount_ > 0) {
        Deliver();  // usually the host reads only after its command went out
    }
}

inline void Usb3Device::Complete(Usb3Read* next, std::uint16_t status, std::uint16_t length, std::uint16_t id,
                                 std::uint32_t replyLength)
{
    std::uint8_t* p = next->buffer;
    PutLe32(p, kMagic);
    PutLe16(p + 4, status);
    PutLe16(p + 6, kCommand);
    PutLe16(p + 8, length);
    PutLe16(p + 10, id);
    next->bytes = 12 + std::min(replyLength, packet_ - 12);
    next->ok = true;
    next->done = true;
    next->pending = false;
}

inline bool Usb3Device::AckStraight(Usb3Read* next, std::uint16_t status, std::uint16_t length, std::uint16_t id,
                                    std::uint32_t replyLength)
{
    if (next == nullptr || packetCount_ != 0 || readCount_ != 0) {
        return false;
    }
    Complete(next, status, length, id, replyLength);
    if (trace_) {
        TraceAck(id, status, length, 0);
    }
    return true;
}

inline void Usb3Device::Hand(Usb3Read* read)
{
    const Packet& packet = packets_[packetHead_];
    const std::uint32_t n = std::min(packet.length, read->capacity);
    std::memcpy(read->buffer, packet.bytes.data(), n);
    read->bytes = n;
    read->ok = true;
    read->done = true;
    read->pending = false;
    packetHead_ = (packetHead_ + 1) % kPackets;
    --packetCount_;
}

void Usb3Device::Deliver()
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

bool Usb3Device::BeginRead(Usb3Read* read)
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

bool Usb3Device::WaitRead(Usb3Read* read, std::uint32_t timeoutMs)
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

void Usb3Device::CancelRead(Usb3Read* read)
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

void Usb3Device::AbortPipe(std::uint8_t endpoint)
{
    if (trace_) {
        Trace("abort pipe ep=" + Hex(endpoint));
    }
    if (endpoint == zv::usb3::kEndpointBulkIn) {
        while (readCount_ > 0) {
            CancelRead(reads_[readHead_]);
        }
    }
}

void Usb3Device::ResetPipe(std::uint8_t endpoint)
{
    if (trace_) {
        Trace("reset pipe ep=" + Hex(endpoint));
    }
    if (endpoint == zv::usb3::kEndpointBulkIn) {
        packetHead_ = 0;
        packetCount_ = 0;
    }
}

void Usb3Device::ResetPort()
{
    if (trace_) {
        Trace("reset port");
    }
    while (readCount_ > 0) {
        CancelRead(reads_[readHead_]);
    }
    packetHead_ = 0;
    packetCount_ = 0;
}

bool Usb3Device::BulkInNow(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* returned, std::uint32_t* error)
{
    Usb3Read read;
    read.buffer = out;
    read.capacity = capacity;
    if (!BeginRead(&read) && !WaitRead(&read, 1000)) {
        CancelRead(&read);
        *error = zv::usb3::kErrorGenFailure;
        return false;
    }
    *returned = read.bytes;
    return true;
}

bool Usb3Device::BulkOut(const std::uint8_t* data, std::uint32_t size, std::uint32_t* error, Usb3Read* next)
{
    *error = zv::usb3::kErrorGenFailure;
    if (size < 22 || GetLe32(data) != kMagic || GetLe16(data + 6) != kCommand) {
        if (trace_) {
            TraceNoCommand(size);
        }
        return true;  // the bytes went out; the controller ignores them
    }
    const std::uint16_t length = GetLe16(data + 8);
    const std::uint16_t id = GetLe16(data + 10);
    Request r;
    r.direction = GetLe16(data + 12);
    r.code = static_cast<std::uint8_t>(GetLe16(data + 14));
    r.value = GetLe16(data + 16);
    r.index = GetLe16(data + 18);
    const std::uint16_t dataLength = GetLe16(data + 20);
    r.data = data + 22;
    r.carried = size - 22;
    r.wanted = r.direction == 1 ? dataLength : 0;
    // A frame whose length fields disagree with what it carries is refused.
    bool sane = r.direction <= 2 && length >= 10;
    if (r.direction == 0) {
        sane = sane && length == 10 + r.carried && dataLength == r.carried;
    } else if (r.direction == 1) {
        sane = sane && r.carried == 0 && length == 10;
    }
    const std::uint32_t room = packet_ - 12;
    // The usual request: a camera with no hook that traces nothing, and the
    // host's read of the acknowledgement there with room for a packet and
    // nothing on the endpoint ahead of it. The reply is made in that read and
    // the acknowledgement completes it; a reset is never acknowledged.
    if (plain_ && next != nullptr && next->capacity >= room + 12 && packetCount_ == 0 && readCount_ == 0) {
        std::uint32_t replyLength = 0;
        const Outcome outcome = sane && (r.direction != 1 || r.wanted <= room)
                                    ? Execute(r, next->buffer + 12, room, &replyLength)
                                    : Outcome::Error;
        *error = 0;
        if (outcome == Outcome::Ok) {
            Complete(next, 0, static_cast<std::uint16_t>(replyLength), id, replyLength);
        } else if (outcome == Outcome::Error) {
            Complete(next, kAckError, 0, id, 0);
        }
        return true;
    }
    return Answer(r, id, size, dataLength, sane, error, next);
}

bool Usb3Device::Answer(Request r, std::uint16_t id, std::uint32_t size, std::uint16_t dataLength, bool sane,
                        std::uint32_t* error, Usb3Read* next)
{
    if (trace_) {
        TraceRequest(r, id, size, dataLength);
    }
    if (Firing(Usb3Hook::Kind::Write, r.code) != nullptr) {
        if (trace_) {
            TraceResult(id, "write failed");
        }
        return false;
    }
    std::uint32_t replyLength = 0;
    const std::uint32_t room = packet_ - 12;
    // Where the reply is made: in the read that takes the acknowledgement
    // when that can go straight to it (a read that holds a whole packet, with
    // no hook to answer otherwise), else here for the queue.
    std::uint8_t scratch[1024];
    if (next != nullptr && (!hooks_.empty() || next->capacity < room + 12)) {
        next = nullptr;
    }
    std::uint8_t* const reply = next != nullptr ? next->buffer + 12 : scratch;

    Outcome outcome = Outcome::Error;
    const Usb3Hook* ack = nullptr;
    bool execute = sane && (r.direction != 1 || r.wanted <= room);
    // Silence comes only from a hook: LoadHooks ends it when its hook is gone.
    if (!hooks_.empty()) {
        if (FiringAmongHooks(Usb3Hook::Kind::Silent, r.code) != nullptr) {
            session_->silent = true;
        }
        if (session_->silent) {
            outcome = Outcome::Drop;
            execute = false;
        } else if (ack = FiringAmongHooks(Usb3Hook::Kind::Ack, r.code);
                   ack != nullptr &&
                   (ack->answer == Usb3Hook::Answer::None || ack->answer == Usb3Hook::Answer::Error)) {
            outcome = ack->answer == Usb3Hook::Answer::None ? Outcome::Drop : Outcome::Error;
            execute = false;
        }
    }
    if (execute) {
        outcome = Execute(r, reply, room, &replyLength);
    }
    *error = 0;
    switch (outcome) {
    case Outcome::Drop:
        if (trace_) {
            TraceResult(id, "dropped");
        }
        return true;
    case Outcome::Reset:
        if (trace_) {
            TraceResult(id, "reset");
        }
        return true;
    case Outcome::Error:
        if (!AckStraight(next, kAckError, 0, id, 0)) {
            QueueAck(kAckError, kCommand, 0, id, kMagic, nullptr, 0, 0);
        }
        if (trace_) {
            TraceResult(id, "error");
        }
        return true;
    case Outcome::Ok:
        break;
    }
    std::uint32_t magic = kMagic;
    std::uint16_t command = kCommand;
    std::uint16_t ackId = id;
    std::uint16_t ackLength = static_cast<std::uint16_t>(replyLength);
    std::uint32_t delay = 0;
    if (ack != nullptr) {
        switch (ack->answer) {
        case Usb3Hook::Answer::Bad:
            if (ack->field == Usb3Hook::Field::Magic) {
                magic = 0x55335671;
            } else if (ack->field == Usb3Hook::Field::Id) {
                ackId = static_cast<std::uint16_t>(id + 1);
            } else {
                command = 0x3E;
            }
            break;
        case Usb3Hook::Answer::Short:
            replyLength /= 2;
            ackLength = static_cast<std::uint16_t>(replyLength);
            break;
        case Usb3Hook::Answer::Long:
            ackLength = static_cast<std::uint16_t>(replyLength + 16);
            break;
        case Usb3Hook::Answer::Corrupt:
            CorruptReply(reply, replyLength);
            break;
        case Usb3Hook::Answer::Pending: {
            const std::uint32_t step = ack->ms > 0 ? ack->ms - 1 : 0;
            for (std::uint32_t i = 0; i < ack->count; ++i) {
                QueueAck(kAckPending, kCommand, static_cast<std::uint16_t>(ack->ms), id, kMagic, nullptr, 0, i * step);
            }
            delay = ack->count * step;
            break;
        }
        default:
            break;
        }
    }
    if (!AckStraight(next, 0, ackLength, ackId, replyLength)) {  // `next` is null under hooks
        QueueAck(0, command, ackLength, ackId, magic, reply, replyLength, delay);
    }
    if (trace_) {
        TraceResult(id, "ok");
    }
    return true;
}

bool Usb3Device::Ep0(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* returned, std::uint32_t* error)
{
    *returned = 0;
    *error = zv::usb3::kErrorInvalidParameter;
    if (size < zv::usb3::kEp0BufferSize) {
        return false;
    }
    const auto header = zv::usb3::ReadTransferHeader(
        std::span<const std::uint8_t, zv::usb3::kTransferHeaderSize>(buffer, zv::usb3::kTransferHeaderSize));
    if (header.length > zv::usb3::kEp0MaxData || header.dataOffset != zv::usb3::kTransferHeaderSize) {
        return false;
    }
    Request r;
    r.direction = (header.requestType & 0x80) != 0 ? 1 : 0;
    r.code = header.request;
    r.value = header.value;
    r.index = header.index;
    std::uint8_t data[zv::usb3::kEp0MaxData];
    if (r.direction == 0) {
        std::memcpy(data, buffer + zv::usb3::kTransferHeaderSize, header.length);
        r.data = data;
        r.carried = header.length;
    } else {
        r.wanted = header.length;
    }
    if (trace_) {
        Trace("ep0 request dir=" + std::to_string(r.direction) + " req=" + Hex(r.code) + " value=" + Hex(r.value, 4) +
              " index=" + Hex(r.index, 4) + " len=" + std::to_string(header.length) +
              (r.carried > 0 ? " data=" + HexBytes(r.data, std::min<std::uint32_t>(r.carried, 16)) : std::string()));
    }
    std::uint8_t reply[zv::usb3::kEp0MaxData];
    std::uint32_t replyLength = 0;
    Outcome outcome = Outcome::Error;
    const Usb3Hook* ack = nullptr;
    if (Firing(Usb3Hook::Kind::Silent, r.code) != nullptr) {
        session_->silent = true;
    }
    if (session_->silent) {
        outcome = Outcome::Drop;
    } else if (ack = Firing(Usb3Hook::Kind::Ack, r.code);
               ack != nullptr && (ack->answer == Usb3Hook::Answer::None || ack->answer == Usb3Hook::Answer::Error ||
                                  ack->answer == Usb3Hook::Answer::Bad)) {
        outcome = ack->answer == Usb3Hook::Answer::None ? Outcome::Drop : Outcome::Error;
    } else {
        // A request without data comes as one dummy byte.
        if (r.direction == 0 && r.carried == 1 && r.data[0] == 0 && header.length == 1) {
            r.carried = (r.code == 0xE3 || r.code == 0xEB || r.code == 0xE8 || r.code == 0xA0 || r.code == 0xB0 ||
                         r.code == 0xF3)
                            ? 1
                            : 0;
        }
        if (r.direction == 1 && r.wanted == 1 &&
            (r.code == 0xEA || r.code == 0xFF || r.code == 0xB6 || r.code == 0xBA || r.code == 0xB9)) {
            r.wanted = 0;
        }
        outcome = Execute(r, reply, zv::usb3::kEp0MaxData, &replyLength);
    }
    switch (outcome) {
    case Outcome::Drop:
        if (trace_) {
            Trace("ep0 result dropped");
        }
        *error = zv::usb3::kErrorSemTimeout;
        return false;
    case Outcome::Error:
        if (trace_) {
            Trace("ep0 result error");
        }
        *error = zv::usb3::kErrorGenFailure;
        return false;
    case Outcome::Reset:
        if (trace_) {
            Trace("ep0 result reset");
        }
        *returned = zv::usb3::kTransferHeaderSize;
        return true;
    case Outcome::Ok:
        break;
    }
    if (ack != nullptr && ack->answer == Usb3Hook::Answer::Short) {
        replyLength /= 2;
    }
    if (ack != nullptr && ack->answer == Usb3Hook::Answer::Corrupt) {
        CorruptReply(reply, replyLength);
    }
    if (r.direction == 1) {
        std::memcpy(buffer + zv::usb3::kTransferHeaderSize, reply, replyLength);
        PutLe32(buffer + 34, replyLength);
        *returned = static_cast<std::uint32_t>(zv::usb3::kTransferHeaderSize + replyLength);
    } else {
        *returned = static_cast<std::uint32_t>(zv::usb3::kTransferHeaderSize + header.length);
    }
    if (trace_) {
        Trace("ep0 result ok len=" + std::to_string(replyLength));
    }
    *error = 0;
    return true;
}

// ---- requests --------------------------------------------------------------

// Inlined into both endpoints: a request then stays in registers.
[[gnu::always_inline]] inline Usb3Device::Outcome Usb3Device::Execute(const Request& r, std::uint8_t* reply,
                                                                      std::uint32_t capacity,
                                                                      std::uint32_t* replyLength)
{
    *replyLength = 0;
    if (face_.bare && r.code != 0xA0) {
        return Outcome::Error;  // a controller without firmware knows only its RAM
    }
    // Asked only by the requests that depend on it.
    const auto oldFamily = [this] { return face_.ControllerFamily() == Usb3Face::Family::Old; };
    switch (r.code) {
    case 0xBA:
    case 0xB0:
    case 0xB1:
    case 0xB9:
    case 0xBC:
    case 0xBB:
        return Spi(r, reply, replyLength);
    case 0xE4:
        if (r.direction != 0 || r.carried != 8) {
            return Outcome::Error;
        }
        word_ = GetLe32(r.data);  // the second word is not used
        return Outcome::Ok;
    case 0xE6:
        return oldFamily() ? Outcome::Error : SpiDataIn(r, reply, replyLength);
    case 0xE8:
        return oldFamily() ? Outcome::Error : SpiDataOut(r);
    case 0xE7:
        return oldFamily() ? Outcome::Error : Register(r, reply, replyLength);
    case 0xE3:
        return Register(r, reply, replyLength);
    case 0xEA:
    case 0xEB:
    case 0xEC:
    case 0xEE:
    case 0xF3:
        return McuBus(r, reply, replyLength);
    case 0x90:
        return r.direction == 2 ? Tunnel(r, reply, capacity, replyLength) : Outcome::Error;
    case 0x91:
        return r.direction == 2 ? C51Channel(r, reply, capacity, replyLength) : Outcome::Error;
    case 0xC0:
        if (r.direction != 1 || r.wanted != 2) {
            return Outcome::Error;
        }
        reply[0] = face_.controllerMinor;
        reply[1] = face_.controllerMajor;
        *replyLength = 2;
        return Outcome::Ok;
    case 0xB6:
        return r.direction == 0 ? Outcome::Ok : Outcome::Error;
    case 0xC1:
        if (r.direction != 1 || r.wanted != 1) {
            return Outcome::Error;
        }
        if (session_->warmupPolls > 0) {
            --session_->warmupPolls;
            reply[0] = 0;
        } else {
            reply[0] = 1;
        }
        *replyLength = 1;
        return Outcome::Ok;
    case 0xFF:
        return Reset();
    case 0xA0:
        return Ram(r);
    default:
        return Outcome::Error;  // no family sends it
    }
}

void Usb3Device::ProgramSpi(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool pageWrap)
{
    const std::uint32_t size = static_cast<std::uint32_t>(spi_->size());
    if (!pageWrap && address < size && length <= size - address) {
        AndProgram(spi_->data() + address, data, length);
        return;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        std::uint32_t at = address + i;
        if (pageWrap) {
            // One page program stays within its page: past the end it wraps.
            at = (address & ~(kSpiPage - 1)) | ((address + i) & (kSpiPage - 1));
        }
        at %= size;
        spi_->data()[at] &= data[i];
    }
}

void Usb3Device::SpiDeselect()
{
    if (select_ == Select::Spi && !shift_.empty() && !SpiBusy()) {
        const std::uint8_t command = shift_[0];
        const std::uint32_t address = shift_.size() >= 4 ? (static_cast<std::uint32_t>(shift_[1]) << 16) |
                                                               (static_cast<std::uint32_t>(shift_[2]) << 8) | shift_[3]
                                                         : 0;
        const std::uint32_t size = static_cast<std::uint32_t>(spi_->size());
        switch (command) {
        case 0x06:
            writeEnabled_ = true;
            break;
        case 0x04:
            writeEnabled_ = false;
            break;
        case 0xD8:
            if (writeEnabled_ && shift_.size() >= 4) {
                const std::uint32_t start = (address & ~0xFFFFu) % size;
                // The whole sector is written: its pages mapped in one call.
                zv::os::PrefaultBuffer(spi_->data() + start, 0x10000);
                std::memset(spi_->data() + start, 0xFF, 0x10000);
                busyPolls_ = kEraseBusyPolls;
                writeEnabled_ = false;
            }
            break;
        case 0xC7:
            if (writeEnabled_) {
                std::memset(spi_->data(), 0xFF, size);
                busyPolls_ = kEraseBusyPolls * 4;
                writeEnabled_ = false;
            }
            break;
        case 0x02:
            if (writeEnabled_ && shift_.size() >= 4) {
                ProgramSpi(address, shift_.data() + 4, static_cast<std::uint32_t>(shift_.size() - 4), true);
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

Usb3Device::Outcome Usb3Device::Spi(Request r, std::uint8_t* reply, std::uint32_t* replyLength)
{
    switch (r.code) {
    case 0xBA:
    case 0xBC:
        select_ = r.code == 0xBA ? Select::Spi : Select::Register;
        shift_.clear();
        shiftIn_ = 0;
        return Outcome::Ok;
    case 0xB9:
        if (select_ == Select::Spi) {
            SpiDeselect();
        }
        select_ = Select::None;
        return Outcome::Ok;
    case 0xBB:
        select_ = Select::None;
        shift_.clear();
        return Outcome::Ok;
    case 0xB0:
        if (r.direction != 0 || select_ == Select::None || shift_.size() + r.carried > 2048) {
            return Outcome::Error;
        }
        shift_.insert(shift_.end(), r.data, r.data + r.carried);
        return Outcome::Ok;
    case 0xB1: {
        if (r.direction != 1 || select_ == Select::None || shift_.empty()) {
            return Outcome::Error;
        }
        const std::uint32_t n = r.wanted;
        if (select_ == Select::Register) {
            // The register bus sends the first two bytes high byte first.
            const std::uint32_t v = RegisterValue(shift_[0] & 0x7F);
            std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v),
                                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
            if (n > 4) {
                return Outcome::Error;
            }
            std::memcpy(reply, bytes, n);
        } else if (shift_[0] == 0x05) {
            for (std::uint32_t i = 0; i < n; ++i) {
                const bool busy = SpiBusy();
                reply[i] = static_cast<std::uint8_t>((busy ? 1 : 0) | (writeEnabled_ ? 2 : 0));
                if (busyPolls_ > 0) {
                    --busyPolls_;
                }
            }
        } else if (shift_[0] == 0x03 && shift_.size() >= 4 && !SpiBusy()) {
            const std::uint32_t size = static_cast<std::uint32_t>(spi_->size());
            const std::uint32_t address = (static_cast<std::uint32_t>(shift_[1]) << 16) |
                                          (static_cast<std::uint32_t>(shift_[2]) << 8) | shift_[3];
            for (std::uint32_t i = 0; i < n; ++i) {
                reply[i] = spi_->data()[(address + shiftIn_ + i) % size];
            }
            shiftIn_ += n;
        } else {
            std::memset(reply, 0xFF, n);
        }
        *replyLength = n;
        return Outcome::Ok;
    }
    default:
        return Outcome::Error;
    }
}

// A data read of the new families: the set-up block holds the read command
// and the address.
[[gnu::always_inline]] inline Usb3Device::Outcome Usb3Device::SpiDataIn(const Request& r, std::uint8_t* reply,
                                                                        std::uint32_t* replyLength)
{
    if (r.direction != 1 || (word_ & 0xFF) != 0x03) {
        return Outcome::Error;
    }
    const std::uint32_t size = static_cast<std::uint32_t>(spi_->size());
    const std::uint32_t address = ((word_ >> 8) & 0xFF) << 16 | ((word_ >> 16) & 0xFF) << 8 | (word_ >> 24);
    if (address + r.wanted > size) {
        return Outcome::Error;
    }
    std::memcpy(reply, spi_->data() + address, r.wanted);
    *replyLength = r.wanted;
    return Outcome::Ok;
}

// A data write of the new families: the set-up block holds the page program
// command and the address.
[[gnu::always_inline]] inline Usb3Device::Outcome Usb3Device::SpiDataOut(const Request& r)
{
    if (r.direction != 0 || (word_ & 0xFF) != 0x02 || SpiBusy()) {
        return Outcome::Error;
    }
    if (face_.ControllerFamily() == Usb3Face::Family::Middle && r.carried > 64) {
        return Outcome::Error;
    }
    const std::uint32_t size = static_cast<std::uint32_t>(spi_->size());
    const std::uint32_t address = ((word_ >> 8) & 0xFF) << 16 | ((word_ >> 16) & 0xFF) << 8 | (word_ >> 24);
    if (address + r.carried > size) {
        return Outcome::Error;
    }
    // The controller enables each page program itself and waits it out.
    ProgramSpi(address, r.data, r.carried, false);
    writeEnabled_ = false;
    return Outcome::Ok;
}

std::uint32_t Usb3Device::RegisterValue(std::uint8_t reg) const
{
    // After the identification sequence (29 = 0, 30 = 0x47A9, 31 = 1) the
    // three registers read back the camera's own identifier.
    if (reg >= 29 && reg <= 31 && registers_[29] == 0 && registers_[30] == 0x47A9 && registers_[31] == 1) {
        std::uint32_t h = 2166136261u;
        for (const char ch : id_ + dir_.Root().string()) {
            h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
        }
        for (const char ch : std::to_string(reg)) {
            h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
        }
        return h & 0xFFFF;
    }
    return registers_[reg];
}

Usb3Device::Outcome Usb3Device::Register(Request r, std::uint8_t* reply, std::uint32_t* replyLength)
{
    if (r.code == 0xE7) {
        if (r.direction != 1 || r.wanted > 4) {
            return Outcome::Error;
        }
        const std::uint32_t v = RegisterValue(static_cast<std::uint8_t>((word_ >> 24) & 0x7F));
        for (std::uint32_t i = 0; i < r.wanted; ++i) {
            reply[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
        *replyLength = r.wanted;
        return Outcome::Ok;
    }
    // 0xE3: 0x80 + register, then the value's bytes, most significant first.
    if (r.direction != 0 || r.carried < 2 || r.carried > 5 || (r.data[0] & 0x80) == 0) {
        return Outcome::Error;
    }
    std::uint32_t v = 0;
    for (std::uint32_t i = 1; i < r.carried; ++i) {
        v = (v << 8) | r.data[i];
    }
    registers_[r.data[0] & 0x7F] = v;
    return Outcome::Ok;
}

Usb3Device::Outcome Usb3Device::McuBus(Request r, std::uint8_t* reply, std::uint32_t* replyLength)
{
    if (r.code == 0xEA) {
        mcuProgramming_ = true;
        return Outcome::Ok;
    }
    if (r.code == 0xF3) {
        if (r.direction != 0 || r.carried != 1) {
            return Outcome::Error;
        }
        // The STM32 restarts and runs the version its image carries.
        const std::uint16_t version = GetLe16(cpu2_->data() + 0x10);
        if (version != 0xFFFF) {
            face_.stm32Version = version;
            SaveFace();
        }
        mcuProgramming_ = false;
        return Outcome::Ok;
    }
    if (!mcuProgramming_) {
        return Outcome::Error;
    }
    MappedFile& memory = face_.c2Bus ? *mcu1_ : *cpu2_;
    const std::uint32_t base = face_.c2Bus ? 0 : kStm32Base;
    const std::uint32_t size = static_cast<std::uint32_t>(memory.size());
    if (r.code == 0xEE) {
        std::uint32_t start = 0;
        std::uint32_t length = 0;
        if (face_.c2Bus) {
            if (word_ % kC2Page != 0 || word_ >= size) {
                return Outcome::Error;
            }
            start = word_;
            length = kC2Page;
        } else {
            if (word_ >= 8) {
                return Outcome::Error;
            }
            for (std::uint32_t s = 0; s < word_; ++s) {
                start += kStm32Sectors[s];
            }
            length = kStm32Sectors[word_];
        }
        std::memset(memory.data() + start, 0xFF, length);
        return Outcome::Ok;
    }
    const std::uint32_t length = r.code == 0xEB ? r.carried : r.wanted;
    if (word_ < base || word_ - base > size || length > size - (word_ - base) ||
        (r.code == 0xEB) != (r.direction == 0)) {
        return Outcome::Error;
    }
    std::uint8_t* at = memory.data() + (word_ - base);
    if (r.code == 0xEB) {
        AndProgram(at, r.data, length);
    } else {
        std::memcpy(reply, at, length);
        *replyLength = length;
    }
    word_ += length;  // the next piece continues where this one ended
    return Outcome::Ok;
}

Usb3Device::Outcome Usb3Device::Tunnel(Request r, std::uint8_t* reply, std::uint32_t capacity,
                                       std::uint32_t* replyLength)
{
    if (r.carried < 10 || GetLe16(r.data) != 0xF30C) {
        return Outcome::Error;
    }
    const std::uint16_t command = GetLe16(r.data + 6);
    const std::uint16_t requestId = GetLe16(r.data + 8);
    std::uint16_t status = 0;
    std::uint32_t n = 0;
    std::uint8_t data[12] = {};
    if (command == 0) {
        PutLe16(data, face_.stm32Version);
        n = 2;
    } else if (command == 0x10) {
        std::uint32_t h = 2166136261u;
        for (const char ch : id_ + dir_.Root().string() + "stm32") {
            h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
        }
        for (int i = 0; i < 6; ++i) {
            h = (h ^ static_cast<std::uint32_t>(i)) * 16777619u;
            PutLe16(data + 2 * i, static_cast<std::uint16_t>(h >> 8));
        }
        n = 12;
    } else {
        status = 1;  // a command the MCU does not know
    }
    if (8 + n > capacity) {
        return Outcome::Error;
    }
    std::uint16_t prefix = 0xF30C;
    std::uint16_t answeredId = requestId;
    if (const Usb3Hook* fault = Firing(Usb3Hook::Kind::Mcu, r.code)) {
        switch (fault->mcu) {
        case Usb3Hook::McuFault::Status:
            status = static_cast<std::uint16_t>(fault->status);
            break;
        case Usb3Hook::McuFault::Prefix:
            prefix = 0xF30D;
            break;
        case Usb3Hook::McuFault::Id:
            answeredId = static_cast<std::uint16_t>(requestId + 1);
            break;
        case Usb3Hook::McuFault::Short:
            n = 0;
            break;
        }
    }
    PutLe16(reply, prefix);
    PutLe16(reply + 2, static_cast<std::uint16_t>(8 + n));
    PutLe16(reply + 4, status);
    PutLe16(reply + 6, answeredId);
    std::memcpy(reply + 8, data, n);
    *replyLength = 8 + n;
    return Outcome::Ok;
}

Usb3Device::Outcome Usb3Device::C51Channel(Request r, std::uint8_t* reply, std::uint32_t capacity,
                                           std::uint32_t* replyLength)
{
    if (r.carried < 6) {
        return Outcome::Error;
    }
    const std::uint16_t channelCommand = GetLe16(r.data);
    const std::uint16_t part = GetLe16(r.data + 2);
    const std::uint16_t length = GetLe16(r.data + 4);
    if (c51Busy_ > 0) {
        --c51Busy_;
        return Outcome::Error;  // still erasing
    }
    if (part < 1 || part > 3) {
        return Outcome::Error;
    }
    if (channelCommand == 0) {
        if (length > r.carried - 6 || (part != 2 && length == 0)) {
            return Outcome::Error;
        }
        if (part != 2) {
            c51Block_.clear();
        }
        if (c51Block_.size() + length > 2048) {
            return Outcome::Error;
        }
        c51Block_.insert(c51Block_.end(), r.data + 6, r.data + 6 + length);
        if (part == 1) {
            return Outcome::Ok;
        }
        return C51Execute() ? Outcome::Ok : Outcome::Error;
    }
    if (channelCommand != 1) {
        return Outcome::Error;
    }
    // Fetch: the reply leaves in chunks of at most 768 bytes; a chunk may be
    // fetched in two parts.
    std::uint32_t n = 0;
    const Usb3Hook* c51 = nullptr;
    for (const auto& hook : hooks_) {
        if (hook.kind == Usb3Hook::Kind::C51) {
            c51 = &hook;
        }
    }
    if (c51 != nullptr && c51->c51 == Usb3Hook::C51Replies::Endless) {
        n = std::min<std::uint32_t>(length, kC51Chunk);
        std::memset(reply, 0, std::min(n, capacity));
    } else if (c51 != nullptr && c51->c51 == Usb3Hook::C51Replies::Empty && c51Closed_) {
        n = 0;
    } else {
        const std::uint32_t left = static_cast<std::uint32_t>(c51Reply_.size() - c51ReplyPos_);
        if (part != 2) {
            c51ChunkLeft_ = std::min(left, kC51Chunk);
        }
        n = std::min<std::uint32_t>(length, c51ChunkLeft_);
        std::memcpy(reply, c51Reply_.data() + c51ReplyPos_, std::min(n, capacity));
        c51ReplyPos_ += n;
        c51ChunkLeft_ -= n;
    }
    if (n > capacity) {
        return Outcome::Error;
    }
    *replyLength = n;
    return Outcome::Ok;
}

bool Usb3Device::C51Execute()
{
    const std::vector<std::uint8_t>& b = c51Block_;
    if (b.size() < 8) {
        return false;
    }
    const std::uint8_t op = b[0];
    const std::uint32_t length = GetLe16(b.data() + 4);
    const std::uint32_t address = GetLe16(b.data() + 6);
    const std::uint8_t* data = b.data() + 8;
    const std::uint32_t carried = static_cast<std::uint32_t>(b.size() - 8);
    const bool signedBlock = b[1] == 0xA5 && b[2] == 0xF1;
    c51Reply_.clear();
    c51ReplyPos_ = 0;
    c51ChunkLeft_ = 0;
    auto status = [this](std::uint8_t s) { c51Reply_.push_back(s); };
    auto inRange = [&](std::uint32_t size) { return length <= 512 && address + length <= size; };
    switch (op) {
    case 0xFD:  // boot loader probe
        c51Reply_.assign(length, 0);
        std::memcpy(c51Reply_.data(), kBootloaderId, std::min<std::size_t>(length, sizeof kBootloaderId));
        return true;
    case 0xF2:
    case 0xE0: {
        MappedFile& memory = op == 0xF2 ? *cpu3_ : *cpu4_;
        if (!inRange(static_cast<std::uint32_t>(memory.size()))) {
            return false;
        }
        c51Reply_.assign(memory.data() + address, memory.data() + address + length);
        return true;
    }
    case 0xE1:
        if (!inRange(static_cast<std::uint32_t>(cpu4_->size())) || carried < length) {
            return false;
        }
        std::memcpy(cpu4_->data() + address, data, length);
        status(0);
        return true;
    case 0xF0:  // global erase
        if (!signedBlock || b[3] != 0x03) {
            return false;
        }
        std::memset(cpu3_->data(), 0xFF, cpu3_->size());
        c51Busy_ = kC51EraseBusy;
        c51Written_ = 0;
        c51Closed_ = false;
        status(0);
        return true;
    case 0xF1:
        if (!signedBlock || b[3] != 0x01) {
            return false;
        }
        if (length == 0) {
            // The closing block: the boot loader starts the new firmware. A
            // CCD model's boot loader first sends back what it programmed.
            if (face_.ccd) {
                c51Reply_.assign(cpu3_->data(), cpu3_->data() + std::min<std::size_t>(c51Written_, cpu3_->size()));
            } else {
                status(0);
            }
            c51Written_ = 0;
            c51Closed_ = true;
            Vanish(vanishOpens_.value_or(0));
            return true;
        }
        if (!inRange(static_cast<std::uint32_t>(cpu3_->size())) || carried < length) {
            return false;
        }
        if (!face_.ccd) {
            // This boot loader erases each page it writes.
            for (std::uint32_t page = address / kC51Page; page <= (address + length - 1) / kC51Page; ++page) {
                std::memset(cpu3_->data() + page * kC51Page, 0xFF, kC51Page);
            }
        }
        AndProgram(cpu3_->data() + address, data, length);
        c51Written_ += length;
        c51Closed_ = false;
        status(0);
        return true;
    default:
        return false;
    }
}

Usb3Device::Outcome Usb3Device::Reset()
{
    // The controller restarts: the images in flash become what runs.
    const std::uint8_t* cpu1 = spi_->data();
    if (cpu1[0] == 'C' && cpu1[1] == 'Y') {
        face_.controllerMinor = cpu1[0x10];
        face_.controllerMajor = cpu1[0x11];
    }
    const auto descriptor = Usb3FlashMapDescriptor(face_.generation);
    const std::uint32_t fpgaStart = GetLe32(descriptor.data() + 8 + 8 * 4);
    const std::uint32_t fpgaSize = GetLe32(descriptor.data() + 12 + 8 * 4);
    if (fpgaSize > 0x14) {
        const std::uint32_t version = GetLe32(spi_->data() + fpgaStart + 0x10);
        if (version != 0xFFFFFFFF) {
            face_.fpgaVersion = version;
        }
    }
    if (const std::uint16_t version = GetLe16(cpu2_->data() + 0x10); version != 0xFFFF) {
        face_.stm32Version = version;
    }
    SaveFace();
    registers_ = {};
    registers_[1] = face_.fpgaVersion;
    registers_[11] = face_.fpgaVersion;
    select_ = Select::None;
    shift_.clear();
    writeEnabled_ = false;
    busyPolls_ = 0;
    mcuProgramming_ = false;
    c51Block_.clear();
    c51Reply_.clear();
    c51ReplyPos_ = 0;
    c51Busy_ = 0;
    packetHead_ = 0;
    packetCount_ = 0;
    Vanish(vanishOpens_.value_or(0));
    return Outcome::Reset;
}

Usb3Device::Outcome Usb3Device::Ram(Request r)
{
    const std::uint32_t address = r.value + (static_cast<std::uint32_t>(r.index) << 16);
    if (r.direction != 0) {
        return Outcome::Error;
    }
    if (r.carried == 0) {
        // Start: a bare controller runs the image and comes back as the camera.
        if (face_.bare) {
            face_.bare = false;
            face_.publicClass = false;
            SaveFace();
            Vanish(kStartupGoneRounds);
            session_->warmupPolls = kStartupWarmupPolls;
        }
        return Outcome::Ok;
    }
    if (address < kRamBase || address - kRamBase > kRamSize || r.carried > kRamSize - (address - kRamBase)) {
        return Outcome::Error;
    }
    if (ram_.empty()) {
        ram_.assign(kRamSize, 0);  // made at the first write: most runs never load a boot image
    }
    std::memcpy(ram_.data() + (address - kRamBase), r.data, r.carried);
    return Outcome::Ok;
}

void Usb3Device::Vanish(std::uint32_t opens)
{
    if (opens == 0) {
        return;
    }
    std::lock_guard lock(TheRegistry().mutex);
    session_->vanishLeft = opens;
    session_->goneNow = true;
}

void Usb3Device::SaveFace()
{
    try {
        SaveUsb3Face(dir_, id_, face_);
    } catch (...) {
        // The running state stays in this process when it cannot be kept.
    }
}

// ---- enumeration -----------------------------------------------------------

std::vector<Usb3Present> PresentUsb3Cameras(const StateDir& dir, bool publicClass, bool newRound)
{
    std::vector<Usb3Present> present;
    if (LibraryHook(dir, Hook::Kind::NoCameras)) {
        return present;
    }
    std::lock_guard lock(TheRegistry().mutex);
    for (const auto& id : dir.CameraIds()) {
        std::optional<Usb3Face> face;
        try {
            face = LoadUsb3Face(dir, id);
        } catch (const std::exception&) {
            continue;  // an unreadable face shows no device
        }
        if (!face) {
            continue;
        }
        Usb3Session& session = SessionOf(dir, id);
        // Every enumeration round begins with the public class: a camera gone
        // after a reset misses that many rounds.
        if (newRound) {
            session.goneNow = session.vanishLeft > 0;
            if (session.vanishLeft > 0) {
                --session.vanishLeft;
            }
        }
        if (session.goneNow || face->publicClass != publicClass) {
            continue;
        }
        const auto record = dir.LoadCamera(id);
        if (!record) {
            continue;
        }
        Usb3Present camera;
        camera.id = id;
        camera.path = Usb3InterfacePath(dir, id, *record, *face);
        camera.location = record->locPath;
        for (const auto& line : dir.LoadHooks(id)) {
            if (IsUsb3HookLine(line)) {
                if (auto hook = ParseUsb3Hook(line, nullptr); hook && hook->kind == Usb3Hook::Kind::Location) {
                    camera.locationHooks.push_back(*hook);
                }
            }
        }
        present.push_back(std::move(camera));
    }
    return present;
}

std::shared_ptr<Usb3Device> AttachUsb3Device(const StateDir& dir, const std::string& path)
{
    std::string id;
    for (bool publicClass : {false, true}) {
        for (const auto& camera : PresentUsb3Cameras(dir, publicClass, false)) {
            if (camera.path == path) {
                id = camera.id;
            }
        }
    }
    if (id.empty()) {
        return nullptr;
    }
    std::shared_ptr<Usb3Device> device;
    {
        std::lock_guard lock(TheRegistry().mutex);
        device = TheRegistry().devices[Key(dir, id)].lock();
    }
    if (device) {
        device->LoadHooks();
        return device;
    }
    device = std::make_shared<Usb3Device>(dir, id);
    std::lock_guard lock(TheRegistry().mutex);
    TheRegistry().devices[Key(dir, id)] = device;
    return device;
}

}  // namespace zvemu
