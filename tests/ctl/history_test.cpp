// The unit history as korvanectl keeps it, run as a process against the simulated fuse and
// real history files: the record each command makes, the listing and the calibration
// record read back, a unit that moved to another adapter, and a history that cannot be
// written (read-only or full file system) beside the device work that was done.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/numbers.h"
#include "drill_meter.h"
#include "history/record_data.h"
#include "history/store.h"
#include "program_run.h"
#include "sim_fixture.h"

using kvtest::Has;
using kvtest::ProgramResult;
using kvtest::SimFixture;
using kvtest::TempDir;
namespace hi = kv::history;

namespace {

// A calibration file: (current, first ADC, second ADC) per row, 15 rows.
std::string Sav(const std::vector<std::array<std::string, 3>> &cells) {
    std::string text;
    for (std::size_t r = 0; r < 15; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            text += (r < cells.size() ? cells[r][c] : std::string()) + "\r\n";
    return text;
}

class CtlHistory : public ::testing::Test {
protected:
    CtlHistory() {
        TempDir::Write(sav(), Sav({{"0.00", "3", ""}, {"1.00", "90", ""}, {"2.00", "178", ""}}));
    }
    std::string db() { return f.dir().File("h.db"); }
    std::string sav() { return f.dir().File("cal.sav"); }
    std::string epr() { return f.dir().File("corrtbl.epr"); }

    // korvanectl with the fixture's settings file and the history file.
    ProgramResult Ctl(std::vector<std::string> args, const std::string &file = "") {
        for (const std::string &a : {std::string("--ini"), f.iniFile(), std::string("--db"),
                                     file.empty() ? db() : file, std::string("--yes")})
            args.push_back(a);
        return kvtest::RunCtl(args);
    }
    std::vector<hi::Record> Records(const std::string &file = "") {
        hi::Store store(file.empty() ? db() : file);
        hi::QueryResult r = store.Read({});
        EXPECT_TRUE(r.status) << r.status.message;
        return r.records;
    }

    SimFixture f;
};

TEST_F(CtlHistory, EachCommandMakesItsRecord) {
    struct Row {
        std::vector<std::string> args;
        const char *operation; // nullptr: no record
        bool ok;
        const char *dataKey; // a member its data must have, not null
    };
    const std::vector<Row> rows = {
        {{"status"}, "status-read", true, "status"},
        {{"status", "--stored"}, "status-read", true, "status"},
        {{"get-data"}, "params-read", true, "parameters"},
        {{"send-data", "--fuse-current", "60"}, "params-send", true, "before"},
        {{"relay", "on"}, "relay", true, "on"},
        {{"current"}, "current-read", true, "adc"},
        {{"current", "--every", "1", "--count", "2", "--log", f.dir().File("c.adc")},
         "current-series",
         true,
         "log"},
        {{"crc-check"}, "params-crc", true, "returned"},
        {{"calc", sav(), "-o", epr()}, "calibration-calc", true, "table"},
        {{"table", "write", epr()}, "table-write", true, "before"}, // read first, kept
        {{"table", "write", "--no-verify", epr()}, "table-write", true, "after"},
        {{"table", "verify", epr()}, "table-verify", true, "found"},
        {{"table", "read", f.dir().File("back.epr")}, "table-read", true, "table"},
        {{"inc", epr(), "-o", f.dir().File("t.inc")}, "include-generate", true, "table"},
        {{"table", "crc", epr()}, nullptr, true, nullptr},
        // The relay is on already: nothing switched, nothing recorded.
        {{"relay", "on"}, nullptr, true, nullptr},
    };
    std::size_t expected = 0;
    for (const Row &row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--unit", " SN-7\r", "--operator", "anna"});
        const ProgramResult r = Ctl(args);
        ASSERT_EQ(r.exitCode, 0) << row.args[0] << ": " << r.err;
        const std::vector<hi::Record> recs = Records();
        if (!row.operation) {
            EXPECT_EQ(recs.size(), expected) << row.args[0];
            continue;
        }
        ASSERT_EQ(recs.size(), ++expected) << row.args[0] << ": " << r.err;
        const hi::Record &rec = recs.back();
        EXPECT_EQ(rec.operation, row.operation);
        EXPECT_EQ(rec.ok, row.ok) << rec.message;
        EXPECT_EQ(rec.unit, "SN-7"); // the scanner's CR and the blank cleaned off
        EXPECT_EQ(rec.operatorName, "anna");
        EXPECT_FALSE(rec.data[row.dataKey].is_null()) << row.operation;
        const bool device = row.args[0] != "calc" && row.args[0] != "inc";
        EXPECT_EQ(rec.port.empty(), !device) << row.operation;
        EXPECT_EQ(rec.info, device ? kv::Trim(f.sim().InfoText()) : "") << row.operation;
    }
    const std::vector<hi::Record> recs = Records();
    // What the records hold agrees with the device and the files.
    EXPECT_EQ(hi::ParametersFromJson(recs[3].data["sent"])->FuseCurrent, 60);
    EXPECT_EQ(hi::StatusFromJson(recs[3].data["before"])->FuseCurrent, 99);
    EXPECT_EQ(hi::StatusFromJson(recs[3].data["after"])->FuseCurrent, 60);
    EXPECT_EQ(recs[6].data["count"].get<long long>(), 2);
    const auto written = hi::TableFromJson(recs[9].data["after"]);
    EXPECT_TRUE(recs[9].data["verified"].get<bool>());
    EXPECT_EQ(hi::TableFromJson(recs[10].data["before"]), std::nullopt); // not read first
    EXPECT_EQ(hi::TableFromJson(recs[11].data["found"]), written);
    EXPECT_EQ(hi::TableFromJson(recs[12].data["table"]), written);
    EXPECT_EQ(recs[8].data["file"].get<std::string>(), epr());
}

TEST_F(CtlHistory, FailedOperationIsRecordedWithItsMessage) {
    SimFixture silent;
    silent.sim().SetSilent(true);
    const ProgramResult r =
        kvtest::RunCtl({"get-data", "--ini", silent.iniFile(), "--db", db(), "--unit", "X"});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<hi::Record> recs = Records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].operation, "params-read");
    EXPECT_FALSE(recs[0].ok);
    EXPECT_EQ(recs[0].message, "GetStatus error!");
    EXPECT_TRUE(recs[0].data["parameters"].is_null());
}

