#include "os_console_control.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <unistd.h>

namespace zv::os {
namespace {

struct EventSlot {
    int signal;
    std::uint32_t event;
    std::array<char, 512> text;
    volatile std::size_t length;
};

std::array<EventSlot, 4> g_slots{{
    {SIGINT, kConsoleCtrlC, {}, 0},
    {SIGQUIT, kConsoleCtrlBreak, {}, 0},
    {SIGHUP, kConsoleClose, {}, 0},
    {SIGTERM, kConsoleShutdown, {}, 0},
}};

// Runs in signal context: only write(2), on texts prepared beforehand.
extern "C" void OnConsoleSignal(int signal)
{
    const int savedErrno = errno;
    for (const EventSlot& slot : g_slots) {
        if (slot.signal != signal) {
            continue;
        }
        const char* data = slot.text.data();
        std::size_t left = slot.length;
        while (left > 0) {
            const ssize_t written = ::write(STDOUT_FILENO, data, left);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    errno = savedErrno;
}

sigset_t ConsoleSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const EventSlot& slot : g_slots) {
        sigaddset(&set, slot.signal);
    }
    return set;
}

}  // namespace

bool InstallConsoleControl(ConsoleEventText textFor)
{
    if (textFor == nullptr) {
        return false;
    }
    // Hold the signals back while the texts change, so a handler never sees
    // half a text.
    const sigset_t set = ConsoleSignals();
    sigset_t old;
    if (pthread_sigmask(SIG_BLOCK, &set, &old) != 0) {
        return false;
    }
    bool ok = true;
    for (EventSlot& slot : g_slots) {
        const std::string text = textFor(slot.event);
        const std::size_t length = std::min(text.size(), slot.text.size());
        std::memcpy(slot.text.data(), text.data(), length);
        slot.length = length;

        struct sigaction action {};
        action.sa_handler = &OnConsoleSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (sigaction(slot.signal, &action, nullptr) != 0) {
            ok = false;
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

void WriteStandardOutputByLines()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void UninstallConsoleControl()
{
    for (EventSlot& slot : g_slots) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(slot.signal, &action, nullptr);
        slot.length = 0;
    }
}

bool SimulateConsoleEvent(std::uint32_t event)
{
    for (const EventSlot& slot : g_slots) {
        if (slot.event == event) {
            return std::raise(slot.signal) == 0;  // handled before raise returns
        }
    }
    return false;
}

}  // namespace zv::os
