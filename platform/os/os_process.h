#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace zv::os {

struct ProcessResult {
    std::string out;        // everything written to standard output
    std::string err;        // everything written to standard error
    int exitStatus = -1;    // exit code; 128 + signal number when killed by a signal
    bool timedOut = false;  // killed because it ran past the timeout
};

// Runs `program` with `args`, feeding `stdinText` to its standard input and
// adding `env` to its environment; waits for it to end. Used by the tests
// that run the built program.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText = {},
                         const std::vector<std::pair<std::string, std::string>>& env = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace zv::os
