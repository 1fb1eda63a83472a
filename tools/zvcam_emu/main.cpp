#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "zvcam_emu/cli.h"

int main(int argc, char** argv)
{
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        const int status = zvcam_emu::Run(args, std::cout);
        std::cout.flush();
        return status;
    } catch (const std::exception& e) {
        std::cout << "zvcam-emu: " << e.what() << std::endl;
    } catch (...) {
        std::cout << "zvcam-emu: unexpected failure" << std::endl;
    }
    return 1;
}
