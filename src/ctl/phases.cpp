#include "ctl/phases.h"

#include <cstdlib>

namespace kv::ctl {

namespace {

std::chrono::steady_clock::time_point gProgramStart = std::chrono::steady_clock::now();

long long Micros(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

long long Micros(std::chrono::steady_clock::duration d) {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
}

} // namespace

void MarkProgramStart() {
    gProgramStart = std::chrono::steady_clock::now();
}

PhaseTimes::PhaseTimes()
    : on_(std::getenv("KORVANECTL_PHASES") != nullptr), session_(Now()), opening_(session_),
      opened_(session_) {}

std::string PhaseTimes::Line(const std::string &label) const {
    return "korvanectl-phases: " + label + " main=" + std::to_string(Micros(gProgramStart)) +
           " session=" + std::to_string(Micros(session_)) +
           " opening=" + std::to_string(Micros(opening_)) +
           " opened=" + std::to_string(Micros(opened_)) + " end=" + std::to_string(Micros(Now())) +
           " info=" + std::to_string(Micros(info_)) +
           " records=" + std::to_string(Micros(records_));
}

} // namespace kv::ctl
