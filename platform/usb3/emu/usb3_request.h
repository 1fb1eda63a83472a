#pragma once

// What every part of the emulated USB3 camera shares: a vendor request as it
// arrived, how it ended, and the camera-wide state (its folder, its face, what
// the process remembers of it, the set-up word the data requests use).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "zvemu/state_dir.h"
#include "zvemu/usb3_face.h"

namespace zvemu {

// What the process remembers of one camera (not persisted).
struct Usb3Session {
    std::map<std::string, std::uint64_t> hookCounts;  // by hook line and its occurrence
    std::uint32_t vanishLeft = 0;           // enumerations still to miss it
    bool goneNow = false;                   // missing in the current enumeration round
    std::uint32_t warmupPolls = 0;          // start-up polls still answered "not ready"
    bool silent = false;                    // a u3silent hook fired
};

// How a request ended: answered, refused (an error acknowledgement), dropped
// unanswered, or the controller restarted (no acknowledgement).
enum class Usb3Outcome {
    Ok,
    Error,
    Drop,
    Reset
};

// One vendor request, from a bulk frame or endpoint 0. Small: handlers take
// it by reference or value alike.
struct Usb3Request {
    std::uint16_t direction = 0;  // the frame's direction: out, in, both
    std::uint8_t code = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t carried = 0;
    std::uint32_t wanted = 0;  // bytes asked back (device to host)
};

// Where a handler writes its reply: `capacity` bytes at `bytes`; `length`
// says how many it made.
struct Usb3Reply {
    std::uint8_t* bytes = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t length = 0;
};

// The camera as every memory device sees it.
struct Usb3Core {
    StateDir dir;
    std::string id;
    Usb3Face face;
    Usb3Session* session = nullptr;                // owned by the process registry
    std::optional<std::uint32_t> vanishOpens;      // the camera's "vanish opens=N" hook
    std::uint32_t setupWord = 0;                   // the last set-up block's first word

    // Keeps the face in the camera's folder (the running state stays in this
    // process when it cannot).
    void SaveFace();
    // The camera misses the next `opens` enumeration rounds (0: none).
    void Vanish(std::uint32_t opens);
    // A 32-bit FNV-1a hash of the camera's identity and `salt`: the
    // identifiers a camera reads back are derived from it, so that each
    // camera of each state directory has its own.
    std::uint32_t IdentityHash(std::string_view salt) const;
};

inline constexpr std::uint32_t kFnvPrime = 16777619u;

// Programming a flash only clears bits.
inline void AndProgram(std::uint8_t* target, const std::uint8_t* data, std::uint32_t length)
{
    for (std::uint32_t i = 0; i < length; ++i) {
        target[i] &= data[i];
    }
}

}  // namespace zvemu
