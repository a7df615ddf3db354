// One current measurement (the GetCurrentCmd reply), its log report and its line in the
// current log file.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/text_files.h"

namespace kv::device {

inline constexpr std::uint8_t kCurrentReplyLength = 8;
inline constexpr std::size_t kCurrentReplyData =
    5; // bytes used: ADC hi, lo, offset, multiply, port

// Local calendar time to the second.
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetMinutes = 0; // local time minus UTC
};
DateTime LocalNow();
using Clock = std::function<DateTime()>;
// "dd.mm.yyyy hh:mm:ss", 24-hour clock.
std::string FormatDateTime(const DateTime &t);
// ISO 8601 with the zone: "2025-05-20T16:03:07+02:00", the form of every JSON output.
std::string IsoDateTime(const DateTime &t);

// The full-scale voltages of the ADC without and with the voltage reference.
struct AdcScale {
    double Voltage = 5.0;
    double RefVoltage = 1.8;
};

struct CurrentSample {
    std::uint8_t AdcHi = 0;
    std::uint8_t AdcLo = 0;
    std::uint8_t ZeroOffset = 0;
    std::uint8_t Multiply = 0;
    std::uint8_t Port = 0;
    double Voltage = 0; // volts at the ADC input
    double Current = 0; // amperes
    DateTime TimeStamp; // when the request was started

    int Adc() const { return AdcHi * 256 + AdcLo; }
    bool RelayOn() const;
};

// Fills the sample from the reply's first five bytes and computes volts and amperes (the
// zero offset is reported, not subtracted). A multiply byte of 0 cannot give a current:
// the sample is then left as it was (zeros) and false is returned, as for a failed exchange.
bool SampleFromReply(std::span<const std::uint8_t> reply, bool useVref, const AdcScale &scale,
                     CurrentSample &sample);

// The converter's largest reading: its ADC has 10 bits.
inline constexpr int kAdcMax = 1023;

// Why a current reply of the right length cannot be a measurement: its last two bytes are
// not CR LF, or its reading is beyond the converter's range (line noise, a reply out of
// step). Empty for a plausible reply. The windows judge the reply by its length alone, as
// they always have; korvanectl and the history mark such a measurement as suspect.
std::string SuspectCurrentReply(std::span<const std::uint8_t> reply);

// The measurement's report lines, in the order they are logged (caption last).
std::vector<std::string> CurrentReportLines(const CurrentSample &s);

// One record line of the current log file, CR LF included.
std::string CurrentLogLine(const CurrentSample &s);

// The current log at start-up: a missing file is created holding its header line; an
// existing one is left as it is. Fails, with the reason, when the file cannot be written or
// is no file to write a log to (a directory, a FIFO: refused at once, never waited on).
FileResult StartCurrentLog(const std::string &fileName, Beeper *beeper);

// Appends the sample's record line. A log that is empty or was just created (deleted during
// a series, or its header lost to a full disk) gets its header line first.
FileResult AppendCurrentLog(const CurrentSample &s, const std::string &fileName, Beeper *beeper);

// One 1-second tick of the timed measurement: the tick count after it, and whether the
// measurement is due (the count reached the interval; it then starts again from 0). Sound
// for every interval an int holds: a count at the interval (as set when the timer is
// switched on, so that the first tick measures) never overflows.
struct TimerStep {
    int ticks = 0;
    bool due = false;
};
TimerStep CountTimerTick(int ticks, int interval);
// The seconds to the next measurement, as the status bar counts them down (interval..1).
int TimerSecondsLeft(int ticks, int interval);

} // namespace kv::device
