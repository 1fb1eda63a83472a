#include "updater_main.h"

#include "os_console_control.h"

int main(int argc, char** argv)
{
    // Line by line, so the console-event lines (written straight to the
    // output) and a script reading the output see the lines in their order.
    zv::os::WriteStandardOutputByLines();
    return RunZvCamUpdater(argc, argv);
}
