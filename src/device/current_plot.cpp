#include "device/current_plot.h"

#include <algorithm>
#include <cmath>

#include "app/format.h"

namespace kv::device {

namespace {

constexpr long long kDay = 86400;

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

long long CivilSeconds(const DateTime &t) {
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
               kDay +
           t.hour * 3600LL + t.minute * 60LL + t.second;
}

DateTime CivilTime(long long seconds) {
    const long long days = FloorDiv(seconds, kDay);
    const long long rest = seconds - days * kDay;
    // The inverse of DaysFromCivil.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
    return {static_cast<int>(y),
            static_cast<int>(m),
            static_cast<int>(d),
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

std::vector<double> AxisScale::Ticks() const {
    std::vector<double> out;
    if (!(step > 0) || hi < lo)
        return out;
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double i = first; i <= last && out.size() < 1000; ++i)
        out.push_back(i * step);
    return out;
}

AxisScale ValueScale(double minValue, double maxValue, int ticks) {
    double lo = std::min(0.0, minValue);
    double hi = std::max(0.0, maxValue);
    if (!(hi > lo))
        hi = lo + 1;
    const double raw = (hi - lo) / std::max(ticks, 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / mag;
    // The round step nearest the wanted one: 1023 in 5 steps of 200 rather than 3 of 500.
    const double step = (norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10) * mag;
    lo = std::floor(lo / step + 1e-9) * step;
    hi = std::ceil(hi / step - 1e-9) * step;
    if (!(hi > lo))
        hi = lo + step;
    return {lo, hi, step};
}

AxisScale TimeScale(double t0, double t1, int ticks) {
    static constexpr double kSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                        600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    if (!(t1 > t0))
        t1 = t0 + 1;
    double step = kSteps[std::size(kSteps) - 1];
    for (double s : kSteps)
        if ((t1 - t0) / s <= std::max(ticks, 1)) {
            step = s;
            break;
        }
    return {t0, t1, step};
}

std::string ClockText(long long seconds) {
    const DateTime t = CivilTime(seconds);
    return Format("%0.2d:%0.2d:%0.2d", {t.hour, t.minute, t.second});
}

std::string ValueText(double value, double step) {
    int decimals = 0;
    if (step > 0 && step < 1)
        decimals = std::min(9, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    if (std::abs(value) < step * 1e-6)
        value = 0; // no "-0.0" from rounding
    return Format(RuntimeFormat("%0." + std::to_string(decimals) + "f"), {value});
}

CurrentPlot::CurrentPlot(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void CurrentPlot::Add(const CurrentSample &s) {
    if (points_.size() == capacity_)
        points_.pop_front();
    points_.push_back({CivilSeconds(s.TimeStamp), s.Current, s.Adc(), gapPending_});
    gapPending_ = false;
    if (paused_)
        ++newerThanShown_;
}

void CurrentPlot::AddGap() {
    gapPending_ = !points_.empty();
}

void CurrentPlot::Clear() {
    points_.clear();
    gapPending_ = false;
    newerThanShown_ = 0;
}

void CurrentPlot::SetSpan(long long seconds) {
    span_ = std::max(seconds, 0LL);
}

void CurrentPlot::SetPaused(bool paused) {
    if (paused != paused_)
        newerThanShown_ = 0;
    paused_ = paused;
}

PlotView CurrentPlot::View() const {
    PlotView v;
    // While paused the view ends at the newest point taken before the pause (points that
    // came in the same second included or not by when they came, not by their time).
    const std::size_t shown =
        points_.size() - std::min<std::size_t>(newerThanShown_, points_.size());
    if (shown == 0) {
        v.time = TimeScale(0, 1);
        v.amps = ValueScale(0, 0);
        v.adc = ValueScale(0, 0);
        return v;
    }
    v.t1 = points_[shown - 1].seconds;
    // A span of 0 shows every point.
    v.t0 = span_ > 0 ? v.t1 - span_ : std::min(points_.front().seconds, v.t1);
    double ampsMin = 0, ampsMax = 0;
    int adcMin = 0, adcMax = 0;
    for (std::size_t i = 0; i < shown; ++i) {
        const PlotPoint &p = points_[i];
        if (p.seconds < v.t0 || p.seconds > v.t1)
            continue;
        ampsMin = std::min(ampsMin, p.amps);
        ampsMax = std::max(ampsMax, p.amps);
        adcMin = std::min(adcMin, p.adc);
        adcMax = std::max(adcMax, p.adc);
        v.points.push_back(p);
    }
    v.time = TimeScale(static_cast<double>(v.t0), static_cast<double>(v.t1));
    v.amps = ValueScale(ampsMin, ampsMax);
    v.adc = ValueScale(adcMin, adcMax);
    return v;
}

std::string PlotCsv(const PlotView &view) {
    std::string out = "Date,Time,Current (A),ADC\r\n";
    for (const PlotPoint &p : view.points) {
        const DateTime t = CivilTime(p.seconds);
        out += Format("%0.4d-%0.2d-%0.2d,%0.2d:%0.2d:%0.2d,%0.4f,%d\r\n",
                      {t.year, t.month, t.day, t.hour, t.minute, t.second, p.amps, p.adc});
    }
    return out;
}

} // namespace kv::device
