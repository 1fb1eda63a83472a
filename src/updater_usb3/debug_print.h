#pragma once

// The USB3 layer's diagnostics: one formatted print onto the system's debug
// output (never standard output unless switched on), governed by a
// process-wide level. The caller compares the level with its message's
// threshold: a message is printed when debugLevel is at or below it, e.g.
//     if (DebugLevelAtMost(3)) DebugPrintf("hRWMutex failed\r\n");
// Thresholds in use: 3 for most transport and routine messages, 4 for lock
// time-outs, driver errors and the boot-image loader, 1 for the C51 command
// trace (so it stays silent at the start level 2).

#include <cstdint>

inline constexpr int kDebugBufferSize = 1024;      // prefix, text and terminator
inline constexpr char kDebugPrefix[] = "zvAPI: ";  // 7 characters

extern std::uint8_t debugLevel;       // 2 at start
extern std::uint8_t debugToDebugger;  // 1 at start
extern std::uint8_t debugToStdout;    // 0 at start

inline bool DebugLevelAtMost(std::uint8_t threshold)
{
    return debugLevel <= threshold;
}

// Formats into the 1024-byte buffer behind the prefix (a longer text is cut
// before the buffer's last byte) and sends the whole line to the debug output,
// and also to standard output when debugToStdout is set. Nothing happens
// while debugToDebugger is 0.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetDebugLevel(std::uint8_t level);
std::uint8_t GetDebugLevel();
void DebugToDebuggerOn();
void DebugToDebuggerOff();
void DebugToStdoutOn();
void DebugToStdoutOff();
