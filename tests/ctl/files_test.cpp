// korvanectl's file commands (calc, inc, table crc) on real files: the bytes they write are
// the ones the windows' library code makes from the same input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/format.h"
#include "app/text_files.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "calib/sav_file.h"
#include "corrtable/include_file.h"
#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "program_run.h"
#include "temp_dir.h"

using kvtest::Has;
using kvtest::RunCtl;
using kvtest::TempDir;

namespace {

// A calibration file of `rows` rows: (current, first ADC, second ADC) per row.
std::string Sav(int rows, const std::vector<std::array<std::string, 3>> &cells) {
    std::string text;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 3; ++c)
            text += (r < static_cast<int>(cells.size())
                         ? cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]
                         : std::string()) +
                    "\r\n";
    return text;
}

// What the calibration window computes from the file loaded into a grid of gridLines rows.
std::string WindowTable(const std::string &sav, int gridLines, int m, int z) {
    kv::calib::CalGrid grid(gridLines);
    kv::calib::ApplySavLines(grid, kv::calib::SplitLines(sav));
    return kv::calib::CalcCorrection(kv::calib::CollectPoints(grid, kv::calib::kFirstAdcColumn), m,
                                     z)
        .text;
}

TEST(CtlFiles, CalcWritesTheTableTheCalibrationWindowComputes) {
    TempDir d;
    const std::string sav = d.File("cal.sav");
    // Unordered rows, a row with only a second-series reading, blanks as the cell editor
    // leaves them.
    const std::string content = Sav(15, {{"1.00", "90", "91"},
                                         {" .  ", "", ""},
                                         {"0.00", "3", ""},
                                         {"0.50", "", "44"},
                                         {"2.5 ", "  230", ""}});
    TempDir::Write(sav, content);
    const std::string ini = d.File("k.ini");
    TempDir::Write(ini, "[init]\r\nGridLines=15\r\n");

    struct Case {
        std::vector<std::string> options;
        int m, z;
    } cases[] = {{{}, 85, 0},
                 {{"--multiply", "92", "--offset", "7"}, 92, 7},
                 {{"--multiply", "-5", "--offset", "-3"}, 1, 0}};
    for (const auto &c : cases) {
        std::vector<std::string> args = {"calc", sav, "--ini", ini, "--yes"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto r = RunCtl(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string expected = WindowTable(content, 15, c.m, c.z);
        EXPECT_EQ(TempDir::Read(d.File("corrtbl.epr")), expected) << c.m;
        EXPECT_TRUE(Has(r.out, d.File("corrtbl.epr") + " written")) << r.out;
    }

    // The worked example: two points, M = 85, Z = 0 and 5.
    TempDir::Write(sav, Sav(15, {{"0.00", "3", ""}, {"1.00", "90", ""}}));
    auto r = RunCtl({"calc", sav, "--ini", ini, "-o", d.File("a.epr")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string a = TempDir::Read(d.File("a.epr"));
    EXPECT_EQ(a.substr(0, 12), "-3 -3 -3 -4 ");
    EXPECT_EQ(a.substr(a.size() - 6), "-47 46");
    EXPECT_TRUE(Has(r.out, "(check byte 46 [0x2E])")) << r.out;
    r = RunCtl({"calc", sav, "--ini", ini, "-o", d.File("b.epr"), "--offset", "5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    a = TempDir::Read(d.File("b.epr"));
    EXPECT_EQ(a.substr(0, 2), "2 ");
    EXPECT_EQ(a.substr(a.size() - 3), " 29");
}

TEST(CtlFiles, CalcUsesGridLinesOrRowsAsTheWindowWould) {
    TempDir d;
    const std::string sav = d.File("cal.sav");
    // Row 3 holds the 1 A point; with 2 rows the grid never sees it.
    TempDir::Write(sav, Sav(3, {{"0.00", "0", ""}, {"0.50", "40", ""}, {"1.00", "85", ""}}));
    const std::string ini = d.File("k.ini");
    TempDir::Write(ini, "[init]\r\nGridLines=2\r\n");
    const std::string content = TempDir::Read(sav);

    auto r = RunCtl({"calc", sav, "--ini", ini, "-o", d.File("two.epr")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(TempDir::Read(d.File("two.epr")), WindowTable(content, 2, 85, 0));
    r = RunCtl({"calc", sav, "--ini", ini, "--rows", "3", "-o", d.File("three.epr")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(TempDir::Read(d.File("three.epr")), WindowTable(content, 3, 85, 0));
    EXPECT_NE(TempDir::Read(d.File("two.epr")), TempDir::Read(d.File("three.epr")));
}

TEST(CtlFiles, CalcFailuresGiveTheWindowsMessagesAndWriteNothing) {
    TempDir d;
    const std::string sav = d.File("cal.sav");
    const std::string out = d.File("out.epr");
    const std::string ini = d.File("none.ini"); // missing: GridLines 15
    struct Case {
        std::string content;
        std::vector<std::string> options;
        const char *message;
    } cases[] = {
        {Sav(15, {{"0.00", "3", ""}}), {}, "Nothing to do..."},
        {Sav(15, {{"0.00", "", "3"}, {"1.00", "", "90"}}), {}, "Nothing to do..."},
        {Sav(15, {{"0.50", "40", ""}, {"1.00", "85", ""}}),
         {},
         "Error: Missing ADC value for 0 A!"},
        {Sav(15, {{"0.00", "0", ""}, {"1.x", "85", ""}}),
         {},
         "korvanectl: '1.x' is not a valid floating point value."},
        {Sav(15, {{"0.00", "0", ""}, {"1.00", "8a", ""}}),
         {},
         "korvanectl: '8a' is not a valid integer value."},
        {Sav(15, {{"0.00", "0", ""}, {"1.00", "85", ""}}),
         {"--multiply", "8.5"},
         "korvanectl: '8.5' is not a valid integer value."},
    };
    for (const auto &c : cases) {
        TempDir::Write(sav, c.content);
        std::vector<std::string> args = {"calc", sav, "--ini", ini, "-o", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto r = RunCtl(args);
        EXPECT_EQ(r.exitCode, 1) << c.message << r.err;
        EXPECT_TRUE(Has(r.err, c.message)) << r.err;
        EXPECT_FALSE(kv::FileExists(out)) << c.message;
    }

    auto r = RunCtl({"calc", d.File("missing.sav"), "--ini", ini});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: Cannot read file " + d.File("missing.sav"))) << r.err;

    // Limited entries are reported; the table is written all the same.
    TempDir::Write(sav, Sav(15, {{"0.00", "0", ""}, {"1.00", "200", ""}}));
    r = RunCtl({"calc", sav, "--ini", ini, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Error: Correction exceeded max value 127! (108x)")) << r.err;

    // An existing table file is replaced only when confirmed.
    TempDir::Write(out, "keep");
    r = RunCtl({"calc", sav, "--ini", ini, "-o", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "confirmation refused: Overwrite file " + out + "?")) << r.err;
    EXPECT_EQ(TempDir::Read(out), "keep");
}

TEST(CtlFiles, IncWritesTheGeneratorsBytesAndAsksBeforeReplacing) {
    TempDir d;
    kv::corrtable::CorrTableData t{};
    for (int n = 0; n < kv::corrtable::kEntries; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 37) % 255 - 127);
    const std::string epr = d.File("corrtbl.epr");
    ASSERT_TRUE(kv::corrtable::WriteTableFile(epr, t));
    kv::corrtable::CorrTableData loaded{};
    ASSERT_FALSE(kv::corrtable::ReadTableFile(epr, loaded));
    const std::string expected = kv::corrtable::IncludeFileText(loaded);

    auto r = RunCtl({"inc", epr});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string inc = d.File("corrtable.inc");
    EXPECT_EQ(TempDir::Read(inc), expected);
    EXPECT_TRUE(Has(r.err, "File " + inc + " created!")) << r.err;

    TempDir::Write(inc, "old");
    r = RunCtl({"inc", epr});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Question: Overwrite file " + inc + "? -> No")) << r.err;
    EXPECT_EQ(TempDir::Read(inc), "old");
    r = RunCtl({"inc", epr, "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(TempDir::Read(inc), expected);

    // -o names the output; a file of 225 values is reported and still generated from its
    // first 224, as the window does, with exit status 1.
    TempDir::Write(epr, TempDir::Read(epr) + "5 ");
    r = RunCtl({"inc", epr, "-o", d.File("x.inc")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: Data too long!")) << r.err;
    EXPECT_EQ(TempDir::Read(d.File("x.inc")), expected);

    r = RunCtl({"inc", d.File("nothere.epr"), "-o", d.File("y.inc")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: File " + d.File("nothere.epr") + " not found!")) << r.err;
    EXPECT_FALSE(kv::FileExists(d.File("y.inc")));
}

TEST(CtlFiles, TableCrcComputesTheCheckByteAndComparesTheStoredOne) {
    TempDir d;
    const std::string f = d.File("t.epr");
    struct Case {
        std::string content;
        const char *out;
        int exit; // 1 when the check byte differs
    } cases[] = {
        {"-1 ", "99 [0x63]\nstored 0 [0x00] differs\n", 1},
        {"1 ", "97 [0x61]\nstored 0 [0x00] differs\n", 1},
        {std::string(), "0 [0x00]\nstored 0 [0x00] matches\n", 0},
    };
    for (const auto &c : cases) {
        TempDir::Write(f, c.content);
        auto r = RunCtl({"table", "crc", f});
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    // Only entry 222 = -1: check byte 210, which the file stores as -46.
    std::string text;
    for (int n = 0; n < 222; ++n)
        text += "0 ";
    TempDir::Write(f, text + "-1 -46 ");
    auto r = RunCtl({"table", "crc", f});
    EXPECT_EQ(r.out, "210 [0xD2]\nstored 210 [0xD2] matches\n");

    TempDir::Write(f, "1 2 x 4");
    r = RunCtl({"table", "crc", f});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: 'x' is not a valid integer value")) << r.err;
}

} // namespace
