// korvanectl on several simulated fuses at once: each device gets what was meant for it,
// results never mix, and one failing port fails alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/text_files.h"
#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "link/commands.h"
#include "program_run.h"
#include "sim_fixture.h"

using kvtest::Has;
using kvtest::Lines;
using kvtest::SimFixture;
using kvtest::TempDir;
namespace ct = kv::corrtable;

namespace {

// A table of its own for each unit: entries counted from a different start.
ct::CorrTableData TableOf(int unit) {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 3 + unit * 17) % 255 - 127);
    t[ct::kCheckIndex] = static_cast<std::int8_t>(ct::TableCrc(t));
    return t;
}

// Eight fuses, one a unit; the ports file names each port's unit.
class Rack {
public:
    static constexpr int kUnits = 8;
    explicit Rack(int failing) {
        for (int i = 0; i < kUnits; ++i) {
            kv::sim::Options o;
            if (i == failing)
                // Refuses block 12 once: the write fails there, the old table goes back.
                o.faults.failBlock[12] = kv::sim::Faults::Times::Once;
            sims.push_back(std::make_unique<SimFixture>(o));
        }
        std::string list = "# rack A\n\n";
        for (int i = 0; i < kUnits; ++i)
            list += sims[static_cast<std::size_t>(i)]->port() + "  " + Unit(i) + "  # slot\n";
        EXPECT_TRUE(kv::WriteTextFile(list, dir.File("ports.txt")));
    }
    static std::string Unit(int i) { return "u" + std::to_string(i); }
    SimFixture &sim(int i) { return *sims[static_cast<std::size_t>(i)]; }

    TempDir dir;
    std::vector<std::unique_ptr<SimFixture>> sims;
};

TEST(CtlMultiPort, EightFusesEachGetTheirOwnTableAndAFailingOneFailsAlone) {
    constexpr int kFailing = 5;
    Rack rack(kFailing);
    for (int i = 0; i < Rack::kUnits; ++i)
        ASSERT_TRUE(ct::WriteTableFile(rack.dir.File(Rack::Unit(i) + ".epr"), TableOf(i)));

    auto r = kvtest::RunCtl({"table", "write", rack.dir.File("{unit}.epr"), "--json", "--ports",
                             rack.dir.File("ports.txt"), "--ini", rack.sim(0).iniFile()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto objects = Lines(r.out);
    ASSERT_EQ(objects.size(), std::size_t{Rack::kUnits}) << r.out;
    for (int i = 0; i < Rack::kUnits; ++i) {
        SCOPED_TRACE(Rack::Unit(i));
        const std::string &o = objects[static_cast<std::size_t>(i)];
        const bool ok = i != kFailing;
        EXPECT_TRUE(Has(o, "{\"port\":\"" + rack.sim(i).port() + "\",\"unit\":\"" + Rack::Unit(i) +
                               "\",\"ok\":" + (ok ? "true" : "false")))
            << o;
        EXPECT_EQ(Has(o, "\"error\":\"table write failed: block 13 of 28"), !ok) << o;
        EXPECT_TRUE(Has(o, ",\"ms\":")) << o;
        // The device holds its own table, or its old one (zeros) after the failed write;
        // never another's.
        const auto device = rack.sim(i).sim().GetTable();
        const ct::CorrTableData own = ok ? TableOf(i) : ct::CorrTableData{};
        for (int n = 0; n < ct::kEntries; ++n)
            ASSERT_EQ(device[static_cast<std::size_t>(n)], ct::DeviceByte(own, n)) << n;
        // 13 blocks up to the refused one, then the old table over those 13.
        EXPECT_EQ(
            rack.sim(i).sim().FrameCount(static_cast<std::uint8_t>(kv::link::Cmd::WriteTableBlock)),
            ok ? 28u : 13u + 13u);
        // Each port's object carries its own counts.
        EXPECT_TRUE(Has(o, ok ? "\"blocks_written\":28" : "\"blocks_written\":12")) << o;
        EXPECT_TRUE(Has(o, "\"device_holds\":\"" + std::string(ok ? "new" : "old") + "\"")) << o;
    }
    // Its messages carry the unit they belong to.
    EXPECT_TRUE(Has(r.err, "[u5] korvanectl: table write failed: block 13 of 28")) << r.err;
    EXPECT_FALSE(Has(r.err, "[u4] korvanectl: Error")) << r.err;
}

TEST(CtlMultiPort, EachPortsResultsUnderItsOwnName) {
    Rack rack(-1);
    const std::string ports = rack.dir.File("ports.txt");
    const std::string ini = rack.sim(0).iniFile();
    // Each read back into a file of its own, reported per unit, in the order given.
    auto text = kvtest::RunCtl(
        {"table", "read", rack.dir.File("back-{unit}.epr"), "--ports", ports, "--ini", ini});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const auto lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 2u * Rack::kUnits) << text.out;
    for (int i = 0; i < Rack::kUnits; ++i) {
        SCOPED_TRACE(Rack::Unit(i));
        const std::string u = "[" + Rack::Unit(i) + "] ";
        const std::string file = rack.dir.File("back-" + Rack::Unit(i) + ".epr");
        EXPECT_TRUE(Has(text.out, u + "224 entries read into " + file + "\n")) << text.out;
        EXPECT_TRUE(lines[static_cast<std::size_t>(Rack::kUnits + i)].starts_with(u + "ok in "))
            << text.out;
        EXPECT_TRUE(kv::FileExists(file));
    }

    // Without units the port names the lines; a result of several objects stays whole.
    const auto a = rack.sim(1).port(), b = rack.sim(2).port();
    auto json = kvtest::RunCtl({"status", "--json", "--port", a, "--port", b, "--ini", ini});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 2u) << json.out;
    EXPECT_TRUE(objects[0].starts_with("{\"port\":\"" + a + "\",\"ok\":true,\"ms\":")) << json.out;
    EXPECT_TRUE(Has(objects[1], ",\"command\":\"status\",\"stored\":false,")) << json.out;
}

