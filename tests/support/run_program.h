#pragma once

// Runs the built zvcamupdater the way an operator or a script would.

#include "os_process.h"

#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Path of the built program, set by the build.
inline const char* ProgramPath()
{
    return ZVCAMUPDATER_PATH;
}

// Runs the program with `args`, `stdinText` on its standard input and `env`
// added to its environment.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& stdinText = {},
                             const std::vector<std::pair<std::string, std::string>>& env = {})
{
    const zv::os::ProcessResult r = zv::os::RunProcess(ProgramPath(), args, stdinText, env);
    return {r.out, r.err, r.timedOut ? -1 : r.exitStatus};
}

}  // namespace e2e
