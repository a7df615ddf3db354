// The cost a history record adds to a device operation, side by side with the operation
// alone: GetStatus against the simulated fuse (paced at 19200 bit/s, korvanectl's timing),
// alternately without and with its record appended to a history file (synced to the disk,
// as the front ends write it).
// Usage: history_cost_bench FOLDER [operations of each kind (200)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ctl/session.h"
#include "device/operations.h"
#include "fake_host.h"
#include "history/recorder.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median, p99, worst;
};

Figures Of(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    return {at(0.5), at(0.99), ms.back()};
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: history_cost_bench FOLDER [operations (200)]\n");
        return 2;
    }
    const std::string file = std::string(argv[1]) + "/cost.db";
    std::remove(file.c_str());
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;

    kv::sim::Options o;
    o.baud = 19200; // the fuse's line, as fusesim paces it by default
    kvtest::SimFixture fx(o);
    kvtest::FakeHost host;
    kvtest::ScriptedPrompter prompter;
    auto link = fx.MakeLink(host, kv::ctl::CtlTiming(false));
    if (!link->OpenComPort()) {
        std::fprintf(stderr, "cannot open the port\n");
        return 1;
    }
    kv::device::DeviceOps ops(*link, prompter);
    kv::history::Context context = kv::history::DefaultContext();
    context.unit = "BENCH-1";
    kv::history::Recorder recorder(file, context);
    recorder.PortOpened(fx.port(), [] { return std::string("Fuse sim"); });

    std::vector<double> alone, recorded, append;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        const kv::device::StatusRead a = ops.ReadStatus();
        const auto t1 = Clock::now();
        const kv::device::StatusRead b = ops.ReadStatus();
        const auto t2 = Clock::now();
        const kv::history::Recorder::Result r = recorder.Add(kv::history::EntryOf(b));
        const auto t3 = Clock::now();
        if (!a.ok() || !b.ok() || !r.status) {
            std::fprintf(stderr, "operation %d failed: %s\n", i, r.status.message.c_str());
            return 1;
        }
        alone.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        recorded.push_back(std::chrono::duration<double, std::milli>(t3 - t1).count());
        append.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
    }
    const Figures fa = Of(alone), fr = Of(recorded), fp = Of(append);
    std::printf("GetStatus alone:           median %.2f ms, p99 %.2f, worst %.2f (of %d)\n",
                fa.median, fa.p99, fa.worst, count);
    std::printf("GetStatus and its record:  median %.2f ms, p99 %.2f, worst %.2f (of %d)\n",
                fr.median, fr.p99, fr.worst, count);
    std::printf("the record's part:         median %.2f ms, p99 %.2f, worst %.2f\n", fp.median,
                fp.p99, fp.worst);
    return 0;
}
