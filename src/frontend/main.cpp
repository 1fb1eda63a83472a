#include "updater_main.h"

int main(int argc, char** argv)
{
    return RunZvCamUpdater(argc, argv);
}
