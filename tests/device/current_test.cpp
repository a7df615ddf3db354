// The current sample from its reply, its report and its log line.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "device/current.h"
#include "device/texts.h"

namespace kv::device {
namespace {

const DateTime kStamp{2024, 3, 7, 9, 5, 2};

TEST(CurrentSample, WorkedExample) {
    const std::array<std::uint8_t, 8> reply{0x01, 0xF4, 0x05, 0x64, 0x08, 0x00, 0x0D, 0x0A};
    CurrentSample s;
    s.TimeStamp = kStamp;
    ASSERT_TRUE(SampleFromReply(reply, false, AdcScale{5.0, 1.8}, s));
    EXPECT_EQ(s.Adc(), 500);
    EXPECT_DOUBLE_EQ(s.Current, 5.0);
    EXPECT_NEAR(s.Voltage, 2.443792766, 1e-9);
    EXPECT_TRUE(s.RelayOn());
    const std::vector<std::string> lines{
        ">",
        "> Zero offset:5, I to ADC current multiply:100",
        "> ADC 500 [ADCHi 1, ADCLo 244]",
        "> Current:5.00A, Voltage: 2.44379V",
        "  Actual ADC measure [Relay is On]",
    };
    EXPECT_EQ(CurrentReportLines(s), lines);
    EXPECT_EQ(CurrentLogLine(s), "07.03.2024 09:05:02  500   1 244   5 100   2.44   5.00 On\r\n");
}

TEST(CurrentSample, ReferenceVoltageScale) {
    const std::array<std::uint8_t, 5> reply{0x03, 0xFF, 0x00, 0x07, 0xF7};
    CurrentSample s;
    ASSERT_TRUE(SampleFromReply(reply, true, AdcScale{5.0, 1.8}, s));
    EXPECT_DOUBLE_EQ(s.Voltage, 1.8);
    EXPECT_NEAR(s.Current, 1023.0 / 7, 1e-12);
    EXPECT_FALSE(s.RelayOn());
    EXPECT_EQ(CurrentLogLine(s).substr(19), " 1023   3 255   0   7   1.80 146.14 Off\r\n");
}

TEST(CurrentSample, MultiplyZeroIsAFailedMeasurement) {
    const std::array<std::uint8_t, 5> reply{0x01, 0xF4, 0x05, 0x00, 0x08};
    CurrentSample s;
    s.TimeStamp = kStamp;
    EXPECT_FALSE(SampleFromReply(reply, false, AdcScale{}, s));
    EXPECT_EQ(s.Adc(), 0);
    EXPECT_EQ(s.Port, 0);
    // A failed measurement's file line: the time stamp and zeros, aligned with the header.
    EXPECT_EQ(CurrentLogLine(s), "07.03.2024 09:05:02    0   0   0   0   0   0.00   0.00 Off\r\n");
}

TEST(CurrentLog, RecordColumnsLineUpUnderTheHeader) {
    const std::string header(text::CurrentLogHeader);
    CurrentSample s;
    s.TimeStamp = DateTime{1999, 12, 31, 23, 59, 59};
    s.AdcHi = 3;
    s.AdcLo = 255;
    s.ZeroOffset = 255;
    s.Multiply = 255;
    s.Port = 8;
    s.Voltage = 5.0;
    s.Current = 4.01;
    const std::string line = CurrentLogLine(s);
    EXPECT_EQ(line, "31.12.1999 23:59:59 1023   3 255 255 255   5.00   4.01 On\r\n");
    // Each header name ends in the column where its right-aligned number ends.
    for (const char *name : {"ADC", "Hi", "Lo", "Zo", "Mul", "Volt", "Curr"}) {
        const std::size_t end = header.find(name) + std::string(name).size();
        EXPECT_NE(line[end - 1], ' ') << name;
        EXPECT_EQ(line[end], ' ') << name;
    }
}

TEST(CurrentLog, DateTimeFormat) {
    EXPECT_EQ(FormatDateTime(DateTime{2025, 1, 2, 3, 4, 5}), "02.01.2025 03:04:05");
    EXPECT_EQ(FormatDateTime(LocalNow()).size(), 19u);
}

} // namespace
} // namespace kv::device
