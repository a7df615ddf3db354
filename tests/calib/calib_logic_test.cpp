// The calibration logic: grid points, the .sav text, graph positions and the correction
// table calculation, pinned to worked examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/errors.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "calib/graph_geometry.h"
#include "calib/sav_file.h"

using namespace kv::calib;

namespace {

// A grid with rows of {current, first ADC, second ADC}.
CalGrid GridOf(const std::vector<std::array<std::string, 3>> &rows, int gridLines = 15) {
    CalGrid g(gridLines);
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int c = 0; c < 3; ++c)
            g.SetCell(kCurrentColumn + c, static_cast<int>(i) + 1,
                      rows[i][static_cast<std::size_t>(c)]);
    return g;
}

std::string ErrorOf(auto &&fn) {
    try {
        fn();
    } catch (const kv::Error &e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(CalibGrid, HeadingsRowNumbersAndRowLimits) {
    CalGrid g(15);
    EXPECT_EQ(g.RowCount(), 16);
    EXPECT_EQ(g.Cell(1, 0), " ADC");
    EXPECT_EQ(g.Cell(2, 0), "  I");
    EXPECT_EQ(g.Cell(3, 0), " ADC");
    EXPECT_EQ(g.Cell(4, 0), "");
    EXPECT_EQ(g.Cell(0, 1), " 1");
    EXPECT_EQ(g.Cell(0, 15), "15");

    EXPECT_EQ(CalGrid(0).RowCount(), 1);
    EXPECT_EQ(CalGrid(-7).RowCount(), 1);
    EXPECT_EQ(CalGrid(std::numeric_limits<int>::max()).DataRows(), kMaxGridLines);
    EXPECT_THROW(g.SetCell(5, 1, "x"), std::out_of_range);
    EXPECT_THROW((void)g.Cell(0, 16), std::out_of_range);
}

TEST(CalibGrid, MilliampsAreTakenExactlyFromTheDecimalText) {
    const std::pair<const char *, std::int32_t> cases[] = {
        {"8.03", 8030},
        {"1.2345", 1234},
        {"0.001", 1},
        {"-0.0015", -1},
        {"0.0009", 0},
        {".5", 500},
        {"5.", 5000},
        {"1e-3", 1},
        {"2.5E1", 25000},
        {"+0.10", 100},
        {"000.50", 500},
        {"2147483.647", 2147483647},
        {"-2147483.648", -2147483647 - 1},
    };
    for (const auto &[text, mA] : cases)
        EXPECT_EQ(CurrentTextToMilliamps(text), mA) << text;
    EXPECT_EQ(ErrorOf([] { CurrentTextToMilliamps("2147483.648"); }),
              "'2147483.648' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([] { CurrentTextToMilliamps("1e400"); }),
              "'1e400' is not a valid floating point value");
}

TEST(CalibGrid, CollectPointsRefreshesTheNominalColumnAndSkipsIncompleteRows) {
    CalGrid g = GridOf({
        {"0.50", "43", "44"},  // 0.5 x 1023 / 12 = 42.625
        {" .  ", "10", ""},    // only the point: no current
        {"1. 5", "", "130"},   // blanks inside are removed: 1.5
        {"", "77", ""},        // ADC without current
        {"8.03", " 684 ", ""}, //
        {"-1.00", "", ""},     // -85.25
    });
    g.SetCell(1, 7, "stale");

    const PointList col3 = CollectPoints(g, 3);
    EXPECT_EQ(col3, (PointList{{500, 43}, {8030, 684}}));
    EXPECT_EQ(g.Cell(1, 1), "42.6");
    EXPECT_EQ(g.Cell(1, 2), "");
    EXPECT_EQ(g.Cell(1, 3), "127.9");
    EXPECT_EQ(g.Cell(1, 4), "");
    EXPECT_EQ(g.Cell(1, 5), "684.6");
    EXPECT_EQ(g.Cell(1, 6), "-85.3");

    EXPECT_EQ(g.Cell(1, 7), "");
    EXPECT_EQ(CollectPoints(g, 4), (PointList{{500, 44}, {1500, 130}}));
    EXPECT_TRUE(CollectPoints(*std::make_unique<CalGrid>(0), 3).empty());
}

TEST(CalibGrid, CollectPointsStopsAtTheFirstBadTextWithItsMessage) {
    CalGrid g = GridOf({{"1.00", "85", ""}, {"abc", "1", ""}, {"2.00", "170", ""}});
    EXPECT_EQ(ErrorOf([&] { CollectPoints(g, 3); }), "'abc' is not a valid floating point value");
    EXPECT_EQ(g.Cell(1, 1), "85.3"); // 85.25; the row before keeps its refreshed text
    EXPECT_EQ(g.Cell(1, 3), "");     // the row after is not reached

    CalGrid h = GridOf({{"1.00", " 1 2 ", ""}});
    EXPECT_EQ(ErrorOf([&] { CollectPoints(h, 3); }), "'1 2' is not a valid integer value");
    CalGrid hex = GridOf({{"1.00", "$10", ""}});
    EXPECT_EQ(CollectPoints(hex, 3), (PointList{{1000, 16}}));
}

TEST(CalibGrid, SortIsAscendingAndStable) {
    PointList p{{2000, 1}, {0, 2}, {1000, 3}, {1000, 4}, {0, 5}};
    SortPointsByCurrent(p);
    EXPECT_EQ(p, (PointList{{0, 2}, {0, 5}, {1000, 3}, {1000, 4}, {2000, 1}}));
    PointList none;
    SortPointsByCurrent(none);
    EXPECT_TRUE(none.empty());
}

TEST(CalibSav, TextHasOneCrLfLinePerCellAndReadsBack) {
    EXPECT_EQ(SavText(CalGrid(15)), [] {
        std::string s;
        for (int i = 0; i < 45; ++i)
            s += "\r\n";
        return s;
    }());
    EXPECT_EQ(SavText(CalGrid(0)), "");

    CalGrid g = GridOf({{"0.50", "43", "44"}, {" . 5", "  1", ""}}, 3);
    const std::string text = SavText(g);
    EXPECT_EQ(text, "0.50\r\n43\r\n44\r\n . 5\r\n  1\r\n\r\n\r\n\r\n\r\n");
    CalGrid back(3);
    EXPECT_EQ(ApplySavLines(back, SplitLines(text)), 9);
    EXPECT_EQ(SavText(back), text);
}

TEST(CalibSav, ShortFilesFillWhatTheyCanAndLongOnesAreCut) {
    CalGrid g = GridOf({{"old", "old", "old"}, {"old", "old", "old"}}, 2);
    EXPECT_EQ(ApplySavLines(g, SplitLines("1.00\r\n85\r\n\r\n2.00\r\n")), 4);
    EXPECT_EQ(g.Cell(2, 1), "1.00");
    EXPECT_EQ(g.Cell(3, 1), "85");
    EXPECT_EQ(g.Cell(4, 1), "");
    EXPECT_EQ(g.Cell(2, 2), "2.00");
    EXPECT_EQ(g.Cell(3, 2), "old");
    EXPECT_EQ(g.Cell(4, 2), "old");

    CalGrid one(1);
    EXPECT_EQ(ApplySavLines(one, SplitLines("a\nb\rc\r\nd\ne")), 3);
    EXPECT_EQ(one.Cell(4, 1), "c");

    EXPECT_EQ(SplitLines("x\r\n\r\ny"), (std::vector<std::string>{"x", "", "y"}));
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(CalibGraph, WorkedExampleLandsOnItsPixels) {
    PointList p{{0, 3}, {800, 90}, {2000, 172}};
    const SeriesLayout l = LayoutSeries(p, 261, 291);
    EXPECT_EQ(l.sx, 221.0 / 2000);
    EXPECT_EQ(l.sy, 251.0 / 172);
    EXPECT_EQ(l.origin, (Pixel{20, 271}));
    EXPECT_EQ(l.points, (std::vector<Pixel>{{20, 267}, {108, 140}, {241, 20}}));
    EXPECT_EQ(l.referenceStart, (Pixel{20, 267}));
}

TEST(CalibGraph, ScalesHalvesAndDegenerateCurves) {
    // A single point sits in the top right corner; the reference starts at the origin.
    const SeriesLayout single = LayoutSeries({{1000, 100}}, 300, 200);
    EXPECT_EQ(single.points, (std::vector<Pixel>{{280, 20}}));
    EXPECT_EQ(single.referenceStart, single.origin);

    // All points at 0 A: no horizontal scale, every point on the vertical axis.
    const SeriesLayout zero = LayoutSeries({{0, 10}, {0, 40}}, 300, 200);
    EXPECT_EQ(zero.sx, 0);
    EXPECT_EQ(zero.points, (std::vector<Pixel>{{20, 140}, {20, 20}}));
    EXPECT_EQ(zero.referenceStart, (Pixel{20, 140}));

    // A last reading of 0: no vertical scale.
    EXPECT_EQ(LayoutSeries({{500, 7}, {1000, 0}}, 300, 200).points,
              (std::vector<Pixel>{{150, 180}, {280, 180}}));

    // Exact halves go to the even neighbour: x = 20.5 -> 20, 21.5 -> 22, 22.5 -> 22; the
    // first point's 0.5 px offset rounds to 0, so the reference starts on the axis.
    const SeriesLayout halves = LayoutSeries({{1, 2}, {3, 6}, {4, 8}}, 42, 56);
    EXPECT_EQ(halves.points, (std::vector<Pixel>{{20, 32}, {22, 24}, {22, 20}}));
    EXPECT_EQ(halves.referenceStart, (Pixel{20, 32}));

    // Readings far beyond the last point stay drawable numbers.
    const SeriesLayout wild = LayoutSeries({{0, 2147483647}, {1000, 1}}, 300, 200);
    EXPECT_EQ(wild.points[0].y, -kPixelLimit);
}

namespace {
CorrectionTable Calc(PointList p, std::int32_t m = 85, std::int32_t z = 0) {
    return CalcCorrection(std::move(p), m, z);
}
} // namespace

TEST(CalibCorrection, TwoPointExampleWithAndWithoutZeroOffset) {
    const CorrectionTable t = Calc({{0, 3}, {1000, 90}});
    ASSERT_EQ(t.status, CorrectionTable::Status::Ok);
    const std::pair<int, int> pinned[] = {{0, -3},  {1, -3},  {5, -4},   {9, -4},
                                          {10, -5}, {20, -7}, {216, -46}};
    for (auto [i, v] : pinned)
        EXPECT_EQ(t.entries[static_cast<std::size_t>(i)], v) << "entry " << i;
    for (int i = 217; i <= 222; ++i)
        EXPECT_EQ(t.entries[static_cast<std::size_t>(i)], -47) << "entry " << i;
    EXPECT_EQ(t.crc, 46);
    EXPECT_EQ(t.exceeded, 0);
    EXPECT_TRUE(t.text.starts_with("-3 -3 -3 -4 "));
    EXPECT_TRUE(t.text.ends_with(" -47 -47 46"));

    const CorrectionTable z5 = Calc({{0, 3}, {1000, 90}}, 85, 5);
    for (std::size_t i = 0; i < t.entries.size(); ++i)
        EXPECT_EQ(z5.entries[i], t.entries[i] + 5) << "entry " << i;
    EXPECT_EQ(z5.entries[0], 2);
    EXPECT_EQ(z5.crc, 29);
}

TEST(CalibCorrection, IdealDeviceOnlyDiffersAtExactHalves) {
    const CorrectionTable t = Calc({{0, 0}, {1000, 85}});
    for (int i = 0; i < 223; ++i) {
        int expected = 0;
        if (i % 10 == 5)
            expected = (i / 10) % 2 == 0 ? -1 : 1;
        EXPECT_EQ(t.entries[static_cast<std::size_t>(i)], expected) << "entry " << i;
    }
    EXPECT_EQ(t.crc, 91);
}

TEST(CalibCorrection, LimitedEntriesBelowTwelveAmperesAreCounted) {
    const CorrectionTable t = Calc({{0, 0}, {1000, 200}});
    EXPECT_EQ(t.entries[1], -11);
    EXPECT_EQ(t.entries[11], -126);
    for (int i = 12; i <= 222; ++i)
        EXPECT_EQ(t.entries[static_cast<std::size_t>(i)], -127) << "entry " << i;
    EXPECT_EQ(t.exceeded, 108);
    EXPECT_EQ(ExceededText(t.exceeded), "Correction exceeded max value 127! (108x)");
}

TEST(CalibCorrection, SegmentsDuplicatesAndStatus) {
    // A point on a step current ends the segment for that step.
    const CorrectionTable onStep = Calc({{0, 0}, {100, 20}, {1000, 85}});
    EXPECT_EQ(onStep.entries[1], -11);
    EXPECT_EQ(onStep.entries[2], -10); // 17 - (85 + round(-0.8 x 65 / 0.9))

    // Later duplicates (at 0 A and at the last current) change nothing.
    const CorrectionTable plain = Calc({{0, 3}, {1000, 90}});
    const CorrectionTable dup = Calc({{1000, 90}, {0, 3}, {0, 50}, {1000, 500}});
    EXPECT_EQ(dup.text, plain.text);

    EXPECT_EQ(Calc({{0, 3}}).status, CorrectionTable::Status::NothingToDo);
    EXPECT_EQ(Calc({}).status, CorrectionTable::Status::NothingToDo);
    EXPECT_EQ(Calc({{500, 40}, {1000, 85}}).status, CorrectionTable::Status::MissingZero);
    EXPECT_TRUE(Calc({{500, 40}, {1000, 85}}).text.empty());
}

TEST(CalibCorrection, PromptValuesAreBoundedAndCheckedAsIntegers) {
    EXPECT_EQ(ParseMultiplier(" 85\t"), 85);
    EXPECT_EQ(ParseMultiplier("0"), 1);
    EXPECT_EQ(ParseMultiplier("-5"), 1);
    EXPECT_EQ(ParseZeroOffset("-3"), 0);
    EXPECT_EQ(ParseZeroOffset("$10"), 16);
    EXPECT_EQ(ErrorOf([] { ParseMultiplier(" 8.5 "); }), "'8.5' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { ParseZeroOffset(""); }), "'' is not a valid integer value");

    // A multiplier of 0 computes as 1.
    EXPECT_EQ(Calc({{0, 0}, {1000, 1}}, ParseMultiplier("0")).text,
              Calc({{0, 0}, {1000, 1}}, 1).text);
}

TEST(CalibCorrection, ReadingsNearTheThirtyTwoBitLimitsAreLimitedNotWrapped) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    // Every difference and sum here leaves the 32-bit range; entry 20 lands exactly on
    // -1 (nominal 4294967294 + offset - 4294967295 - reading), which only exact 64-bit
    // steps give.
    const CorrectionTable t = Calc({{0, kMin}, {1000, kMax}}, kMax, kMax);
    ASSERT_EQ(t.status, CorrectionTable::Status::Ok);
    for (int i = 0; i < 223; ++i)
        EXPECT_EQ(t.entries[static_cast<std::size_t>(i)], i < 20    ? 127
                                                          : i == 20 ? -1
                                                                    : -127)
            << "entry " << i;
    EXPECT_EQ(t.exceeded, 119);

    // A slope of 1000 steps per ampere over two million amperes: the entries follow it
    // (about -91.5 per step) until they are limited.
    const CorrectionTable far = Calc({{0, 0}, {kMax, kMax}});
    EXPECT_EQ(far.entries[0], 0);
    EXPECT_GE(far.entries[1], -92);
    EXPECT_LE(far.entries[1], -91);
    EXPECT_EQ(far.entries[2], -127);
    EXPECT_EQ(far.exceeded, 118);

    const CorrectionTable negative = Calc({{kMin, 0}, {0, kMax}, {kMax, kMin}}, 1, 0);
    for (int v : negative.entries)
        EXPECT_TRUE(v >= -127 && v <= 127);
}

TEST(CalibCorrection, TextIsTheTableFileOnOneLine) {
    const CorrectionTable t = Calc({{0, 0}, {1000, 200}});
    EXPECT_EQ(t.text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(t.text.back(), ' ');
    std::vector<std::string> numbers;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= t.text.size(); ++i)
        if (i == t.text.size() || t.text[i] == ' ') {
            numbers.push_back(t.text.substr(start, i - start));
            start = i + 1;
        }
    ASSERT_EQ(numbers.size(), 224u);
    for (int i = 0; i < 223; ++i)
        EXPECT_EQ(numbers[static_cast<std::size_t>(i)],
                  std::to_string(t.entries[static_cast<std::size_t>(i)]));
    EXPECT_EQ(numbers[223], std::to_string(t.crc));
}
