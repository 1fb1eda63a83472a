#pragma once

#include <cstdint>
#include <string>

namespace zv::os {

// Console control events, numbered as Windows numbers them. On Windows the
// console's handler routine receives them (SetConsoleCtrlHandler); on POSIX
// systems they arrive as signals: SIGINT = Ctrl-C, SIGQUIT = Ctrl-Break,
// SIGHUP = console closed, SIGTERM = system shutting down (no signal stands
// for a logoff).
inline constexpr std::uint32_t kConsoleCtrlC = 0;
inline constexpr std::uint32_t kConsoleCtrlBreak = 1;
inline constexpr std::uint32_t kConsoleClose = 2;
inline constexpr std::uint32_t kConsoleLogoff = 5;
inline constexpr std::uint32_t kConsoleShutdown = 6;

// Text printed for an event. On POSIX systems it is called at installation
// for every event, never from the signal handler, which only writes the
// ready-made texts; on Windows the handler's own thread calls it.
using ConsoleEventText = std::string (*)(std::uint32_t event);

// From now on each console event writes its text to standard output and the
// program goes on. Installing again replaces the texts. False on failure. On
// Windows the process also runs at above-normal priority from then on.
bool InstallConsoleControl(ConsoleEventText textFor);
// Standard output goes out line by line (where the C runtime cannot buffer by
// lines, as on Windows, unbuffered), so the console-event lines and a script
// reading the output see the lines in their order and at once.
void WriteStandardOutputByLines();

// Back to the default reaction (the program ends); for tests.
void UninstallConsoleControl();
// Delivers the event to this process; false for an event that cannot be
// generated (POSIX: no signal stands for it; Windows: only Ctrl-C and
// Ctrl-Break can be, on a console the process then takes for itself). For
// tests.
bool SimulateConsoleEvent(std::uint32_t event);

}  // namespace zv::os
