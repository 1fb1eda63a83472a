#pragma once

#include "text_limits.h"
#include <cstdint>
#include <string>

// Operation code chosen by the first command word.
enum UpdaterOperation : std::int32_t {
    OP_NONE = 0,
    OP_PROG = 1,
    OP_VERIFY = 2,
    OP_INFO = 3,
    OP_RESET = 4,
    OP_DUMP = 5,
    OP_EXTRACT = 6,
    OP_INSERT = 7,
    OP_UPGRADE = 8,
    OP_LISTDEVPATHS = 9,
    OP_DIFF = 10,
    OP_FILE_DIFF = 11,
};

// What the entry function learned from the positional words; read by the
// dispatcher and the all-cameras loops.
struct RunState {
    std::int32_t operation = OP_NONE;
    std::int32_t firmwareType = 0;
    bool checkModelName = false;
    std::string fileName;
    std::int32_t exitStatus = 0;
};

// The run's one instance.
RunState& TheRunState();
