// Where a run's time goes, for bench/multi_port.py: with KORVANECTL_PHASES in the
// environment, each port's session ends with one line on standard error giving the
// monotonic clock (CLOCK_MONOTONIC on Linux, in microseconds) at its phases. Without it
// nothing is printed and the clock is read only at the start.
#pragma once

#include <chrono>
#include <string>

namespace kv::ctl {

// main's first moment; the process started before it.
void MarkProgramStart();

class PhaseTimes {
public:
    PhaseTimes();
    bool on() const { return on_; }
    // The port opened (opening) and done (opened), its settle wait included.
    void Opening() { opening_ = Now(); }
    void Opened() { opened_ = Now(); }
    // Time spent reading the device's Info for the records, and making the records (the
    // history file opened and written), summed.
    void AddInfo(std::chrono::steady_clock::duration d) { info_ += d; }
    void AddRecords(std::chrono::steady_clock::duration d) { records_ += d; }
    // "korvanectl-phases: label main=.. session=.. opening=.. opened=.. end=.. info=..
    // records=..": points in microseconds of the monotonic clock, durations in microseconds.
    std::string Line(const std::string &label) const;

private:
    static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
    bool on_;
    std::chrono::steady_clock::time_point session_, opening_, opened_;
    std::chrono::steady_clock::duration info_{}, records_{};
};

} // namespace kv::ctl
