#pragma once

#include <functional>
#include <string>

#include "updater_error.h"

// Error reporting of the calibration data subsystem.
//
// Most failures are reported through ThrowCDSError, whose text is
// "<operation> - <message>" followed by " (<detail>)" when a detail is given.
// Every reported text also goes to the debug output and is kept as the
// module's last error text until the next report. The thrown exception owns
// its copy of the text, so it stays valid whatever is reported later.

// Receives every text reported through ReportCdsError. Silent until a sink is
// set; the program routes it to the platform's debugger output, tests capture
// it. An empty function makes it silent again.
using CdsDebugSink = std::function<void(const std::string& text)>;
void SetCdsDebugSink(CdsDebugSink sink);

// The text of the last error reported through ReportCdsError (empty at start).
const std::string& CdsLastErrorText();

// Builds the text, keeps it as the last error, sends it to the debug output
// and returns it. Does not throw.
std::string ReportCdsError(const std::string& operation, const std::string& message,
                           const std::string& detail = std::string());

// ReportCdsError, then throws the text as an UpdaterError.
[[noreturn]] void ThrowCDSError(const std::string& operation, const std::string& message,
                                const std::string& detail = std::string());

// The fixed precondition texts: "<operation> - <ending>", thrown directly,
// without debug output and without touching the last error text.
[[noreturn]] void ThrowCdsPrecondition(const std::string& operation, const char* ending);
