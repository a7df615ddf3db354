// What the log pane and korvanectl's traffic lines share beyond the lines themselves: the
// time stamp put before each line on request, and the log written to a text file.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A time of day to the millisecond.
struct ClockMillis {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};
ClockMillis LocalClockMillis(std::chrono::system_clock::time_point t);

// "hh:mm:ss.mmm line". An empty line gets the stamp alone.
std::string StampedLine(const ClockMillis &t, std::string_view line);

// The log as a text file: the lines given newest first (as the pane shows them) written
// oldest first, each ended by CR LF.
std::string LogFileText(const std::vector<std::string> &newestFirst);

} // namespace kv
