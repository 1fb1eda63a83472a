#pragma once

// A CPU firmware version text such as "01.30": two decimal numbers joined by
// a point, compared major first. Whatever cannot be read stays 0, so "1"
// reads as 1.0 and an empty or missing text as 0.0.
struct CdsVersion {
    int major = 0;
    int minor = 0;

    CdsVersion() = default;
    explicit CdsVersion(const char* text);

    bool operator<(const CdsVersion& other) const;
    bool operator>(const CdsVersion& other) const;
};
