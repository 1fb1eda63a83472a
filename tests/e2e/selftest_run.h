#pragma once

// Runs of `zvcamupdater internal_tests` in a private work directory filled
// by the data generator, the way the README shows it.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "os_process.h"
#include "run_program.h"

namespace e2e {

inline constexpr std::chrono::seconds kSuiteTimeout{600};

// Writes the suite's data for a run in base/run/work (the generator also
// writes base/run/data_updaters) and answers the work directory.
inline std::filesystem::path WriteSuiteData(const std::filesystem::path& base)
{
    const std::filesystem::path work = base / "run" / "work";
    // The generator is installed beside the program.
    const std::filesystem::path tool = std::filesystem::path(ProgramPath()).parent_path() / "zv-selftest-data";
    const zv::os::ProcessResult r = zv::os::RunProcess(tool.string(), {work.string()});
    EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
    return work;
}

// The suite run in the work directory, with more words after the command.
inline ProgramRun RunSuiteIn(const std::filesystem::path& work, const std::vector<std::string>& moreWords = {})
{
    std::vector<std::string> args = {"-C", work.string(), ProgramPath(), "internal_tests"};
    args.insert(args.end(), moreWords.begin(), moreWords.end());
    const zv::os::ProcessResult r = zv::os::RunProcess("/usr/bin/env", args, {}, {}, kSuiteTimeout);
    return {r.out, r.err, r.timedOut ? -1 : r.exitStatus};
}

}  // namespace e2e
