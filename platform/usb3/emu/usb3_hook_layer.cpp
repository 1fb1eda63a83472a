#include "usb3_hook_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "usb3_dispatch.h"
#include "zvemu/hooks.h"
#include "zvusb3/usb3_driver.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

bool LibraryTraces(const StateDir& dir)
{
    for (const auto& line : dir.LoadHooks("")) {
        if (const auto hook = ParseHook(line, nullptr); hook && hook->kind == Hook::Kind::Trace) {
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

// The u3ack answer=corrupt reply: wrong bytes that nothing in the
// acknowledgement gives away.
void CorruptReply(std::uint8_t* reply, std::uint32_t length)
{
    if (length > 0) {
        reply[0] = static_cast<std::uint8_t>(~reply[0]);
    }
}

// The answers under which the request is not carried out at all.
bool Refuses(const Usb3Hook* ack, bool badRefuses)
{
    return ack != nullptr && (ack->answer == Usb3Hook::Answer::None || ack->answer == Usb3Hook::Answer::Error ||
                              (badRefuses && ack->answer == Usb3Hook::Answer::Bad));
}

// An endpoint-0 request without data comes as one dummy byte; these requests
// take that byte as their data, the others none.
bool KeepsDummyByte(std::uint8_t code)
{
    return code == kReqRegWrite || code == kReqMcuDataOut || code == kReqSpiDataOut || code == kReqRamWrite ||
           code == kReqSpiOut || code == kReqStmReset;
}

// Device-to-host requests that endpoint 0 asks one byte of but that answer none.
bool AnswersNothing(std::uint8_t code)
{
    return code == kReqMcuProgInit || code == kReqCameraReset || code == kReqStartupProbe ||
           code == kReqSpiSelect || code == kReqSpiDeselect;
}

}  // namespace

// ---- hooks -----------------------------------------------------------------

void Usb3HookSet::Clear()
{
    hooks_.clear();
    keys_.clear();
}

void Usb3HookSet::Add(const Usb3Hook& hook, std::string key)
{
    hooks_.push_back(hook);
    keys_.push_back(std::move(key));
}

const Usb3Hook* Usb3HookSet::FiringAmongHooks(Usb3Hook::Kind kind, int code)
{
    const Usb3Hook* firing = nullptr;
    for (std::size_t i = 0; i < hooks_.size(); ++i) {
        const Usb3Hook& hook = hooks_[i];
        if (hook.kind != kind || (hook.request >= 0 && hook.request != code)) {
            continue;
        }
        const std::uint64_t k = ++core_.session->hookCounts[keys_[i]];
        if (firing == nullptr && hook.Fires(k)) {
            firing = &hook;
        }
    }
    return firing;
}

bool Usb3HookSet::Has(Usb3Hook::Kind kind) const
{
    return std::any_of(hooks_.begin(), hooks_.end(), [kind](const Usb3Hook& h) { return h.kind == kind; });
}

const Usb3Hook* Usb3HookSet::Last(Usb3Hook::Kind kind) const
{
    const Usb3Hook* last = nullptr;
    for (const auto& hook : hooks_) {
        if (hook.kind == kind) {
            last = &hook;
        }
    }
    return last;
}

// ---- the layer -------------------------------------------------------------

void Usb3HookLayer::Load()
{
    hooks_.Clear();
    core_.vanishOpens.reset();
    std::map<std::string, unsigned> seen;
    for (const auto& line : core_.dir.LoadHooks(core_.id)) {
        if (IsUsb3HookLine(line)) {
            if (auto hook = ParseUsb3Hook(line, nullptr)) {
                hooks_.Add(*hook, line + "#" + std::to_string(seen[line]++));
            }
        } else if (auto hook = ParseHook(line, nullptr); hook && hook->kind == Hook::Kind::Vanish) {
            core_.vanishOpens = hook->opens;
        }
    }
    trace_ = LibraryTraces(core_.dir);
    if (!hooks_.Has(Usb3Hook::Kind::Silent)) {
        core_.session->silent = false;  // silence lasts while its hook stands
    }
}

void Usb3HookLayer::Trace(const std::string& line) const
{
    if (!trace_) {
        return;
    }
    try {
        core_.dir.AppendTrace("usb3 " + line);
    } catch (...) {
        // A trace that cannot be written changes nothing the device does.
    }
}

void Usb3HookLayer::TraceTo(const StateDir& dir, const std::string& line)
{
    try {
        if (LibraryTraces(dir)) {
            dir.AppendTrace("usb3 " + line);
        }
    } catch (...) {
        // As above: tracing never changes the outcome.
    }
}

void Usb3HookLayer::TraceNoCommand(std::uint32_t size) const
{
    Trace("bulk out of " + std::to_string(size) + " bytes that is no command");
}

void Usb3HookLayer::TracePipe(const char* what, std::uint8_t endpoint) const
{
    Trace(std::string(what) + " pipe ep=" + Hex(endpoint));
}

void Usb3HookLayer::TraceRequest(const char* form, const Usb3Request& r, const std::string& head,
                                 std::uint32_t length) const
{
    Trace(form + head + "dir=" + std::to_string(r.direction) + " req=" + Hex(r.code) + " value=" + Hex(r.value, 4) +
          " index=" + Hex(r.index, 4) + " len=" + std::to_string(length) +
          (r.carried > 0 ? " data=" + HexBytes(r.data, std::min<std::uint32_t>(r.carried, 16)) : std::string()));
}

void Usb3HookLayer::TraceResult(std::uint16_t id, const char* what) const
{
    Trace("result id=" + std::to_string(id) + " " + what);
}

void Usb3HookLayer::TraceAck(const Usb3Ack& ack, std::uint32_t delayMs) const
{
    Trace("ack id=" + std::to_string(ack.id) + " status=" + Hex(ack.status) + " len=" + std::to_string(ack.length) +
          (delayMs > 0 ? " after=" + std::to_string(delayMs) + "ms" : std::string()));
}

void Usb3HookLayer::Queue(const Usb3Ack& ack, const std::uint8_t* reply, std::uint32_t replyLength,
                          std::uint32_t delayMs)
{
    endpoint_.Queue(ack, reply, replyLength, delayMs);
    if (trace_) {
        TraceAck(ack, delayMs);
    }
}

void Usb3HookLayer::QueueBent(const Usb3Hook& hook, std::uint16_t id, const Usb3Reply& reply)
{
    std::uint32_t replyLength = reply.length;
    Usb3Ack answer{0, kFrameCommand, static_cast<std::uint16_t>(replyLength), id, kFrameMagic};
    std::uint32_t delay = 0;
    switch (hook.answer) {
    case Usb3Hook::Answer::Bad:
        if (hook.field == Usb3Hook::Field::Magic) {
            answer.magic = kFrameMagic + 1;
        } else if (hook.field == Usb3Hook::Field::Id) {
            answer.id = static_cast<std::uint16_t>(id + 1);
        } else {
            answer.command = static_cast<std::uint16_t>(kFrameCommand - 1);
        }
        break;
    case Usb3Hook::Answer::Short:
        replyLength /= 2;
        answer.length = static_cast<std::uint16_t>(replyLength);
        break;
    case Usb3Hook::Answer::Long:
        answer.length = static_cast<std::uint16_t>(replyLength + 16);
        break;
    case Usb3Hook::Answer::Corrupt:
        CorruptReply(reply.bytes, replyLength);
        break;
    case Usb3Hook::Answer::Pending: {
        const std::uint32_t step = hook.ms > 0 ? hook.ms - 1 : 0;
        const Usb3Ack pending{kAckPending, kFrameCommand, static_cast<std::uint16_t>(hook.ms), id, kFrameMagic};
        for (std::uint32_t i = 0; i < hook.count; ++i) {
            Queue(pending, nullptr, 0, i * step);
        }
        delay = hook.count * step;
        break;
    }
    default:
        break;
    }
    Queue(answer, reply.bytes, replyLength, delay);
}

bool Usb3HookLayer::Answer(const Usb3Request& r, std::uint16_t id, std::uint32_t size, std::uint16_t dataLength,
                           bool sane, std::uint32_t* error)
{
    if (trace_) {
        TraceRequest("request ", r, "id=" + std::to_string(id) + " bytes=" + std::to_string(size) + " ",
                     dataLength);
    }
    if (hooks_.Firing(Usb3Hook::Kind::Write, r.code) != nullptr) {
        if (trace_) {
            TraceResult(id, "write failed");
        }
        return false;
    }
    const std::uint32_t room = endpoint_.Room();
    // The reply is made here and queued with its acknowledgement.
    std::uint8_t scratch[1024];
    Usb3Reply reply{scratch, room};

    Usb3Outcome outcome = Usb3Outcome::Error;
    const Usb3Hook* ack = nullptr;
    bool execute = sane && (r.direction != kDirectionIn || r.wanted <= room);
    // Silence comes only from a hook: Load ends it when its hook is gone.
    if (!hooks_.Empty()) {
        if (hooks_.FiringAmongHooks(Usb3Hook::Kind::Silent, r.code) != nullptr) {
            core_.session->silent = true;
        }
        if (core_.session->silent) {
            outcome = Usb3Outcome::Drop;
            execute = false;
        } else if (ack = hooks_.FiringAmongHooks(Usb3Hook::Kind::Ack, r.code); Refuses(ack, false)) {
            outcome = ack->answer == Usb3Hook::Answer::None ? Usb3Outcome::Drop : Usb3Outcome::Error;
            execute = false;
        }
    }
    if (execute) {
        outcome = dispatcher_.Execute(r, reply);
    }
    *error = 0;
    switch (outcome) {
    case Usb3Outcome::Drop:
        if (trace_) {
            TraceResult(id, "dropped");
        }
        return true;
    case Usb3Outcome::Reset:
        if (trace_) {
            TraceResult(id, "reset");
        }
        return true;
    case Usb3Outcome::Error: {
        Queue({kAckError, kFrameCommand, 0, id, kFrameMagic}, nullptr, 0, 0);
        if (trace_) {
            TraceResult(id, "error");
        }
        return true;
    }
    case Usb3Outcome::Ok:
        break;
    }
    if (ack == nullptr) {
        Queue({0, kFrameCommand, static_cast<std::uint16_t>(reply.length), id, kFrameMagic}, reply.bytes,
              reply.length, 0);
    } else {
        QueueBent(*ack, id, reply);
    }
    if (trace_) {
        TraceResult(id, "ok");
    }
    return true;
}

bool Usb3HookLayer::Ep0(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* returned, std::uint32_t* error)
{
    *returned = 0;
    *error = kErrorInvalidParameter;
    if (size < kEp0BufferSize) {
        return false;
    }
    const auto header = ReadTransferHeader(std::span<const std::uint8_t, kTransferHeaderSize>(buffer, kTransferHeaderSize));
    if (header.length > kEp0MaxData || header.dataOffset != kTransferHeaderSize) {
        return false;
    }
    Usb3Request r;
    r.direction = (header.requestType & kRequestTypeDeviceToHost) != 0 ? kDirectionIn : kDirectionOut;
    r.code = header.request;
    r.value = header.value;
    r.index = header.index;
    std::uint8_t data[kEp0MaxData];
    if (r.direction == kDirectionOut) {
        std::memcpy(data, buffer + kTransferHeaderSize, header.length);
        r.data = data;
        r.carried = header.length;
    } else {
        r.wanted = header.length;
    }
    if (trace_) {
        TraceRequest("ep0 request ", r, std::string(), header.length);
    }
    std::uint8_t replyBytes[kEp0MaxData];
    Usb3Reply reply{replyBytes, kEp0MaxData};
    Usb3Outcome outcome = Usb3Outcome::Error;
    const Usb3Hook* ack = nullptr;
    if (hooks_.Firing(Usb3Hook::Kind::Silent, r.code) != nullptr) {
        core_.session->silent = true;
    }
    if (core_.session->silent) {
        outcome = Usb3Outcome::Drop;
    } else if (ack = hooks_.Firing(Usb3Hook::Kind::Ack, r.code); Refuses(ack, true)) {
        outcome = ack->answer == Usb3Hook::Answer::None ? Usb3Outcome::Drop : Usb3Outcome::Error;
    } else {
        if (r.direction == kDirectionOut && r.carried == 1 && r.data[0] == 0 && header.length == 1) {
            r.carried = KeepsDummyByte(r.code) ? 1 : 0;
        }
        if (r.direction == kDirectionIn && r.wanted == 1 && AnswersNothing(r.code)) {
            r.wanted = 0;
        }
        outcome = dispatcher_.Execute(r, reply);
    }
    switch (outcome) {
    case Usb3Outcome::Drop:
        if (trace_) {
            Trace("ep0 result dropped");
        }
        *error = kErrorSemTimeout;
        return false;
    case Usb3Outcome::Error:
        if (trace_) {
            Trace("ep0 result error");
        }
        *error = kErrorGenFailure;
        return false;
    case Usb3Outcome::Reset:
        if (trace_) {
            Trace("ep0 result reset");
        }
        *returned = kTransferHeaderSize;
        return true;
    case Usb3Outcome::Ok:
        break;
    }
    if (ack != nullptr && ack->answer == Usb3Hook::Answer::Short) {
        reply.length /= 2;
    }
    if (ack != nullptr && ack->answer == Usb3Hook::Answer::Corrupt) {
        CorruptReply(reply.bytes, reply.length);
    }
    if (r.direction == kDirectionIn) {
        std::memcpy(buffer + kTransferHeaderSize, reply.bytes, reply.length);
        PutLe32(buffer + kTransferDataLengthOffset, reply.length);
        *returned = static_cast<std::uint32_t>(kTransferHeaderSize + reply.length);
    } else {
        *returned = static_cast<std::uint32_t>(kTransferHeaderSize + header.length);
    }
    if (trace_) {
        Trace("ep0 result ok len=" + std::to_string(reply.length));
    }
    *error = 0;
    return true;
}

}  // namespace zvemu
