// The live current plot's model: the clock it counts in, the axes, the shown span with
// auto-scroll and pause, and the CSV of the shown points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/current_plot.h"

namespace kv::device {
namespace {

CurrentSample At(int hour, int minute, int second, int adc, int multiply = 10) {
    CurrentSample s;
    s.AdcHi = static_cast<std::uint8_t>(adc >> 8);
    s.AdcLo = static_cast<std::uint8_t>(adc & 0xFF);
    s.Multiply = static_cast<std::uint8_t>(multiply);
    s.Current = static_cast<double>(adc) / multiply;
    s.TimeStamp = {2026, 12, 9, hour, minute, second};
    return s;
}

TEST(CurrentPlot, CivilClockRoundTrips) {
    const struct {
        DateTime t;
        long long seconds;
    } rows[] = {
        {{1970, 1, 1, 0, 0, 0}, 0},
        {{2000, 2, 29, 23, 59, 59}, 951868799},
        {{2026, 12, 31, 12, 0, 0}, 1798718400},
        {{1969, 12, 31, 23, 59, 59}, -1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.seconds);
        EXPECT_EQ(CivilSeconds(r.t), r.seconds);
        const DateTime back = CivilTime(r.seconds);
        EXPECT_EQ(FormatDateTime(back), FormatDateTime(r.t));
    }
    // Midnight between two days is one second, not a jump back to 00:00:00 of the same day.
    EXPECT_EQ(CivilSeconds({2026, 12, 10, 0, 0, 0}) - CivilSeconds({2026, 12, 9, 23, 59, 59}), 1);
}

TEST(CurrentPlot, ValueAxesAreRoundAndHoldEveryValue) {
    const struct {
        double min, max;
        double lo, hi, step;
    } rows[] = {
        {0, 0, 0, 1, 0.2},           // nothing measured yet: 0..1
        {0, 4.7, 0, 5, 1},           // amperes
        {0, 1023, 0, 1200, 200},     // a full-scale ADC
        {0, 0.013, 0, 0.014, 0.002}, // small currents keep their decimals
        {-3, 12, -5, 15, 5},         // a negative value below 0
        {0, 50, 0, 50, 10},          // a round maximum is the top itself
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.max);
        const AxisScale s = ValueScale(r.min, r.max);
        EXPECT_NEAR(s.lo, r.lo, 1e-12);
        EXPECT_NEAR(s.hi, r.hi, 1e-12);
        EXPECT_NEAR(s.step, r.step, 1e-12);
        EXPECT_LE(s.lo, r.min);
        EXPECT_GE(s.hi, r.max);
    }
    EXPECT_EQ(ValueScale(0, 4.7).Ticks(), (std::vector<double>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(ValueText(0.6000000000000001, 0.2), "0.6");
    EXPECT_EQ(ValueText(1200, 200), "1200");
    EXPECT_EQ(ValueText(-1e-17, 0.002), "0.000");
}

TEST(CurrentPlot, TimeAxisTicksOnClockSteps) {
    const struct {
        double t0, t1, step;
    } rows[] = {{0, 5, 1}, {0, 60, 10}, {100, 400, 60}, {0, 3600, 600}, {0, 0, 1}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.t1);
        EXPECT_EQ(TimeScale(r.t0, r.t1).step, r.step);
    }
    // Ticks fall on whole multiples of the step inside the span.
    EXPECT_EQ(TimeScale(100, 400).Ticks(), (std::vector<double>{120, 180, 240, 300, 360}));
    EXPECT_EQ(ClockText(CivilSeconds({2026, 12, 9, 7, 5, 3})), "07:05:03");
}

TEST(CurrentPlot, AutoScrollPauseAndSpan) {
    CurrentPlot plot(5);
    plot.SetSpan(10);
    for (int s = 0; s < 3; ++s)
        plot.Add(At(10, 0, s * 5, 100 * (s + 1)));
    PlotView v = plot.View();
    EXPECT_EQ(v.t1, CivilSeconds({2026, 12, 9, 10, 0, 10}));
    EXPECT_EQ(v.points.size(), 3u); // 10:00:00 is exactly 10 s before the newest

    // Paused: new points are kept but the view stays where it stood, also for a point
    // taken within the same second as the last one shown.
    plot.SetPaused(true);
    plot.Add(At(10, 0, 10, 999));
    EXPECT_EQ(plot.View().points.size(), 3u);
    plot.Add(At(10, 0, 15, 400));
    v = plot.View();
    EXPECT_EQ(v.t1, CivilSeconds({2026, 12, 9, 10, 0, 10}));
    EXPECT_EQ(v.points.size(), 3u);
    EXPECT_EQ(plot.size(), 5u);

    // Resumed: it catches up; the capacity drops the oldest points.
    plot.SetPaused(false);
    plot.Add(At(10, 0, 20, 500));
    EXPECT_EQ(plot.size(), 5u);
    v = plot.View();
    ASSERT_EQ(v.points.size(), 4u); // 10:00:10 to 10:00:20
    EXPECT_EQ(v.points.front().adc, 300);
    EXPECT_EQ(v.adc.hi, 1000);

    // A span of 0 shows everything kept.
    plot.SetSpan(0);
    EXPECT_EQ(plot.View().points.size(), 5u);
}

TEST(CurrentPlot, FailedMeasurementBreaksTheLine) {
    CurrentPlot plot;
    plot.AddGap(); // nothing to break yet
    plot.Add(At(9, 0, 0, 10));
    plot.AddGap();
    plot.AddGap();
    plot.Add(At(9, 0, 5, 20));
    plot.Add(At(9, 0, 10, 30));
    const PlotView v = plot.View();
    ASSERT_EQ(v.points.size(), 3u);
    EXPECT_FALSE(v.points[0].afterGap);
    EXPECT_TRUE(v.points[1].afterGap);
    EXPECT_FALSE(v.points[2].afterGap);
}

TEST(CurrentPlot, CsvHoldsTheShownPointsOnly) {
    CurrentPlot plot;
    plot.SetSpan(60);
    plot.Add(At(8, 0, 0, 1)); // scrolled out by the last one
    plot.Add(At(8, 59, 30, 1023, 7));
    plot.Add(At(9, 0, 0, 512, 10));
    EXPECT_EQ(PlotCsv(plot.View()), "Date,Time,Current (A),ADC\r\n"
                                    "2026-12-09,08:59:30,146.1429,1023\r\n"
                                    "2026-12-09,09:00:00,51.2000,512\r\n");
    EXPECT_EQ(PlotCsv(CurrentPlot().View()), "Date,Time,Current (A),ADC\r\n");
}

} // namespace
} // namespace kv::device
