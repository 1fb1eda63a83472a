#pragma once

#include <stdexcept>
#include <string>

// The failure every subsystem but the camera API wrapper throws: one text
// holding the whole message. The exception owns its copy of the text.
class UpdaterError : public std::runtime_error {
public:
    explicit UpdaterError(const std::string& text) : std::runtime_error(text) {}
    explicit UpdaterError(const char* text) : std::runtime_error(text ? text : "") {}
};
