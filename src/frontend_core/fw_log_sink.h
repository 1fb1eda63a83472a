#pragma once

// Where an updater's operation log lines go. The updater formats a line
// (free text, or the firmware-operation line with the payload's digest) and
// hands it, with its camera selection, to the log it was given; the log
// decides how the line reaches the camera. An updater given no log writes
// no lines and prints nothing about them.

#include <cstdint>
#include <string>
#include <string_view>

// A line is formatted into 1024 characters.
inline constexpr std::size_t kMaxFwLogMessageLength = 1023;

// How the log finds its camera: the updater's selection, first that is set
// (index when not -1, serial, path, location).
struct FwLogCameraSelection {
    std::int32_t index = -1;
    std::string serial;
    std::string path;
    std::string location;
};

class FwOperationLog {
public:
    virtual ~FwOperationLog() = default;

    // One time-stamped line into the log of the selected camera. Never
    // throws: a failure is printed and the operation that asked goes on.
    virtual void AddLine(const FwLogCameraSelection& selection, std::string_view message) noexcept = 0;
};

// The firmware-operation line of a firmware type: "FW prog of <type>
// [<digest>] <word>", or without the digest bracket when digest is empty.
std::string FormatFirmwareOperationLine(std::string_view typeName, std::string_view digest, std::string_view word);
