#pragma once

// Test hooks of the emulated USB3 camera, in the hook files of the state
// directory beside those of the camera API library (see zvemu/hooks.h; lines
// of the other face are skipped by each). For one camera:
//
//   u3ack answer=error|none|bad|short|long|pending|corrupt [req=CODE] [nth=N] [times=K|all]
//         [count=K] [ms=T] [field=magic|id|command]
//        The N-th matching request (of code CODE, default any) and the K-1
//        after it are answered so: error: an error acknowledgement (endpoint 0:
//        the transfer fails); none: no acknowledgement, the request is dropped
//        (the read stays pending); bad: an acknowledgement with a wrong field
//        (default magic); short: a device-to-host reply of half the bytes
//        asked; long: a length field beyond the bytes the acknowledgement
//        carries; pending: count (default 1) pending acknowledgements of ms
//        (default 100) milliseconds each, the real one following ms later;
//        corrupt: a device-to-host reply whose first byte is inverted, under
//        an acknowledgement that is valid in every field.
//   u3write [req=CODE] [nth=N] [times=K|all]
//        The bulk write of the N-th matching command fails (nothing arrives).
//   u3silent [nth=N]
//        From the N-th request on the device answers nothing at all.
//   u3busy
//        The SPI flash's status stays busy.
//   u3c51 replies=endless|empty
//        The C51 command channel's fetches all answer a full 768 bytes
//        (endless), or answer nothing after a closing write block (empty).
//   u3mcu fault=status|prefix|id|short [status=S] [nth=N] [times=K|all]
//        The N-th MCU tunnel reply (and K-1 after it) comes with status S
//        (default 2), a wrong prefix, another request id, or only its header.
//   u3location state=invalid|missing|long
//        The location-paths property is invalid data (the location
//        information is answered instead), missing (another error), or needs
//        more than 2048 bytes.
//
// Library-wide lines "nocameras" and "trace" hold for this face too (the
// trace lines begin with "usb3 "), and a camera's "vanish opens=N" makes it
// gone for N open attempts after each reset request. Counting is per process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvemu {

struct Usb3Hook {
    enum class Kind {
        Ack,
        Write,
        Silent,
        Busy,
        Location,
        C51,
        Mcu
    };
    enum class Answer {
        Error,
        None,
        Bad,
        Short,
        Long,
        Pending,
        Corrupt
    };
    enum class Field {
        Magic,
        Id,
        Command
    };
    enum class Location {
        Invalid,
        Missing,
        Long
    };
    enum class C51Replies {
        Endless,
        Empty
    };
    enum class McuFault {
        Status,
        Prefix,
        Id,
        Short
    };

    Kind kind = Kind::Ack;
    Answer answer = Answer::Error;
    Field field = Field::Magic;
    Location location = Location::Invalid;
    C51Replies c51 = C51Replies::Endless;
    McuFault mcu = McuFault::Status;
    std::uint32_t status = 2;  // u3mcu fault=status
    int request = -1;          // -1: any
    std::uint32_t nth = 1;
    std::uint32_t times = 1;  // 0 = every matching request from the n-th on
    std::uint32_t count = 1;  // pending acknowledgements
    std::uint32_t ms = 100;   // their wait

    bool Fires(std::uint64_t k) const { return k >= nth && (times == 0 || k < std::uint64_t{nth} + times); }
};

// Whether the line is meant for the USB3 face (its first word begins with "u3").
bool IsUsb3HookLine(std::string_view line);
// Parses one line; on failure answers nothing and describes the problem.
std::optional<Usb3Hook> ParseUsb3Hook(std::string_view line, std::string* error);

}  // namespace zvemu
