#pragma once

// The firmware operation log kept inside the camera: the flash file
// "FwOperationLog.zip" whose one entry "FwOperationLog.txt" holds one
// time-stamped line per event, lines separated by "\n", the text followed by
// one zero byte. CameraOperationLog is the log an updater is given to append
// to it through the camera API; the pieces below make it up.
//
// The log is best-effort (a failure is printed and never fails the operation
// that asked for the line) and it never destroys history: when the archive in
// the camera cannot be read, the line is not written.

#include "fw_log_sink.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class zvAPIplus_Camera;

inline constexpr std::string_view kFwLogArchiveName = "FwOperationLog.zip";
inline constexpr std::string_view kFwLogEntryName = "FwOperationLog.txt";

// The log through the camera API: each line opens the selected camera on a
// camera object of its own, appends and closes it again.
class CameraOperationLog : public FwOperationLog {
public:
    void AddLine(const FwLogCameraSelection& selection, std::string_view message) noexcept override;
};

// One line into the log of the selected camera, on a camera object of its
// own. Never throws.
void AddOperationLogLine(const FwLogCameraSelection& selection, std::string_view message) noexcept;

// Opens the camera by the selection: index (when not -1), serial, path,
// location. False, with the reason printed, when it cannot.
bool OpenCameraForLog(zvAPIplus_Camera& camera, const FwLogCameraSelection& selection);

// Reads the log of the open camera, appends the line, writes it back and
// closes the camera.
void AppendFwOperationLog(zvAPIplus_Camera& camera, std::string_view message);

// The archive holding the text and its terminating zero byte; none, with the
// reason printed, when it cannot be built.
std::optional<std::vector<std::uint8_t>> PackFwLog(std::string_view text);

// The log text of an archive, up to its first zero byte; none, with the
// reason printed, when the archive cannot be read or is not a log archive.
std::optional<std::string> UnpackFwLog(std::span<const std::uint8_t> archive);

// Local time as the log writes it: "%Y-%m-%d %H%M%S".
std::string FormatFwLogTimestamp(std::time_t time);
std::string GetFwLogTimestamp();
