#pragma once

#include "text_format.h"
#include "updater_error.h"

// The front end's own failures carry "ERROR: <text>\n"; main prints them after
// its "******** Error: " prefix, so such an error line ends in a blank line.
[[noreturn]] inline void FailRun(const char* text)
{
    throw UpdaterError(FormatText("ERROR: %s\n", text));
}
