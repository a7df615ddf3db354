// Measures the serial link against the simulated fuse on a pseudo-terminal:
//   the CPU time of the receive thread on an open idle port, and with the device hung up;
//   the wall time of GetStatus transactions against their floor (one poll plus the gap).
// Usage: link_bench [seconds per CPU run (10)] [transactions (50)]
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fake_host.h"
#include "sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::set<int> Threads() {
    std::set<int> tids;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (dirent *e = ::readdir(d))
            if (e->d_name[0] != '.')
                tids.insert(std::atoi(e->d_name));
        ::closedir(d);
    }
    return tids;
}

// CPU time of one thread in milliseconds: schedstat counts nanoseconds; stat (clock ticks)
// where schedstat is missing.
double ThreadCpuMs(int tid) {
    const std::string dir = "/proc/self/task/" + std::to_string(tid);
    {
        std::ifstream f(dir + "/schedstat");
        unsigned long long ns = 0;
        if (f >> ns)
            return ns / 1e6;
    }
    std::ifstream f(dir + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto close = s.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(s.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return (utime + stime) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ReceiveThreadCpu(bool hungUp, int seconds) {
    kvtest::SimFixture fx;
    kvtest::FakeHost host;
    auto link = fx.MakeLink(host);
    const auto before = Threads();
    if (!link->OpenComPort()) {
        std::fprintf(stderr, "cannot open the port\n");
        std::exit(1);
    }
    int tid = -1;
    for (int t : Threads())
        if (!before.count(t))
            tid = t;
    if (hungUp)
        fx.sim().HangUpNow();
    const double start = ThreadCpuMs(tid);
    host.PumpUntil([] { return false; }, seconds * 1000);
    return ThreadCpuMs(tid) - start;
}

void Transactions(int baud, int count) {
    kv::sim::Options o;
    o.baud = baud;
    kvtest::SimFixture fx(o);
    kvtest::FakeHost host;
    auto link = fx.MakeLink(host);
    link->OpenComPort();
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        const kv::link::Reply r = link->SendCommand({0x15}, 25);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (!r.Has(25))
            std::fprintf(stderr, "transaction %d: %zu bytes\n", i, r.bytes.size());
    }
    std::sort(ms.begin(), ms.end());
    const kv::link::Timing t;
    std::printf("GetStatus, sim paced at %d bit/s: median %.1f ms, min %.1f, max %.1f over %d "
                "(floor %d ms: one %d ms poll + %d ms gap)\n",
                baud, ms[ms.size() / 2], ms.front(), ms.back(), count, t.pollMs + t.gapMs, t.pollMs,
                t.gapMs);
}

} // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int count = argc > 2 ? std::atoi(argv[2]) : 50;
    std::printf("receive thread CPU, idle open port, %d s: %.1f ms\n", seconds,
                ReceiveThreadCpu(false, seconds));
    std::printf("receive thread CPU, device hung up, %d s: %.1f ms\n", seconds,
                ReceiveThreadCpu(true, seconds));
    Transactions(19200, count);
    Transactions(0, count);
    return 0;
}
