// The current sample from its reply and its line in the current log.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

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

} // namespace
} // namespace kv::device
