#pragma once

#include <cstdint>
#include <string>

// The camera API wrapper's failure: a result code and its description
// (at most 199 characters), thrown and caught by value. It is deliberately
// not a std::exception: callers tell it apart from the updater's texts.
class zvAPIplus_Exception {
public:
    static constexpr size_t kMaxDescription = 199;

    // Keeps a copy of at most 199 characters of the text; null gives "".
    zvAPIplus_Exception(int32_t code, const char* description);

    // Copies the description into buffer (when it is not null and size is at
    // least 4): at most size - 1 characters, the rest of the size characters
    // set to NUL, so the text is always terminated within the buffer.
    void GetDescription(char* buffer, uint32_t size) const;
    // The description itself (at most 199 characters).
    const std::string& Description() const { return description; }
    int32_t GetErrorNumber() const { return errorNumber; }
    // Prints "zvAPIplus-Error <code>:<description>" and a line feed.
    void PrintError() const;

private:
    std::string description;
    int32_t errorNumber;
};
