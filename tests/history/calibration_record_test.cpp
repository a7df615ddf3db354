// The calibration record: which records it takes as-found, as-left and the previous state
// from, when it refuses, and what the document holds.
#include <gtest/gtest.h>

#include "history/calibration_record.h"
#include "history/record_data.h"
#include "history_samples.h"

using namespace kv::history;
namespace calib = kv::calib;
using namespace std::chrono;
using Table = kv::corrtable::CorrTableData;
using Params = kv::device::FuseParameters;

namespace {

Stamp At(minutes m) {
    const sys_time<milliseconds> t = sys_days{2025y / 5 / 20} + 8h + m;
    return {UtcText(t), m.count()};
}

Context Ctx() {
    Context c = kvtest::BenchContext();
    c.info = "KORVANE FUSE 2.1";
    return c;
}

Table Filled(int v) {
    Table t{};
    for (std::size_t n = 0; n < corr::kCorrections; ++n)
        t[n] = static_cast<std::int8_t>(v);
    t[corr::kCheckIndex] = static_cast<std::int8_t>(corr::TableCrc(t));
    return t;
}

Params P(int fuseCurrent) {
    return Params{static_cast<std::uint8_t>(fuseCurrent), 0, 12, 85, 20, true, false};
}

dev::DeviceStatus S(int fuseCurrent) {
    dev::DeviceStatus s;
    s.FuseCurrent = static_cast<std::uint8_t>(fuseCurrent);
    s.CurrentMultiply = 85;
    s.OverloadTime = 12;
    s.MeasureCount = 20;
    s.UseAverage = 1;
    return s;
}

const calib::PointList kPoints{{0, 3}, {800, 90}, {2000, 172}};

Record Calc(minutes m, calib::PointList pts = kPoints) {
    const calib::CorrectionTable t = calib::CalcCorrection(pts, 85, 0);
    return MakeRecord(Ctx(), CalibrationCalcData{pts, 85, 0, t, "corrtbl.epr"}, {}, At(m));
}
Record Write(minutes m, std::optional<Table> before, Table after, bool ok = true,
             std::optional<bool> verified = std::nullopt) {
    return MakeRecord(Ctx(), TableWriteData{"corrtbl.epr", before, after, "", verified},
                      ok ? Outcome::Ok() : Outcome::Failed("Error on write!"), At(m));
}
Record Restore(minutes m, Table after) {
    return MakeRecord(Ctx(), TableRestoreData{"backup.epr", std::nullopt, after, true}, {}, At(m));
}
Record ReadTable(minutes m, Table t) {
    return MakeRecord(Ctx(), TableReadData{t, ""}, {}, At(m));
}
Record Verify(minutes m, Table expected, Table found) {
    return MakeRecord(Ctx(), TableVerifyData{"", expected, found}, {}, At(m));
}
Record ReadParams(minutes m, int fc) {
    return MakeRecord(Ctx(), ParamsReadData{P(fc)}, {}, At(m));
}
Record Send(minutes m, std::optional<int> before, int sent, std::optional<int> after) {
    ParamsSendData d;
    if (before)
        d.before = S(*before);
    d.sent = P(sent);
    if (after)
        d.after = S(*after);
    d.crcReturned = dev::ParametersCrc(d.sent);
    return MakeRecord(Ctx(), d, {}, At(m));
}

const Table kCalc = TableOf(calib::CalcCorrection(kPoints, 85, 0));
constexpr minutes kDay = 24h;

struct Expect {
    int calibration = -1; // index of the records; -1: none
    int write = -1;
    int tableFound = -1; // the record as-found is taken from; -1: not recorded
    int paramsFound = -1;
    int paramsLeft = -1;
    int previousTable = -1;
    int previousCalibration = -1;
    int laterChange = -1;
};

struct Row {
    const char *name;
    std::vector<Record> records;
    const char *refusal; // a part of the refusal; nullptr: a record is made
    Expect e;
};

const Record *At(const std::vector<Record> &r, int i) {
    return i < 0 ? nullptr : &r[static_cast<std::size_t>(i)];
}

} // namespace

