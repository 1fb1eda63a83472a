#pragma once

#include <cstdio>

struct UpdaterSetup;

// The one-line usage text printed before every command-line error.
void PrintCommandUsage();

// A whole run: banner, command words, options, set-up and operation, the
// closing lines; returns the exit status. Nothing escapes it.
int RunZvCamUpdater(int argc, const char* const* argv);
// The same with a given set-up (tests).
int RunZvCamUpdater(int argc, const char* const* argv, const UpdaterSetup& setup);
