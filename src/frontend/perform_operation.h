#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

class CmdLineParams;
class FW_Updater;
struct RunState;

// Runs the command line's operation on one updater whose camera is selected.
// Every failure is thrown; an operation that reports failure by its result
// fails the run as well. `answers` is where the confirmation question is read.
void PerformOperation(FW_Updater& updater, const RunState& run, const CmdLineParams& params, std::istream& answers);
// The same with the run's globals and standard input.
void PerformOperation(FW_Updater& updater);

// Prints "Log: <text>".
void PrintLog(std::string_view text);

// Progress printer installed on the updaters: prints "<n>%\r" whenever the
// percentage differs from the last one printed (which starts at 0).
void PrintProgress(int percent, std::uint32_t context);
// Forgets the last percentage printed (each test starts afresh).
void ResetProgressPrinter();

// What the console control handler prints for a console event: the event's
// log line, then that the update goes on.
std::string ConsoleCtrlText(std::uint32_t event);
// Prints ConsoleCtrlText for the event; the event counts as handled.
bool ConsoleCtrlHandler(std::uint32_t event);
// Makes Ctrl-C and the like print ConsoleCtrlText instead of ending the run.
void InstallConsoleCtrlHandler();
