// The shared history's figures against a real PostgreSQL server started here (as the tests
// start it): forwarding 10,000 waiting records (records per second), and what the shared
// history adds to one korvanectl operation (status --unit against fusesim, the whole run
// as a process) when its server is reachable, refuses the connection, or never answers.
// Usage: shared_bench FOLDER [records (10000)] [runs of each kind (40)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "history/forwarder.h"
#include "history/record_data.h"
#include "pg_server.h"
#include "program_run.h"
#include "sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace hi = kv::history;

struct Figures {
    double median, p99, worst;
};

Figures Of(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    return {at(0.5), at(0.99), ms.back()};
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: shared_bench FOLDER [records (10000)] [runs (40)]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int records = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 40;
    kvtest::PgServer pg;

    // Forwarding: a station file with `records` waiting, a service visit's mix of sizes.
    const std::string file = folder + "/forward.db";
    std::remove(file.c_str());
    {
        hi::Store local(file, {.syncEachRecord = false});
        hi::Context c = hi::DefaultContext();
        kv::corrtable::CorrTableData table{};
        for (int i = 0; i < records; ++i) {
            c.unit = "KV-" + std::to_string(1000 + i % 500);
            hi::Record r =
                i % 10 == 0
                    ? hi::MakeRecord(c, hi::TableWriteData{"t.epr", table, table, "", true}, {})
                    : hi::MakeRecord(c, hi::RelayData{i % 2 == 0}, {});
            if (!local.Append(r)) {
                std::fprintf(stderr, "cannot fill %s\n", file.c_str());
                return 1;
            }
        }
    }
    {
        hi::Store local(file);
        hi::SharedStore shared(pg.Uri());
        const auto t0 = Clock::now();
        const hi::ForwardResult r = hi::Forward(local, shared);
        const double ms = Ms(Clock::now() - t0);
        if (!r.status) {
            std::fprintf(stderr, "%s\n", r.status.message.c_str());
            return 1;
        }
        std::printf("forwarding %zu records: %.0f ms, %.0f records/s (batches of %zu)\n", r.arrived,
                    ms, r.arrived / (ms / 1000.0), hi::kForwardBatch);
    }

    // One operation: korvanectl status with its record, without and with a shared history.
    kvtest::SimFixture fx;
    kvtest::SilentListener silent;
    struct Kind {
        const char *name;
        std::string shared;
        int runs;
    };
    const std::vector<Kind> kinds = {
        {"no shared history", "", runs},
        {"shared history reachable", pg.Uri(), runs},
        {"server refuses (nothing listening)",
         "postgresql://korvane@127.0.0.1:" + std::to_string(kvtest::FreeLoopbackPort()) +
             "/korvane",
         runs},
        {"server never answers",
         "postgresql://korvane@127.0.0.1:" + std::to_string(silent.port()) + "/korvane",
         std::max(3, runs / 8)},
    };
    const std::string db = folder + "/op.db";
    for (const Kind &k : kinds) {
        std::vector<double> ms;
        for (int i = 0; i < k.runs; ++i) {
            std::vector<std::string> args = {"status",     "--unit", "BENCH-1", "--ini",
                                             fx.iniFile(), "--db",   db};
            if (!k.shared.empty())
                args.insert(args.end(), {"--shared", k.shared});
            const auto t0 = Clock::now();
            const kvtest::ProgramResult r = kvtest::RunCtl(args);
            ms.push_back(Ms(Clock::now() - t0));
            if (r.exitCode != 0) {
                std::fprintf(stderr, "%s: %s\n", k.name, r.err.c_str());
                return 1;
            }
        }
        const Figures f = Of(ms);
        std::printf("korvanectl status, %-36s median %7.1f ms, p99 %7.1f, worst %7.1f (of %d)\n",
                    (k.name + std::string(":")).c_str(), f.median, f.p99, f.worst, k.runs);
    }
    return 0;
}
