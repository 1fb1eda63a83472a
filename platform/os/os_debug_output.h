#pragma once

#include <string>
#include <string_view>

namespace zv::os {

// Diagnostics for a developer's debugger, never for the operator. On Windows
// they go to the debugger output; elsewhere they stay silent. A
// DebugOutputCapture collects them as well (tests).
void DebugOutput(std::string_view text);

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // Everything written since the capture began.
    std::string Text() const;
};

}  // namespace zv::os
