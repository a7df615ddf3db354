// Runs korvanectl as a child process and captures what it writes and its exit status.
#pragma once

#include <string>
#include <vector>

namespace kvtest {

struct ProgramResult {
    int exitCode = -1; // -1 when the program did not end normally
    std::string out;
    std::string err;
};

// The korvanectl executable of this build (from KORVANE_BIN_DIR).
std::string KorvanectlPath();

// Runs the program with args; kills it after timeoutMs. Standard input is empty.
ProgramResult RunProgram(const std::string &program, const std::vector<std::string> &args,
                         int timeoutMs = 30000);

inline ProgramResult RunCtl(const std::vector<std::string> &args, int timeoutMs = 30000) {
    return RunProgram(KorvanectlPath(), args, timeoutMs);
}

// What the tests look for in a program's output.
inline bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}
// The text's lines, without their line ends (no empty last line for a final newline).
std::vector<std::string> Lines(const std::string &text);

} // namespace kvtest
