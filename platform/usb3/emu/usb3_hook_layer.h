#pragma once

// The layer around the emulated camera's dispatcher: the test hooks that
// fail, drop or bend a request and its acknowledgement, and the trace of
// every request and answer. Every bulk command passes through it.

#include <cstdint>
#include <string>
#include <vector>

#include "usb3_endpoint.h"
#include "usb3_request.h"
#include "zvemu/usb3_hooks.h"

namespace zvemu {

class Usb3Dispatcher;

// The camera's hooks and their counters (kept per process in the session).
class Usb3HookSet {
public:
    explicit Usb3HookSet(Usb3Core& core) : core_(core) {}

    void Clear();
    void Add(const Usb3Hook& hook, std::string key);
    bool Empty() const { return hooks_.empty(); }
    // The hook of this kind that fires for request `code` now, if any; every
    // matching hook counts the request.
    const Usb3Hook* Firing(Usb3Hook::Kind kind, int code)
    {
        return hooks_.empty() ? nullptr : FiringAmongHooks(kind, code);  // most cameras have none
    }
    const Usb3Hook* FiringAmongHooks(Usb3Hook::Kind kind, int code);
    bool Has(Usb3Hook::Kind kind) const;
    // The last hook of this kind, if any (one that holds while it stands).
    const Usb3Hook* Last(Usb3Hook::Kind kind) const;

private:
    Usb3Core& core_;
    std::vector<Usb3Hook> hooks_;
    std::vector<std::string> keys_;  // their counters
};

class Usb3HookLayer {
public:
    Usb3HookLayer(Usb3Core& core, Usb3HookSet& hooks, Usb3Endpoint& endpoint, Usb3Dispatcher& dispatcher)
        : core_(core), hooks_(hooks), endpoint_(endpoint), dispatcher_(dispatcher)
    {
    }

    // Re-reads the hooks and the library-wide settings.
    void Load();
    bool Tracing() const { return trace_; }
    void Trace(const std::string& line) const;
    // A trace line of the driver, when the state directory traces.
    static void TraceTo(const StateDir& dir, const std::string& line);
    void TraceNoCommand(std::uint32_t size) const;
    void TracePipe(const char* what, std::uint8_t endpoint) const;

    // A bulk command: the hooks have their say before and after the
    // dispatcher, and the acknowledgement is queued on the bulk IN endpoint.
    bool Answer(const Usb3Request& r, std::uint16_t id, std::uint32_t size, std::uint16_t dataLength, bool sane,
                std::uint32_t* error);
    // An endpoint-0 transfer (the driver's 550-byte buffer).
    bool Ep0(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* returned, std::uint32_t* error);

private:
    void Queue(const Usb3Ack& ack, const std::uint8_t* reply, std::uint32_t replyLength, std::uint32_t delayMs);
    // Queues the acknowledgement an ack hook bends (and the pending ones it
    // puts before it).
    void QueueBent(const Usb3Hook& hook, std::uint16_t id, const Usb3Reply& reply);
    void TraceRequest(const char* form, const Usb3Request& r, const std::string& head, std::uint32_t length) const;
    void TraceResult(std::uint16_t id, const char* what) const;
    void TraceAck(const Usb3Ack& ack, std::uint32_t delayMs) const;

    Usb3Core& core_;
    Usb3HookSet& hooks_;
    Usb3Endpoint& endpoint_;
    Usb3Dispatcher& dispatcher_;
    bool trace_ = false;
};

}  // namespace zvemu
