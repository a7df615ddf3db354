// What the threads of this process cost, from /proc (Linux): which threads there are, how
// often one was scheduled off its core and how much CPU time it had.
#pragma once

#include <set>

namespace kvtest {

std::set<int> ThreadIds();
// The one thread in ThreadIds() that is not in before, or -1.
int NewThread(const std::set<int> &before);

struct ThreadUse {
    long switches = 0; // voluntary and involuntary: each sleep it wakes from counts
    double cpuMs = 0;
};
ThreadUse Use(int tid);

} // namespace kvtest
