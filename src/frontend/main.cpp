#include "updater_main.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Line by line, so the console-event lines (written straight to the
    // output) and a script reading the output see the lines in their order.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return RunZvCamUpdater(argc, argv);
}
