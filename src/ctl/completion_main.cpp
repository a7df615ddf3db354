// Writes korvanectl's shell completion (bash or zsh) to a file, or to standard output, for
// the package: korvanectl_completion bash|zsh [FILE].
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "ctl/completion.h"

int main(int argc, char **argv) {
    std::string script;
    if (argc >= 2 && std::strcmp(argv[1], "bash") == 0)
        script = kv::ctl::BashCompletion();
    else if (argc >= 2 && std::strcmp(argv[1], "zsh") == 0)
        script = kv::ctl::ZshCompletion();
    if (script.empty() || argc > 3) {
        std::cerr << "usage: korvanectl_completion bash|zsh [FILE]\n";
        return 2;
    }
    if (argc == 2) {
        std::cout << script;
        return std::cout.flush() ? 0 : 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << script;
    out.close();
    if (!out) {
        std::cerr << "korvanectl_completion: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
