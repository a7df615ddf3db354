// The history file under load: 100,000 records of 2,000 units, then the history of one unit
// (as `korvanectl history --unit` and the window read it) and the cost of one record (as
// every device operation pays it), median and worst of many.
//   history_bench [FOLDER (bench-history)] [RECORDS (100000)] [APPENDS (500)]
// The folder should be on the disk the tool's files live on: the record cost is mostly
// the disk's sync.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "history/calibration_record.h"
#include "history/record_data.h"
#include "history/store.h"

using namespace kv::history;
namespace calib = kv::calib;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Figures {
    double median, p99, worst;
};
Figures Summarize(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

std::string Unit(int i) {
    return "KV-" + std::to_string(100000 + i);
}

// A service visit's mix: mostly small records, one in ten carrying a table (2.5 kB).
Record Sample(const Context &c, int i, const Stamp &stamp) {
    static const kv::corrtable::CorrTableData table = [] {
        kv::corrtable::CorrTableData t{};
        for (std::size_t n = 0; n < 223; ++n)
            t[n] = static_cast<std::int8_t>(static_cast<int>(n % 30) - 15);
        return t;
    }();
    switch (i % 10) {
    case 0:
        return MakeRecord(c, TableWriteData{"corrtbl.epr", table, table, "", true}, {}, stamp);
    case 1:
    case 2:
        return MakeRecord(c, ParamsReadData{{99, 0, 12, 85, 20, true, false}}, {}, stamp);
    case 3: {
        ParamsSendData d;
        d.sent = {99, 0, 12, 85, 20, true, false};
        d.crcReturned = kv::device::ParametersCrc(d.sent);
        return MakeRecord(c, d, {}, stamp);
    }
    default:
        return MakeRecord(c, RelayData{i % 2 == 0}, {}, stamp);
    }
}

} // namespace

int main(int argc, char **argv) {
    namespace fs = std::filesystem;
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::path("bench-history");
    const int records = argc > 2 ? std::stoi(argv[2]) : 100000;
    const int appends = argc > 3 ? std::stoi(argv[3]) : 500;
    const int units = 2000;
    fs::create_directories(folder);
    const std::string path = (folder / "korvane.db").string();
    for (const char *suffix : {"", "-wal", "-shm"})
        fs::remove(path + suffix);

    Context c = DefaultContext();
    c.port = "/dev/ttyUSB0";
    c.info = "KORVANE FUSE 2.1";
    const auto t0 = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
    {
        // Filling without a sync per record; the records are the same.
        Store fill(path, StoreOptions{5000, false});
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < records; ++i) {
            c.unit = Unit(i % units);
            Record r = Sample(c, i, {UtcText(t0 + std::chrono::minutes(i)), i});
            if (const Status s = fill.Append(r); !s) {
                std::fprintf(stderr, "%s\n", s.message.c_str());
                return 1;
            }
        }
        std::printf("filled %d records of %d units in %.1f s (no sync per record)\n", records,
                    units, Ms(Clock::now() - start) / 1000);
    }
    std::printf("file: %.1f MB\n", static_cast<double>(fs::file_size(path)) / 1e6);

    // The history of one unit, oldest first, from a fresh program (opening included).
    std::mt19937 rng(7);
    std::vector<double> cold, warm;
    std::size_t perUnit = 0;
    Store reader(path);
    for (int k = 0; k < 50; ++k) {
        const std::string unit = Unit(static_cast<int>(rng() % units));
        Clock::time_point start = Clock::now();
        Store fresh(path);
        const QueryResult r = fresh.Read({.unit = unit});
        cold.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        const QueryResult again = reader.Read({.unit = unit});
        warm.push_back(Ms(Clock::now() - start));
        if (!r.status || !again.status) {
            std::fprintf(stderr, "%s\n", r.status.message.c_str());
            return 1;
        }
        perUnit = r.records.size();
    }
    const Figures fc = Summarize(cold), fw = Summarize(warm);
    std::printf("history of one unit (%zu records): opened and read %.2f ms median, %.2f ms "
                "worst; open store %.2f ms median, %.2f ms worst (of 50)\n",
                perUnit, fc.median, fc.worst, fw.median, fw.worst);
    Clock::time_point start = Clock::now();
    const QueryResult week =
        reader.Read({.since = UtcText(t0 + std::chrono::minutes(records - 7 * 24 * 60))});
    std::printf("everything of the last week (%zu records): %.1f ms\n", week.records.size(),
                Ms(Clock::now() - start));

    // The cost of one record, synced to the disk as the front ends write it.
    Store store(path);
    std::vector<double> cost;
    c.unit = Unit(1);
    for (int i = 0; i < appends; ++i) {
        Record r = Sample(c, i, Now());
        start = Clock::now();
        if (const Status s = store.Append(r); !s) {
            std::fprintf(stderr, "%s\n", s.message.c_str());
            return 1;
        }
        cost.push_back(Ms(Clock::now() - start));
    }
    const Figures fa = Summarize(cost);
    std::printf("one record appended (synced): %.2f ms median, %.2f ms p99, %.2f ms worst "
                "(of %d)\n",
                fa.median, fa.p99, fa.worst, appends);

    // A calibration record from the store: one unit's history read and rendered.
    c.unit = "KV-CAL";
    const calib::PointList points{{0, 3}, {800, 90}, {2000, 172}};
    const calib::CorrectionTable calc = calib::CalcCorrection(points, 85, 0);
    Record r1 = MakeRecord(c, CalibrationCalcData{points, 85, 0, calc, "corrtbl.epr"}, {});
    Record r2 = MakeRecord(c, TableWriteData{"corrtbl.epr", {}, TableOf(calc), "", true}, {});
    for (Record *r : {&r1, &r2}) {
        if (const Status s = store.Append(*r); !s) {
            std::fprintf(stderr, "%s\n", s.message.c_str());
            return 1;
        }
    }
    start = Clock::now();
    const QueryResult cal = store.Read({.unit = "KV-CAL"});
    const CalibrationDocument doc = CalibrationRecordHtml(cal.records, "KV-CAL", "", Now().time);
    std::printf("calibration record read and rendered: %.2f ms (%zu bytes)\n",
                Ms(Clock::now() - start), doc.html.size());
    return doc.ok ? 0 : 1;
}