TEST(CtlMultiPort, PortListsThatCannotWorkAreRefusedBeforeAnyPortOpens) {
    TempDir dir;
    const struct {
        std::string list; // the ports file
        std::vector<std::string> args;
        std::string reason;
    } rows[] = {
        {"/dev/ttyUSB0 a\n/dev/ttyUSB1 a\n", {"status"}, "unit a is given twice"},
        {"/dev/ttyUSB0\n/dev/../dev/ttyUSB0\n",
         {"status"},
         "port /dev/../dev/ttyUSB0 is given twice"},
        {"/dev/ttyUSB0 a b\n", {"status"}, "line 1: expected PORT or PORT UNIT"},
        {"# nothing\n\n", {"status"}, "names no port"},
        {"/dev/ttyUSB0\n", {"table", "read", "x.epr"}, "name it with {unit}"},
        {"/dev/ttyUSB0\n", {"current", "--every", "1", "--count", "2"}, "give --log with {unit}"},
        // Two units whose file names are one file: one table saved over the other.
        {"/dev/ttyUSB0 rack/1\n/dev/ttyUSB1 rack_1\n",
         {"table", "read", "t/{unit}.epr"},
         "rack/1 and rack_1 would share the file t/rack_1.epr"},
        {"/dev/ttyUSB0 \xC3\xBC\n/dev/ttyUSB1 u\n",
         {"current", "--every", "1", "--count", "2", "--log", "{unit}.adc"},
         "\xC3\xBC and u would share the file u.adc"},
        {"/dev/ttyUSB0 ..\n/dev/ttyUSB1 __\n", {"table", "read", "{unit}/t.epr"}, "__/t.epr"},
        // A unit the history refuses, refused before any port opens, shown escaped.
        {"/dev/ttyUSB0 a\n/dev/ttyUSB1 b\x1B[2J\n",
         {"status"},
         "line 2: unit b\\x1B[2J: The unit's serial number may not contain control characters"},
        {"/dev/ttyUSB0 " + std::string(65, 'u') + "\n", {"status"}, "is longer than 64 characters"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason);
        ASSERT_TRUE(kv::WriteTextFile(row.list, dir.File("ports.txt")));
        auto args = row.args;
        args.insert(args.end(), {"--ports", dir.File("ports.txt"), "--ini", dir.File("k.ini")});
        auto r = kvtest::RunCtl(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(Has(r.err, row.reason)) << r.err;
        EXPECT_FALSE(Has(r.err, "Cannot open")) << r.err;
        EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
    }
}

// The refusals above with fuses on the ports: neither is written, no file is made, and a
// bad unit on the second line keeps the first port from being programmed.
TEST(CtlMultiPort, SharedFileNamesAndBadUnitsProgramNoFuse) {
    SimFixture a, b;
    TempDir dir;
    ASSERT_TRUE(ct::WriteTableFile(dir.File("rack_1.epr"), TableOf(1)));
    const auto tableA = a.sim().GetTable();
    const auto tableB = b.sim().GetTable();
    const struct {
        std::string secondUnit;
        std::string reason;
    } rows[] = {
        {"rack_1", "would share the file"},
        {"rack\x1B_1", "may not contain control characters"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason);
        ASSERT_TRUE(
            kv::WriteTextFile(a.port() + " rack/1\n" + b.port() + " " + row.secondUnit + "\n",
                              dir.File("ports.txt")));
        const auto r = kvtest::RunCtl({"table", "write", dir.File("{unit}.epr"), "--yes", "--ports",
                                       dir.File("ports.txt"), "--ini", a.iniFile()});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(Has(r.err, row.reason)) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(a.sim().Frames().empty());
        EXPECT_TRUE(b.sim().Frames().empty());
        EXPECT_EQ(a.sim().GetTable(), tableA);
        EXPECT_EQ(b.sim().GetTable(), tableB);
    }
}

// A port's name is outside text too: its label reaches the terminal escaped.
TEST(CtlMultiPort, PortLabelsAreShownEscaped) {
    TempDir dir;
    ASSERT_TRUE(kv::WriteTextFile(dir.File("tty\x1B[31mX") + "\n" + dir.File("ttyNone") + "\n",
                                  dir.File("ports.txt")));
    const auto r =
        kvtest::RunCtl({"status", "--ports", dir.File("ports.txt"), "--ini", dir.File("k.ini")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "tty\\x1B[31mX] FAILED")) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
}

} // namespace
