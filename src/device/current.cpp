#include "device/current.h"

#include <algorithm>
#include <ctime>

#include "app/format.h"
#include "app/numbers.h"
#include "device/status.h"
#include "device/texts.h"

namespace kv::device {

DateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{}, utc{};
#ifdef _WIN32
    localtime_s(&tm, &now);
    gmtime_s(&utc, &now);
#else
    localtime_r(&now, &tm);
    gmtime_r(&now, &utc);
#endif
    // The two calendars are at most a day apart.
    int days = tm.tm_yday - utc.tm_yday;
    if (tm.tm_year != utc.tm_year)
        days = tm.tm_year > utc.tm_year ? 1 : -1;
    const int offset = days * 1440 + (tm.tm_hour - utc.tm_hour) * 60 + (tm.tm_min - utc.tm_min);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset};
}

std::string FormatDateTime(const DateTime &t) {
    return Format("%0.2d.%0.2d.%0.4d %0.2d:%0.2d:%0.2d",
                  {t.day, t.month, t.year, t.hour, t.minute, t.second});
}

std::string IsoDateTime(const DateTime &t) {
    const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
    return Format("%0.4d-%0.2d-%0.2dT%0.2d:%0.2d:%0.2d%s%0.2d:%0.2d",
                  {t.year, t.month, t.day, t.hour, t.minute, t.second,
                   t.utcOffsetMinutes < 0 ? "-" : "+", offset / 60, offset % 60});
}

bool CurrentSample::RelayOn() const {
    return (Port & kRelayOnBit) != 0;
}

bool SampleFromReply(std::span<const std::uint8_t> reply, bool useVref, const AdcScale &scale,
                     CurrentSample &sample) {
    if (reply.size() < kCurrentReplyData || reply[3] == 0)
        return false;
    sample.AdcHi = reply[0];
    sample.AdcLo = reply[1];
    sample.ZeroOffset = reply[2];
    sample.Multiply = reply[3];
    sample.Port = reply[4];
    const double step = static_cast<double>(
        static_cast<Extended>(useVref ? scale.RefVoltage : scale.Voltage) / 1023.0L);
    const Extended adc = sample.Adc();
    sample.Voltage = static_cast<double>(adc * step);
    sample.Current = static_cast<double>(adc / sample.Multiply);
    return true;
}

std::string SuspectCurrentReply(std::span<const std::uint8_t> reply) {
    if (reply.size() < kCurrentReplyLength)
        return {};
    std::string why;
    if (reply[6] != 0x0D || reply[7] != 0x0A)
        why = Format("the reply ends in %0.2X %0.2X, not CR LF", {reply[6], reply[7]});
    const int adc = reply[0] * 256 + reply[1];
    if (adc > kAdcMax)
        why += (why.empty() ? "" : "; ") +
               Format("ADC %d is beyond the converter's %d", {adc, kAdcMax});
    return why.empty() ? why : "suspect measurement: " + why;
}

std::vector<std::string> CurrentReportLines(const CurrentSample &s) {
    using namespace text;
    return {
        std::string(ReportSeparator),
        Format(CurrentOffsetMultiply, {s.ZeroOffset, s.Multiply}),
        Format(CurrentAdc, {s.Adc(), s.AdcHi, s.AdcLo}),
        Format(CurrentValues, {s.Current, s.Voltage}),
        Format(CurrentCaption, {OffOnText[s.RelayOn() ? 1 : 0]}),
    };
}

std::string CurrentLogLine(const CurrentSample &s) {
    return Format(text::CurrentLogRecord,
                  {FormatDateTime(s.TimeStamp), s.Adc(), s.AdcHi, s.AdcLo, s.ZeroOffset, s.Multiply,
                   s.Voltage, s.Current, OffOnText[s.RelayOn() ? 1 : 0]});
}

FileResult StartCurrentLog(const std::string &fileName, Beeper *beeper) {
    if (FileExists(fileName))
        return FileResult{true, {}};
    return AppendTextFile(text::CurrentLogHeader, fileName, beeper);
}

FileResult AppendCurrentLog(const CurrentSample &s, const std::string &fileName, Beeper *beeper) {
    return AppendTextFile(CurrentLogLine(s), fileName, beeper, text::CurrentLogHeader);
}

TimerStep CountTimerTick(int ticks, int interval) {
    // Compared before counting: ticks + 1 would overflow at an interval of INT_MAX.
    if (interval <= 1 || ticks >= interval - 1)
        return TimerStep{0, true};
    return TimerStep{ticks < 0 ? 1 : ticks + 1, false};
}

int TimerSecondsLeft(int ticks, int interval) {
    // An interval lowered by "Set Interval" below the count shows as due (0) until the next
    // tick measures; the difference of two ints is taken where it cannot overflow.
    const long long left = static_cast<long long>(interval) - std::max(ticks, 0);
    return static_cast<int>(std::clamp<long long>(left, 0, std::max(interval, 0)));
}

} // namespace kv::device
