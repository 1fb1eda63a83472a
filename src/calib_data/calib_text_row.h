#pragma once

#include <string>

// One cell of a structured calibration listing.
struct CalibTextRow {
    std::string name;
    std::string value;
    std::string unit;
};
