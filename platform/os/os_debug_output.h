#pragma once

#include <string>
#include <string_view>

namespace zv::os {

// Diagnostics for a developer's debugger, never for the operator: silent
// unless a DebugOutputCapture is collecting them (tests).
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
