// What a simulated fuse starts with (its state, faults and line), and fusesim's command line,
// which sets them.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "faults.h"
#include "fuse_model.h"

namespace kv::sim {

// The device at the start (DeviceState), its faults, and the line.
struct Options : DeviceState {
    int baud = 0;              // replies paced at this many bit/s (10 bits a byte); 0: at once
    bool wholeReplies = false; // a paced reply handed over in one piece (PtyLine::Settings)
    std::string linkPath;      // a symbolic link to the device, kept pointing at it
    Faults faults;
    bool verbose = false; // frames and replies to stderr
};

// fusesim's command line.
struct ProgramArgs {
    Options options;             // paced at 19200 bit/s unless told otherwise
    int floodBytesPerSecond = 0; // an unsolicited flood once the line is up
    int floodMs = 0;
    bool help = false;
    bool version = false;
};

extern const char *const kProgramHelp;

// The arguments after the program name; a usage error is returned as its text.
std::variant<ProgramArgs, std::string> ParseProgramArgs(const std::vector<std::string> &args);

} // namespace kv::sim
