#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zvcam_emu {

// Runs one zvcam-emu command line (without the program name) and answers
// the exit status: 0 on success, 1 on any error. Everything goes to out.
int Run(const std::vector<std::string>& args, std::ostream& out);

}  // namespace zvcam_emu