TEST(CalibrationRecord, FindsTheVisitAndItsStates) {
    const Table f1 = Filled(1), f2 = Filled(2), x = Filled(7), w1 = Filled(9);
    const std::vector<Row> rows = {
        {"no calibration", {ReadTable(0min, f1)}, "has no calibration in the history", {}},
        {"a calculation without a table is no calibration",
         {Calc(0min, {{0, 3}}), Write(2min, f1, kCalc)},
         "has no calibration",
         {}},
        {"calculated, never written", {Calc(0min)}, "has no correction table written since", {}},
        {"written before the calculation only",
         {Write(0min, f1, kCalc), Calc(5min)},
         "has no correction table written since",
         {}},
        {"the last write after it failed",
         {Calc(0min), Write(5min, f1, kCalc), Write(6min, kCalc, kCalc, false)},
         "failed (Error on write!)",
         {}},
        {"restored afterwards",
         {Calc(0min), Write(5min, f1, kCalc), Restore(6min, f1)},
         "was replaced by a restore",
         {}},
        {"as found from the write's backup rather than an earlier read",
         {ReadTable(0min, f1), ReadParams(1min, 50), Calc(10min), Write(12min, f2, kCalc),
          Send(15min, 51, 60, 60)},
         nullptr,
         {.calibration = 2, .write = 3, .tableFound = 3, .paramsFound = 4, .paramsLeft = 4}},
        {"as found from the latest read when the write kept no backup",
         {ReadTable(0min, f1), ReadTable(2min, f2), ReadParams(3min, 50), Calc(10min),
          Write(12min, std::nullopt, kCalc)},
         nullptr,
         {.calibration = 3, .write = 4, .tableFound = 1, .paramsFound = 2, .paramsLeft = 2}},
        {"a neutral table written before measuring is the first change",
         {Write(0min, f1, Filled(0)), Calc(30min), Write(32min, Filled(0), kCalc)},
         nullptr,
         {.calibration = 1, .write = 2, .tableFound = 0}},
        {"recalculated in the same visit",
         {Calc(0min), Write(2min, f1, w1), Calc(40min), Write(42min, w1, kCalc)},
         nullptr,
         {.calibration = 2, .write = 3, .tableFound = 1}},
        {"a previous visit gives the previous as-left and calibration",
         {Calc(-3 * kDay), Write(-3 * kDay + 2min, f1, x), Send(-3 * kDay + 3min, 30, 40, 40),
          Calc(0min), Write(2min, f2, kCalc)},
         nullptr,
         {.calibration = 3,
          .write = 4,
          .tableFound = 4,
          .paramsLeft = -1,
          .previousTable = 1,
          .previousCalibration = 0}},
        {"a read 13 h before is another visit",
         {ReadTable(-13h, f1), Calc(0min), Write(2min, std::nullopt, kCalc)},
         nullptr,
         {.calibration = 1, .write = 2, .previousTable = 0}},
        {"gaps of 11 h chain into one visit",
         {ReadTable(-22h, f1), ReadParams(-11h, 50), Calc(0min), Write(2min, std::nullopt, kCalc)},
         nullptr,
         {.calibration = 2, .write = 3, .tableFound = 0, .paramsFound = 1, .paramsLeft = 1}},
        {"a change days later is noted, not taken",
         {Calc(0min), Write(2min, f1, kCalc), Send(2 * kDay, 50, 60, 60)},
         nullptr,
         {.calibration = 0, .write = 1, .tableFound = 1, .laterChange = 2}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const CalibrationAnalysis a = AnalyzeCalibration(row.records, "SN-1");
        if (row.refusal) {
            EXPECT_FALSE(a.session);
            EXPECT_NE(a.refusal.find(row.refusal), std::string::npos) << a.refusal;
            continue;
        }
        ASSERT_TRUE(a.session) << a.refusal;
        const CalibrationSession &s = *a.session;
        const auto &r = row.records;
        EXPECT_EQ(s.calibration, At(r, row.e.calibration));
        EXPECT_EQ(s.tableWrite, At(r, row.e.write));
        EXPECT_EQ(s.tableFound.from, At(r, row.e.tableFound));
        EXPECT_EQ(s.parametersFound.from, At(r, row.e.paramsFound));
        EXPECT_EQ(s.parametersLeft.from, At(r, row.e.paramsLeft));
        EXPECT_EQ(s.previousTable.from, At(r, row.e.previousTable));
        EXPECT_EQ(s.previousCalibration, At(r, row.e.previousCalibration));
        EXPECT_EQ(s.laterChange, At(r, row.e.laterChange));
        EXPECT_EQ(s.written, kCalc);
    }
}

TEST(CalibrationRecord, StatesCarryTheirValues) {
    const Table f1 = Filled(1), f2 = Filled(2), x = Filled(7);
    std::vector<Record> r = {Calc(-3 * kDay),
                             Write(-3 * kDay + 2min, f1, x),
                             Send(-3 * kDay + 3min, 30, 40, std::nullopt),
                             Calc(0min),
                             Write(2min, f2, kCalc, true, false),
                             Verify(5min, kCalc, kCalc),
                             Send(6min, 41, 60, std::nullopt)};
    const CalibrationSession s = *AnalyzeCalibration(r, "SN-1").session;
    EXPECT_EQ(s.tableFound.value, f2);
    EXPECT_EQ(s.previousTable.value, x);
    EXPECT_EQ(s.previousParameters.value, P(40)); // sent, not read back: the values sent
    EXPECT_EQ(s.parametersFound.value, P(41));
    EXPECT_EQ(s.parametersLeft.value, P(60));
    EXPECT_TRUE(s.parametersSent);
    EXPECT_EQ(s.verified, true); // the later verify overrides the write's own read-back
    EXPECT_EQ(s.previousPoints, kPoints);

    r[5] = Verify(5min, kCalc, f2);
    EXPECT_EQ(AnalyzeCalibration(r, "SN-1").session->verified, false);
    EXPECT_EQ(AnalyzeCalibration(r, "").refusal,
              "A calibration record needs the unit's serial number");
}

TEST(CalibrationRecord, DocumentHoldsEverythingAndFetchesNothing) {
    Table edited = kCalc;
    edited[3] = 0;
    Context odd = Ctx();
    odd.unit = "SN<1>&\"2";
    std::vector<Record> r = {Calc(-3 * kDay),
                             Write(-3 * kDay + 2min, Filled(1), Filled(7)),
                             Send(-3 * kDay + 3min, 30, 40, 40),
                             Calc(0min),
                             Write(2min, Filled(2), edited, true, true),
                             Send(6min, 41, 60, 60)};
    for (Record &rec : r)
        rec.unit = odd.unit;
    r[4].adapter = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";
    r[4].adapterSerial = "A50285BI";

    const CalibrationDocument d =
        CalibrationRecordHtml(r, odd.unit, "DMM-4 <s/n 123>", "2025-05-21T09:00:00.000Z");
    ASSERT_TRUE(d.ok) << d.message;
    const std::string &h = d.html;
    const auto has = [&](const std::string &s) { return h.find(s) != std::string::npos; };
    for (const char *s :
         {"Unit SN&lt;1&gt;&amp;&quot;2", "DMM-4 &lt;s/n 123&gt;", "KORVANE FUSE 2.1",
          "2025-05-20 08:00:00 UTC", "2025-05-21 09:00:00 UTC", "bench-2", "anna", "korvane 1.0",
          "A50285BI", "read back and verified.", "As left: the table written, check byte",
          "1 entry was changed by hand", "Multiplier M = 85", "<svg",
          "entries changed</span> between the previous as left",
          "Parameters: <span class=\"warn\">changed</span>: FuseCurrent 40 &rarr; 41",
          "<td>0.800</td><td>90</td><td>68</td><td>22</td>", // ideal 85 x 0.8 = 68
          "<td>0.800</td><td>90</td><td>90</td><td>0</td>",  // no drift at 0.80 A
          "Calibrated by"})
        EXPECT_TRUE(has(s)) << s;
    // One file: nothing is loaded from anywhere (the SVG namespace is a name, not a load).
    for (const char *s : {"src=", "href=", "url(", "@import", "<script", "<link", "<img"})
        EXPECT_FALSE(has(s)) << s;
    std::size_t http = 0;
    for (std::size_t p = h.find("http"); p != std::string::npos; p = h.find("http", p + 1))
        ++http;
    EXPECT_EQ(http, 1u);

    // A table that was not read back, or read back different, is not stated as left.
    for (const std::optional<bool> verified : {std::optional<bool>(), std::optional(false)}) {
        std::vector<Record> unchecked(r.begin(), r.begin() + 4);
        unchecked.push_back(Write(2min, Filled(2), edited, true, verified));
        unchecked.back().unit = odd.unit;
        const std::string html = CalibrationRecordHtml(unchecked, odd.unit, "", "").html;
        EXPECT_EQ(html.find("As left: the table written"), std::string::npos);
        EXPECT_NE(html.find(verified ? "As left: not known: the table read back differs"
                                     : "As left: not confirmed: the table written"),
                  std::string::npos);
    }

    r.resize(4); // no table written since the last calculation
    const CalibrationDocument refused = CalibrationRecordHtml(r, odd.unit, "", "");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.html.empty());
    EXPECT_EQ(refused.message, "Unit SN<1>&\"2 has no correction table written since its "
                               "calibration (2025-05-20 08:00:00 UTC)");
}

