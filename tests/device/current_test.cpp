// The current sample from its reply and its line in the current log.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "device/current.h"
#include "device/texts.h"

namespace kv::device {
namespace {

TEST(CurrentSample, ReferenceScaleAndFailedMeasurement) {
    const std::array<std::uint8_t, 5> reply{0x03, 0xFF, 0x00, 0x07, 0xF7};
    CurrentSample s;
    ASSERT_TRUE(SampleFromReply(reply, true, AdcScale{5.0, 1.8}, s));
    EXPECT_DOUBLE_EQ(s.Voltage, 1.8);
    EXPECT_NEAR(s.Current, 1023.0 / 7, 1e-12);
    EXPECT_FALSE(s.RelayOn()); // only bit 3 counts

    // A multiply of 0 cannot give a current: the sample stays as it was.
    const std::array<std::uint8_t, 5> zero{0x01, 0xF4, 0x05, 0x00, 0x08};
    CurrentSample z;
    EXPECT_FALSE(SampleFromReply(zero, false, AdcScale{}, z));
    EXPECT_EQ(z.Adc(), 0);
    EXPECT_EQ(z.Port, 0);
}

TEST(CurrentLog, RecordColumnsLineUpUnderTheHeader) {
    const std::string header(text::CurrentLogHeader);
    CurrentSample s;
    s.TimeStamp = DateTime{1999, 2, 3, 4, 5, 6};
    s.AdcHi = 3;
    s.AdcLo = 255;
    s.ZeroOffset = 255;
    s.Multiply = 7;
    s.Port = 8;
    s.Voltage = 5.0;
    s.Current = 1023.0 / 7;
    const std::string line = CurrentLogLine(s);
    EXPECT_EQ(line, "03.02.1999 04:05:06 1023   3 255 255   7   5.00 146.14 On\r\n");
    // Each header name ends in the column where its right-aligned number ends.
    for (const char *name : {"ADC", "Hi", "Lo", "Zo", "Mul", "Volt", "Curr"}) {
        const std::size_t end = header.find(name) + std::string(name).size();
        EXPECT_NE(line[end - 1], ' ') << name;
        EXPECT_EQ(line[end], ' ') << name;
    }
    EXPECT_EQ(FormatDateTime(LocalNow()).size(), 19u);
}

// The timer from its switching on (the count set to the interval, so that the first tick
// measures): measurements at ticks 1, 1 + interval, ... and the countdown between them, for
// intervals up to the largest a settings file or "Set Interval" can hold.
TEST(TimerTick, EveryIntervalMeasuresAtOnceAndCountsDown) {
    constexpr int kMax = std::numeric_limits<int>::max();
    struct Row {
        int interval;
        std::vector<int> shown; // panel texts of ticks 1..n
        std::vector<int> due;   // ticks that measure
    };
    const Row rows[] = {
        {1, {1, 1, 1, 1}, {1, 2, 3, 4}},       {2, {2, 1, 2, 1}, {1, 3}},
        {5, {5, 4, 3, 2, 1, 5, 4}, {1, 6}},    {kMax, {kMax, kMax - 1, kMax - 2}, {1}},
        {kMax - 1, {kMax - 1, kMax - 2}, {1}},
    };
    for (const Row &r : rows) {
        int ticks = r.interval;
        std::vector<int> shown;
        std::vector<int> due;
        for (std::size_t n = 1; n <= r.shown.size(); ++n) {
            const TimerStep step = CountTimerTick(ticks, r.interval);
            ticks = step.ticks;
            if (step.due)
                due.push_back(static_cast<int>(n));
            shown.push_back(TimerSecondsLeft(ticks, r.interval));
        }
        EXPECT_EQ(shown, r.shown) << r.interval;
        EXPECT_EQ(due, r.due) << r.interval;
    }
    // A count left above a lowered interval measures at the next tick.
    EXPECT_TRUE(CountTimerTick(50, 5).due);
    EXPECT_EQ(TimerSecondsLeft(50, 5), 0);
    EXPECT_EQ(TimerSecondsLeft(0, kMax), kMax);
}

} // namespace
} // namespace kv::device
