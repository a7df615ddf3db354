// The status record and its report lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "device/status.h"

namespace kv::device {
namespace {

std::array<std::uint8_t, kStatusReplyLength> Reply(std::initializer_list<std::pair<int, int>> set) {
    std::array<std::uint8_t, kStatusReplyLength> r{};
    r[23] = 0x0D;
    r[24] = 0x0A;
    for (auto [i, v] : set)
        r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    return r;
}

TEST(DeviceStatus, FieldsFollowTheRecordLayout) {
    std::array<std::uint8_t, kStatusRecordSize> b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(0xA0 + i);
    const DeviceStatus s = StatusFromBytes(b);
    EXPECT_EQ(s.PortC, 0xA0);
    EXPECT_EQ(s.PortA, 0xA2);
    EXPECT_EQ(s.Flags, 0xA3);
    EXPECT_EQ(s.FuseCurrent, 0xA4);
    EXPECT_EQ(s.CurrentMultiply, 0xA6);
    EXPECT_EQ(s.OverloadTime, 0xA7);
    EXPECT_EQ(s.UseVref, 0xA8);
    EXPECT_EQ(s.UseAverage, 0xA9);
    EXPECT_EQ(s.MeasureCount, 0xAA);
    EXPECT_EQ(s.DataCrc, 0xAB);
    EXPECT_EQ(s.AvgAdc(), 0xAC * 256 + 0xAD);
    EXPECT_EQ(s.LastAdc(), 0xB0 * 256 + 0xB1);
    EXPECT_EQ(s.RelayOffCount(), 0xB3 * 256 + 0xB4);
    EXPECT_EQ(StatusToBytes(s), b);
}

TEST(DeviceStatus, OnlyAReplyOfTheExpectedLengthCounts) {
    const auto r = Reply({{4, 12}});
    ASSERT_TRUE(StatusFromReply(r, 25, 25));
    EXPECT_EQ(StatusFromReply(r, 25, 25)->FuseCurrent, 12);
    EXPECT_FALSE(StatusFromReply(std::span(r).first(24), 24, 25));
    std::vector<std::uint8_t> longer(r.begin(), r.end());
    longer.push_back(0);
    EXPECT_FALSE(StatusFromReply(longer, 26, 25));
    // A count that claims more than the bytes at hand is not trusted.
    EXPECT_FALSE(StatusFromReply(std::span(r).first(10), 25, 25));
}

TEST(DeviceStatus, RelayAndManualSwitchUseBitThreeOnly) {
    DeviceStatus s;
    s.PortC = 0xF7;
    s.PortA = 0xF7;
    EXPECT_FALSE(s.RelayOn());
    EXPECT_FALSE(s.ManualSwitchOff());
    s.PortC = 0x08;
    s.PortA = 0x08;
    EXPECT_TRUE(s.RelayOn());
    EXPECT_TRUE(s.ManualSwitchOff());
}

TEST(DeviceStatus, FlagNamesInBitOrder) {
    EXPECT_EQ(FlagNameList(0x00), "");
    EXPECT_EQ(FlagNameList(0x81), "CurOver CRCError");
    EXPECT_EQ(FlagNameList(0xFF),
              "CurOver SwNotOk SwStart UseAvgc AvgTime ADCcerr CurShow CRCError");
    EXPECT_EQ(FlagNameList(0x24), "SwStart ADCcerr");
}

TEST(DeviceStatus, RelayOffTime) {
    struct Row {
        int count, total, min, sec, ms;
    };
    for (const Row &r : std::vector<Row>{{0, 0, 0, 0, 0},
                                         {1000, 1024, 0, 1, 24},
                                         {1, 1, 0, 0, 1},
                                         {2, 2, 0, 0, 2},
                                         {58594, 60000, 1, 0, 0},
                                         {65278, 66845, 1, 6, 845},
                                         {65279, 66845, 1, 6, 845},
                                         {65535, 66845, 1, 6, 845}}) {
        const RelayOffTime t = RelayOffTimeFrom(r.count);
        EXPECT_EQ(t.total, r.total) << r.count;
        EXPECT_EQ(t.minutes, r.min) << r.count;
        EXPECT_EQ(t.seconds, r.sec) << r.count;
        EXPECT_EQ(t.milliseconds, r.ms) << r.count;
    }
    EXPECT_EQ(RelayOffTimeFrom(65277).total, 66844); // 66843.648 rounds up
}

TEST(DeviceStatus, ReportOfAnAllZeroRecord) {
    const std::vector<std::string> expected{
        ">",
        "> Device port A:00000000 B:00000000 C:00000000",
        "> Flags: 00000000 []",
        ">",
        "> Average/Peak ADC:0 [Hi:0, Lo:0, count 0]",
        "> Last ADC:0 [Hi:0, Lo:0]",
        "> Last relay offtime:0ms [0m0s0ms]",
        "> Used current:0, Measured current:0",
        ">",
        "> Use Vref=0, Use average current=0",
        "> Overload time=0, Current multiply=0",
        "> Fuse current=0, Zero offset=0",
        "  Last Values [Relay is currently Off]",
    };
    EXPECT_EQ(StatusReportLines(DeviceStatus{}, "Last Values"), expected);
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
    s.RelayOffTimeHi = 0xFF;
    s.RelayOffTimeLo = 0xFF;
    const std::vector<std::string> expected{
        ">",
        "> Device port A:00000001 B:10000000 C:00001000",
        "> Flags: 10000001 [CurOver CRCError]",
        ">",
        "> Average/Peak ADC:258 [Hi:1, Lo:2, count 20]",
        "> Last ADC:1023 [Hi:3, Lo:255]",
        "> Last relay offtime:66845ms [1m6s845ms]",
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
