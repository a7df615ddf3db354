// korvanectl: the fuse's service operations from the command line, on the same
// toolkit-free libraries as the windows.
#include <iostream>
#include <string>
#include <vector>

#include "app/program_path.h"
#include "ctl/phases.h"
#include "ctl/session.h"

int main(int argc, char **argv) {
    kv::ctl::MarkProgramStart();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kv::ctl::Run(args, kv::ProgramPathsOfProcess(argc > 0 ? argv[0] : nullptr), std::cout,
                        std::cerr);
}