TEST_F(CtlHistory, ListingFiltersAndFormats) {
    ASSERT_EQ(Ctl({"get-data", "--unit", "A"}).exitCode, 0);
    ASSERT_EQ(Ctl({"relay", "on", "--unit", "B"}).exitCode, 0);
    ASSERT_EQ(Ctl({"status"}).exitCode, 0);

    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::size_t lines;
        std::vector<std::string> has; // in this order
        const char *err;
    };
    const std::vector<Row> rows = {
        {{}, 0, 3, {"  A  params-read  ok", "  B  relay  ok", "  -  status-read  ok"}, ""},
        {{"--unit", "B"}, 0, 1, {"  B  relay  ok  port=" + f.port()}, ""},
        {{"--operation", "status-read"}, 0, 1, {"  -  status-read"}, ""},
        {{"--unit", "A", "--json"}, 0, 1, {"{\"id\":1,\"time\":\"", "\"unit\":\"A\""}, ""},
        {{"--unit", "A", "--csv"}, 0, 2, {"id,time,", "\r\n1,"}, ""},
        {{"--since", "2999-01-01"}, 0, 0, {}, ""},
        {{"--since", "yesterday"}, 2, 0, {}, "--since: expected a UTC date"},
        {{"--operation", "tea"}, 2, 0, {}, "--operation: no operation tea (one of params-send"},
        {{"--json", "--csv"}, 2, 0, {}, "--json and --csv exclude each other"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"history", "--db", db()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ProgramResult r = kvtest::RunCtl(args);
        EXPECT_EQ(r.exitCode, row.exitCode) << args[3] << r.err;
        EXPECT_TRUE(Has(r.err, row.err)) << r.err;
        EXPECT_EQ(std::size_t(std::count(r.out.begin(), r.out.end(), '\n')), row.lines) << r.out;
        std::size_t from = 0;
        for (const std::string &part : row.has) {
            const std::size_t found = r.out.find(part, from);
            EXPECT_NE(found, std::string::npos) << part << " in\n" << r.out;
            from = found == std::string::npos ? from : found;
        }
    }
    const ProgramResult none = kvtest::RunCtl({"history", "--db", f.dir().File("none.db")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(Has(none.err, "there is no history file")) << none.err;
}

TEST_F(CtlHistory, CalibrationRecordNeedsATableWrittenAfterTheCalculation) {
    const std::string html = f.dir().File("record.html");
    const auto record = [&] {
        return kvtest::RunCtl({"record", "--db", db(), "--unit", "SN-9", "-o", html, "--yes",
                               "--reference", "Bench meter BM-6 #5"});
    };
    ASSERT_EQ(Ctl({"table", "read", f.dir().File("found.epr"), "--unit", "SN-9"}).exitCode, 0);
    ASSERT_EQ(Ctl({"calc", sav(), "-o", epr(), "--unit", "SN-9"}).exitCode, 0);
    ProgramResult r = record();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "korvanectl: ")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(html));

    ASSERT_EQ(Ctl({"table", "write", epr(), "--unit", "SN-9"}).exitCode, 0);
    ASSERT_EQ(Ctl({"table", "read", f.dir().File("left.epr"), "--unit", "SN-9"}).exitCode, 0);
    r = record();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string doc = TempDir::Read(html);
    for (const std::string &part :
         {std::string("SN-9"), kv::Trim(f.sim().InfoText()), std::string("Bench meter BM-6 #5"),
          std::string("<svg"), std::string("read back and verified")})
        EXPECT_TRUE(Has(doc, part)) << part;
    for (const char *outside : {"src=\"http", "href=\"http", "url(http", "@import"})
        EXPECT_FALSE(Has(doc, outside)) << "no outside resources: " << outside;

    EXPECT_EQ(kvtest::RunCtl({"record", "--db", db()}).exitCode, 2); // --unit is needed
}

