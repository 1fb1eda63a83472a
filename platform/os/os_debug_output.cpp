#include "os_debug_output.h"

#include <mutex>
#include <stdexcept>

#include "os_system.h"

namespace zv::os {
namespace {

std::mutex g_mutex;
bool g_capturing = false;
std::string g_captured;

}  // namespace

void DebugOutput(std::string_view text)
{
    system::DebuggerOutput(text);
    std::lock_guard lock(g_mutex);
    if (g_capturing) {
        g_captured.append(text);
    }
}

DebugOutputCapture::DebugOutputCapture()
{
    std::lock_guard lock(g_mutex);
    if (g_capturing) {
        throw std::logic_error("DebugOutputCapture: only one may exist at a time");
    }
    g_capturing = true;
    g_captured.clear();
}

DebugOutputCapture::~DebugOutputCapture()
{
    std::lock_guard lock(g_mutex);
    g_capturing = false;
    g_captured.clear();
}

std::string DebugOutputCapture::Text() const
{
    std::lock_guard lock(g_mutex);
    return g_captured;
}

}  // namespace zv::os
