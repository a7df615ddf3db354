// The live current plot's data: the measurements the main window takes (timed series and
// "Get Current"), the time span shown, auto-scrolling and pause, the axes' scales and the
// export of the shown points as CSV. The drawing lives with the window.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "device/current.h"

namespace kv::device {

// Seconds since 1970-01-01 00:00:00 of the local calendar time (no time zone involved): the
// plot's time axis, which labels its ticks with the same clock the current log writes.
long long CivilSeconds(const DateTime &t);
DateTime CivilTime(long long seconds);

struct PlotPoint {
    long long seconds = 0; // CivilSeconds of the sample's time stamp
    double amps = 0;
    int adc = 0;
    bool afterGap = false; // a failed measurement came before: not joined to the previous
};

// One axis: from lo to hi in steps of step (lo and hi are multiples of step).
struct AxisScale {
    double lo = 0;
    double hi = 1;
    double step = 1;
    std::vector<double> Ticks() const;
};

// A value axis from 0 (or below, for a negative value) to a round number at or above the
// largest value, in steps of 1, 2 or 5 times a power of ten, about `ticks` of them.
AxisScale ValueScale(double minValue, double maxValue, int ticks = 5);
// The time axis over [t0, t1] in steps a clock reads well (1 s .. 1 h).
AxisScale TimeScale(double t0, double t1, int ticks = 6);
// A tick label of the time axis: "hh:mm:ss".
std::string ClockText(long long seconds);
// A tick label of a value axis: as few decimals as the step needs.
std::string ValueText(double value, double step);

// The shown part of the plot.
struct PlotView {
    long long t0 = 0;
    long long t1 = 0;
    std::vector<PlotPoint> points; // within [t0, t1], oldest first
    AxisScale time;
    AxisScale amps;
    AxisScale adc;
};

class CurrentPlot {
public:
    // Keeps the newest `capacity` points; older ones are dropped.
    explicit CurrentPlot(std::size_t capacity = 100000);

    // A measurement that gave a current, and one that failed (the line breaks there).
    void Add(const CurrentSample &s);
    void AddGap();
    void Clear();

    // The span of time shown, in seconds, ending at the newest point (auto-scroll) or, while
    // paused, where it stood when paused. Points keep coming in while paused.
    void SetSpan(long long seconds);
    long long span() const { return span_; }
    void SetPaused(bool paused);
    bool paused() const { return paused_; }

    std::size_t size() const { return points_.size(); }
    PlotView View() const;

private:
    std::size_t capacity_;
    std::deque<PlotPoint> points_;
    bool gapPending_ = false;
    long long span_ = 300;
    bool paused_ = false;
    std::size_t newerThanShown_ = 0; // points taken while paused
};

// The shown points as CSV: a header line, then one line per point, CR LF ends, "." decimals.
std::string PlotCsv(const PlotView &view);

} // namespace kv::device
