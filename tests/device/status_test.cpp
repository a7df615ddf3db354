// The status record's layout, reply judging, flag names and relay off time.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "device/status.h"

namespace kv::device {
namespace {

TEST(DeviceStatus, FieldsFollowTheRecordLayout) {
    std::array<std::uint8_t, kStatusReplyLength> reply{};
    for (std::size_t i = 0; i < kStatusRecordSize; ++i)
        reply[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(StatusFromReply(reply, 25, 25));
    const DeviceStatus s = *StatusFromReply(reply, 25, 25);
    EXPECT_EQ(s.PortC, 0xA0);
    EXPECT_EQ(s.PortA, 0xA2);
    EXPECT_EQ(s.FuseCurrent, 0xA4);
    EXPECT_EQ(s.CurrentMultiply, 0xA6);
    EXPECT_EQ(s.UseVref, 0xA8);
    EXPECT_EQ(s.UseAverage, 0xA9);
    EXPECT_EQ(s.DataCrc, 0xAB);
    EXPECT_EQ(s.AvgAdc(), 0xAC * 256 + 0xAD);
    EXPECT_EQ(s.LastAdc(), 0xB0 * 256 + 0xB1);
    EXPECT_EQ(s.RelayOffCount(), 0xB3 * 256 + 0xB4);

    // Only exactly 25 bytes count, and never more than the bytes at hand.
    EXPECT_FALSE(StatusFromReply(reply, 24, 25));
    EXPECT_FALSE(StatusFromReply(reply, 26, 25));
    EXPECT_FALSE(StatusFromReply(std::span(reply).first(10), 25, 25));
}

TEST(DeviceStatus, FlagNamesInBitOrder) {
    EXPECT_EQ(FlagNameList(0x00), "");
    EXPECT_EQ(FlagNameList(0x81), "CurOver CRCError");
    EXPECT_EQ(FlagNameList(0x24), "SwStart ADCcerr");
    EXPECT_EQ(FlagNameList(0xFF),
              "CurOver SwNotOk SwStart UseAvgc AvgTime ADCcerr CurShow CRCError");
}

TEST(DeviceStatus, RelayOffTime) {
    struct Row {
        int count, total, min, sec, ms;
    };
    for (const Row &r : std::vector<Row>{{0, 0, 0, 0, 0},
                                         {1000, 1024, 0, 1, 24},
                                         {58594, 60000, 1, 0, 0},
                                         {65277, 66844, 1, 6, 844}, // 66843.648 rounds up
                                         {65279, 66845, 1, 6, 845},
                                         {65535, 66845, 1, 6, 845}}) {
        const RelayOffTime t = RelayOffTimeFrom(r.count);
        EXPECT_EQ(t.total, r.total) << r.count;
        EXPECT_EQ(t.minutes, r.min) << r.count;
        EXPECT_EQ(t.seconds, r.sec) << r.count;
        EXPECT_EQ(t.milliseconds, r.ms) << r.count;
    }
}

TEST(DeviceStatus, ReportShowsEveryField) {
    DeviceStatus s;
    s.PortA = 0x01;
    s.PortB = 0x80;
    s.PortC = 0x08;
    s.Flags = 0x81;
    s.FuseCurrent = 12;
    s.ZeroOffset = 3;
    s.CurrentMultiply = 100;
    s.OverloadTime = 250;
    s.UseVref = 1;
    s.UseAverage = 2;
    s.MeasureCount = 20;
    s.AvgAdcHi = 1;
    s.AvgAdcLo = 2;
    s.UsedCurrent = 7;
    s.MeasuredCurrent = 9;
    s.LastAdcHi = 3;
    s.LastAdcLo = 255;
    s.RelayOffTimeLo = 2;
    const std::vector<std::string> expected{
        ">",
        "> Device port A:00000001 B:10000000 C:00001000",
        "> Flags: 10000001 [CurOver CRCError]",
        ">",
        "> Average/Peak ADC:258 [Hi:1, Lo:2, count 20]",
        "> Last ADC:1023 [Hi:3, Lo:255]",
        "> Last relay offtime:2ms [0m0s2ms]",
        "> Used current:7, Measured current:9",
        ">",
        "> Use Vref=1, Use average current=2",
        "> Overload time=250, Current multiply=100",
        "> Fuse current=12, Zero offset=3",
        "  Last Stored Values [Relay is currently On]",
    };
    EXPECT_EQ(StatusReportLines(s, "Last Stored Values"), expected);
}

} // namespace
} // namespace kv::device
