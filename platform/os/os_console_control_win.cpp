#include "os_console_control.h"

#include <cstdio>
#include <mutex>

#include <windows.h>

namespace zv::os {
namespace {

// The system calls the handler on a thread of its own while the program goes
// on, so the handler may take a lock and use the C runtime's stdout.
std::mutex g_mutex;
ConsoleEventText g_textFor = nullptr;
bool g_registered = false;
// Signalled after each handled event, so SimulateConsoleEvent can wait for it.
HANDLE g_handled = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    {
        std::lock_guard lock(g_mutex);
        if (g_textFor == nullptr) {
            return FALSE;  // not ours (any more): the next handler decides
        }
        const std::string text = g_textFor(static_cast<std::uint32_t>(event));
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    ::SetEvent(g_handled);
    return TRUE;
}

}  // namespace

bool InstallConsoleControl(ConsoleEventText textFor)
{
    if (textFor == nullptr) {
        return false;
    }
    std::lock_guard lock(g_mutex);
    if (g_handled == nullptr) {
        g_handled = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (g_handled == nullptr) {
            return false;
        }
    }
    if (!g_registered) {
        if (!::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE)) {
            return false;
        }
        g_registered = true;
    }
    g_textFor = textFor;
    // A firmware write should not be starved by other work on the machine;
    // failing to raise the priority changes nothing else.
    ::SetPriorityClass(::GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS);
    return true;
}

void WriteStandardOutputByLines()
{
    // The Windows C runtime treats line buffering as full buffering.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

void UninstallConsoleControl()
{
    std::lock_guard lock(g_mutex);
    if (g_registered) {
        ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
        g_registered = false;
    }
    g_textFor = nullptr;
}

bool SimulateConsoleEvent(std::uint32_t event)
{
    if (event != kConsoleCtrlC && event != kConsoleCtrlBreak) {
        return false;  // only these two can be generated
    }
    // The event goes to every process of the console, so the test process
    // takes a console of its own first.
    static const bool ownConsole = [] {
        ::FreeConsole();
        return ::AllocConsole() != 0;
    }();
    if (!ownConsole) {
        return false;
    }
    if (g_handled != nullptr) {
        ::ResetEvent(g_handled);
    }
    if (!::GenerateConsoleCtrlEvent(event, 0)) {
        return false;
    }
    // Without our handler the system's default one ends the process; with it,
    // wait until the text is out.
    return g_handled != nullptr && ::WaitForSingleObject(g_handled, 10000) == WAIT_OBJECT_0;
}

}  // namespace zv::os
