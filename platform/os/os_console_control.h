#pragma once

#include <cstdint>
#include <string>

namespace zv::os {

// Console control events. On this system they arrive as signals:
// SIGINT = Ctrl-C, SIGQUIT = Ctrl-Break, SIGHUP = console closed,
// SIGTERM = system shutting down. (No signal stands for a logoff.)
inline constexpr std::uint32_t kConsoleCtrlC = 0;
inline constexpr std::uint32_t kConsoleCtrlBreak = 1;
inline constexpr std::uint32_t kConsoleClose = 2;
inline constexpr std::uint32_t kConsoleLogoff = 5;
inline constexpr std::uint32_t kConsoleShutdown = 6;

// Text printed for an event. Called at installation for every event, never
// from the signal handler: the handler only writes the ready-made texts.
using ConsoleEventText = std::string (*)(std::uint32_t event);

// From now on each console event writes its text to standard output and the
// program goes on. Installing again replaces the texts. False on failure.
bool InstallConsoleControl(ConsoleEventText textFor);
// Back to the default reaction (the program ends); for tests.
void UninstallConsoleControl();
// Delivers the event's signal to this process; false for an event that no
// signal stands for. For tests.
bool SimulateConsoleEvent(std::uint32_t event);

}  // namespace zv::os
