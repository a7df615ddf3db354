#include "thread_use.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kvtest {

std::set<int> ThreadIds() {
    std::set<int> tids;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (dirent *e = ::readdir(d))
            if (e->d_name[0] != '.')
                tids.insert(std::atoi(e->d_name));
        ::closedir(d);
    }
    return tids;
}

int NewThread(const std::set<int> &before) {
    for (int t : ThreadIds())
        if (!before.count(t))
            return t;
    return -1;
}

ThreadUse Use(int tid) {
    const std::string dir = "/proc/self/task/" + std::to_string(tid);
    ThreadUse u;
    std::ifstream status(dir + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.find("ctxt_switches:") != std::string::npos)
            u.switches += std::atol(line.substr(line.find(':') + 1).c_str());
    std::ifstream sched(dir + "/schedstat"); // nanoseconds on the CPU first
    unsigned long long ns = 0;
    sched >> ns;
    u.cpuMs = static_cast<double>(ns) / 1e6;
    return u;
}

} // namespace kvtest