TEST_F(CtlHistory, TwoProgramsRecordingAtOnceLoseNothing) {
    // Two shells, each running korvanectl 200 times, both recording into one file.
    const std::string loop = "for i in $(seq 200); do \"$0\" calc \"$1\" -o \"$2.$U.epr\" --yes "
                             "--db \"$2.db\" --ini \"$2.ini\" --unit $U >/dev/null 2>&1 || "
                             "echo failed $U $i; done";
    const ProgramResult r =
        kvtest::RunProgram("/bin/sh",
                           {"-c",
                            "U=P1 sh -c '" + loop + "' \"$0\" \"$1\" \"$2\" & U=P2 sh -c '" + loop +
                                "' \"$0\" \"$1\" \"$2\" & wait",
                            kvtest::KorvanectlPath(), sav(), f.dir().File("two")},
                           120000);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::vector<hi::Record> recs = Records(f.dir().File("two.db"));
    std::map<std::string, int> per;
    int switches = 0;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        per[recs[i].unit] += recs[i].ok;
        switches += i > 0 && recs[i].unit != recs[i - 1].unit;
    }
    EXPECT_EQ(per, (std::map<std::string, int>{{"P1", 200}, {"P2", 200}}));
    EXPECT_GE(switches, 2); // they did run at once
}

TEST_F(CtlHistory, UnitOnAnotherAdapterWarns) {
    {
        hi::Store store(db());
        hi::Context c = hi::DefaultContext();
        c.unit = "SN-3";
        c.port = "/dev/ttyUSB0";
        c.adapterSerial = "FT4XYZ";
        hi::Record r = hi::MakeRecord(c, hi::RelayData{true}, {});
        ASSERT_TRUE(store.Append(r));
    }
    ProgramResult r = Ctl({"status", "--unit", "SN-3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "korvanectl: Warning: unit SN-3 was last on the adapter with serial "
                           "number FT4XYZ"))
        << r.err;
    EXPECT_TRUE(Has(r.err, "now on an adapter without a serial number")) << r.err;
    // Other units, and runs without a unit, are not compared.
    r = Ctl({"status", "--unit", "SN-4"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Records().size(), 3u);
}

TEST_F(CtlHistory, UnitThatIsNoSerialNumberIsAUsageError) {
    for (const std::string &unit :
         std::vector<std::string>{"", " \t", "A\tB", std::string(65, 'x')}) {
        const ProgramResult r = Ctl({"status", "--unit=" + unit});
        EXPECT_EQ(r.exitCode, 2) << unit;
        EXPECT_TRUE(Has(r.err, "--unit")) << r.err;
    }
    EXPECT_TRUE(f.sim().Frames().empty());
}

// The history on file systems of its own (a mount namespace of the process, see main).
class CtlHistoryMedia : public CtlHistory {
protected:
    void SetUp() override {
        if (!kvdrill::PrivateMounts())
            GTEST_SKIP() << "needs a private mount namespace (root with the right to mount)";
        mnt = f.dir().File("mnt");
        std::string error;
        ASSERT_TRUE(kvdrill::MountTmpfs(mnt, 256 * 1024, "", &error)) << error;
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            kvdrill::Unmount(mnt);
    }
    // The device work stands and is printed; the history failure is reported; --unit
    // makes it fail the run, and without it the run keeps the device's result.
    void ExpectReported(const std::string &file, const std::string &reason) {
        for (const bool unit : {false, true}) {
            f.sim().ClearFrames();
            std::vector<std::string> args = {"send-data", "--fuse-current", unit ? "61" : "62"};
            if (unit)
                args.insert(args.end(), {"--unit", "SN-1"});
            const ProgramResult r = Ctl(args, file);
            EXPECT_EQ(r.exitCode, unit ? 1 : 0) << r.err;
            EXPECT_TRUE(Has(r.out, "CRC OK")) << r.out;
            EXPECT_TRUE(Has(r.err, "korvanectl: Cannot write the history " + file + ": " + reason))
                << r.err;
            EXPECT_EQ(f.sim().HeldParams().fuseCurrent, unit ? 61 : 62);
        }
    }
    std::string mnt;
    bool mounted = false;
};

TEST_F(CtlHistoryMedia, ReadOnlyFileSystem) {
    const std::string file = mnt + "/korvane.db";
    ASSERT_EQ(Ctl({"status"}, file).exitCode, 0);
    std::string error;
    ASSERT_TRUE(kvdrill::RemountReadOnly(mnt, &error)) << error;
    ExpectReported(file, "the file or its folder is read-only");
    EXPECT_EQ(Records(file).size(), 1u);
}

TEST_F(CtlHistoryMedia, FullFileSystem) {
    const std::string file = mnt + "/korvane.db";
    ASSERT_GT(kvdrill::FillUp(mnt), 0);
    ExpectReported(file, "the disk is full");
}

} // namespace

int main(int argc, char **argv) {
    // Before any thread starts: what the tests mount stays private to this process.
    kvdrill::EnterPrivateMounts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
