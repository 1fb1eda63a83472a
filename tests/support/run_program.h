#pragma once

// Runs the built zvcamupdater the way an operator or a script would.

#include "os_process.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Path of the built program, set by the build. ZV_E2E_PROGRAM in the
// environment names another program to drive instead: scripts/test-windows
// runs these tests on the Windows build under wine that way, through a
// launcher in a folder that also holds the tools the tests use.
inline const char* ProgramPath()
{
    const char* other = std::getenv("ZV_E2E_PROGRAM");
    return other != nullptr && *other != '\0' ? other : ZVCAMUPDATER_PATH;
}

// Whether the tests drive another build of the program (see ProgramPath).
// The Windows program's locks are the system's named mutexes, which a lock
// taken here (a file lock) does not meet: tests that hold a lock themselves
// to stand for another run only mean something on this build.
inline bool DrivesAnotherProgram()
{
    return ProgramPath() != std::string_view(ZVCAMUPDATER_PATH);
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
