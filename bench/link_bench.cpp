// Measures the serial link against the simulated fuse on a pseudo-terminal, with the
// windows' timing and with the command line's:
//   the CPU time of the receive thread on an open idle port, and with the device hung up;
//   the CPU time of a transaction waiting on a silent device (main and receive thread);
//   the wall time of GetStatus transactions against their floor (one poll plus the gap);
//   28 table-block writes on one link, and on 8 links at once, each on its own thread.
// Usage: link_bench [seconds per CPU run (10)] [transactions (50)]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ctl/session.h"
#include "fake_host.h"
#include "sim_fixture.h"
#include "thread_use.h"

namespace {

using Clock = std::chrono::steady_clock;

const kv::link::Timing kWindow{};
const kv::link::Timing kCtl = kv::ctl::CtlTiming(false);

const char *Name(const kv::link::Timing &t) {
    return t.completeEarly ? "command line" : "windows";
}

double ThreadCpuNowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double ReceiveThreadCpu(const kv::link::Timing &timing, bool hungUp, int seconds) {
    kvtest::SimFixture fx;
    kvtest::FakeHost host;
    auto link = fx.MakeLink(host, timing);
    const auto before = kvtest::ThreadIds();
    if (!link->OpenComPort()) {
        std::fprintf(stderr, "cannot open the port\n");
        std::exit(1);
    }
    const int tid = kvtest::NewThread(before);
    if (hungUp)
        fx.sim().HangUpNow();
    const double start = kvtest::Use(tid).cpuMs;
    host.PumpUntil([] { return false; }, seconds * 1000);
    return kvtest::Use(tid).cpuMs - start;
}

// A GetStatus that the device leaves unanswered, `count` times: the CPU time of the main
// thread and the receive thread over the waits, in percent of one core.
void SilentWait(const kv::link::Timing &timing, int count) {
    kvtest::SimFixture fx;
    kvtest::FakeHost host;
    auto link = fx.MakeLink(host, timing);
    const auto before = kvtest::ThreadIds();
    link->OpenComPort();
    const int tid = kvtest::NewThread(before);
    fx.sim().SetSilent(0x15, true);
    const double rx0 = kvtest::Use(tid).cpuMs, main0 = ThreadCpuNowMs();
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i)
        (void)link->SendCommand({0x15}, 25);
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const double cpu = ThreadCpuNowMs() - main0 + kvtest::Use(tid).cpuMs - rx0;
    std::printf("%-12s waiting on a silent device, %.1f s: %.1f ms CPU = %.2f%% of a core\n",
                Name(timing), wall / 1000, cpu, 100 * cpu / wall);
}

void Transactions(const kv::link::Timing &t, int baud, int count) {
    kv::sim::Options o;
    o.baud = baud;
    kvtest::SimFixture fx(o);
    kvtest::FakeHost host;
    auto link = fx.MakeLink(host, t);
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
    if (t.completeEarly)
        std::printf("%-12s GetStatus, sim paced at %d bit/s: median %.1f ms, min %.1f, max %.1f "
                    "over %d (reply on the wire: %.1f ms)\n",
                    Name(t), baud, ms[ms.size() / 2], ms.front(), ms.back(), count,
                    baud ? 25 * 10000.0 / baud : 0.0);
    else
        std::printf("%-12s GetStatus, sim paced at %d bit/s: median %.1f ms, min %.1f, max %.1f "
                    "over %d (floor %d ms: one %d ms poll + %d ms gap)\n",
                    Name(t), baud, ms[ms.size() / 2], ms.front(), ms.back(), count,
                    static_cast<int>((t.poll + t.gap).count()), static_cast<int>(t.poll.count()),
                    static_cast<int>(t.gap.count()));
}

// 28 table-block writes on each of `links` links at once, each link with its own simulated
// fuse (19200 bit/s), host and thread: the wall time until the last one is done.
double TableWrites(int links) {
    std::vector<std::thread> threads;
    std::vector<double> ms(static_cast<std::size_t>(links));
    std::vector<int> failed(static_cast<std::size_t>(links));
    for (int i = 0; i < links; ++i)
        threads.emplace_back([i, &ms, &failed] {
            kv::sim::Options o;
            o.baud = 19200;
            kvtest::SimFixture fx(o);
            kvtest::FakeHost host; // this thread is its main thread
            auto link = fx.MakeLink(host, kCtl);
            link->OpenComPort();
            const auto t0 = Clock::now();
            for (int k = 0; k < 28; ++k) {
                const std::uint8_t address = static_cast<std::uint8_t>(32 + 8 * k);
                if (!link->SendCommand({0x06, address, 1, 2, 3, 4, 5, 6, 7, 8}, 2).Has(2))
                    ++failed[static_cast<std::size_t>(i)];
            }
            ms[static_cast<std::size_t>(i)] =
                std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        });
    for (auto &t : threads)
        t.join();
    for (int f : failed)
        if (f)
            std::fprintf(stderr, "%d blocks failed\n", f);
    return *std::max_element(ms.begin(), ms.end());
}

} // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int count = argc > 2 ? std::atoi(argv[2]) : 50;
    for (const kv::link::Timing &t : {kWindow, kCtl}) {
        const double idle = ReceiveThreadCpu(t, false, seconds);
        std::printf("%-12s receive thread CPU, idle open port, %d s: %.1f ms = %.3f%% of a core\n",
                    Name(t), seconds, idle, idle / (seconds * 10.0));
        std::printf("%-12s receive thread CPU, device hung up, %d s: %.1f ms\n", Name(t), seconds,
                    ReceiveThreadCpu(t, true, seconds));
    }
    SilentWait(kCtl, 2);
    for (const kv::link::Timing &t : {kWindow, kCtl}) {
        Transactions(t, 19200, count);
        Transactions(t, 0, count);
    }
    std::vector<double> one, eight;
    for (int run = 0; run < 3; ++run) {
        one.push_back(TableWrites(1));
        eight.push_back(TableWrites(8));
    }
    std::sort(one.begin(), one.end());
    std::sort(eight.begin(), eight.end());
    std::printf("command line 28 table blocks at 19200 bit/s, median of 3: 1 link %.1f ms, "
                "8 links at once %.1f ms (x%.2f)\n",
                one[1], eight[1], eight[1] / one[1]);
    return 0;
}