// The shared history's records of one visit come from several stations: the record names
// the station of each step; one station's records name none.
TEST(CalibrationRecord, StepsNameTheirStationWhenThereAreSeveral) {
    std::vector<Record> r = {ReadTable(0min, Filled(1)), Calc(1min),
                             Write(2min, std::nullopt, kCalc), Send(3min, 30, 40, 40)};
    const auto html = [&] {
        const CalibrationDocument d = CalibrationRecordHtml(r, "SN-1", "", "2025-05-21T09:00:00Z");
        EXPECT_TRUE(d.ok) << d.message;
        return d.html;
    };
    std::string h = html();
    EXPECT_EQ(h.find(", station "), std::string::npos);
    EXPECT_EQ(h.find("calculated at"), std::string::npos);
    r[0].station = "bench-1";
    r[1].station = "lab-3";
    h = html();
    EXPECT_NE(h.find("(Correction table read, 2025-05-20 08:00:00 UTC, station bench-1)"),
              std::string::npos)
        << h;
    EXPECT_NE(h.find("bench-2 (calculated at lab-3)"), std::string::npos);
}

TEST(CalibrationRecord, GraphLandsOnTheWindowsPixels) {
    // The calibration window's worked example: 261 x 291 pixels.
    const std::string svg = CalibrationGraphSvg({{2000, 172}, {0, 3}, {800, 90}}, 261, 291);
    EXPECT_NE(svg.find("<polyline points=\"20,271 20,267 108,140 241,20\""), std::string::npos)
        << svg;
    EXPECT_NE(svg.find("x1=\"20\" y1=\"267\" x2=\"241\" y2=\"20\""), std::string::npos);
    EXPECT_NE(svg.find("M101 140H115M108 133V147"), std::string::npos); // the cross at 0.8 A
    EXPECT_NE(svg.find("rgb(255,0,255)"), std::string::npos);           // fuchsia, column 3
    EXPECT_NE(svg.find(">2.00 A<"), std::string::npos);
}
