// Send Data's validation, the requests built from the parameters, and Calc CRC's input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/errors.h"
#include "device/parameters.h"

namespace kv::device {
namespace {

ParameterEntries Entries(std::string fuse, std::string offset, std::string overload,
                         std::string multiply, std::string count) {
    return {fuse, offset, overload, multiply, count, false, false};
}

// The single bad fields are rows of Operations.SendDataShowsReplacedValuesBeforeItAsks;
// these are the others and the order.
TEST(SendValidation, BadValuesAreReportedInOrderAndReplaced) {
    struct Row {
        ParameterEntries e;
        std::vector<std::string> reports;
        FuseParameters p; // FuseCurrent, ZeroOffset, OverloadTime, Multiply, Count
    };
    const std::vector<Row> rows{
        {Entries(" 99 ", "255", "$FF", "103", "1"), {}, {99, 255, 255, 103, 1}},
        {Entries("0", "256", "0", "10", "21"),
         {"Offset must be < 256!", "Count must be > 0 and <= 20!"},
         {0, 255, 0, 10, 20}},
        // Low 16 bits: 65536 is held as 0.
        {Entries("0", "0", "0", "65536", "5"), {"I to ADC multiply must be > 0!"}, {0, 0, 0, 1, 5}},
        {Entries("0x64", "-1", "300", "-5", "0"),
         {"Current must be < 100!", "Offset must be < 256!", "Timer must be < 256!",
          "Count must be > 0 and <= 20!", "I to ADC multiply must be <= 103!"},
         {99, 255, 255, 103, 20}},
    };
    for (const Row &r : rows) {
        std::vector<std::string> reports;
        const FuseParameters p =
            ValidateForSend(r.e, [&](const std::string &m) { reports.push_back(m); });
        EXPECT_EQ(reports, r.reports) << r.e.ZeroOffset;
        EXPECT_EQ(p, r.p) << r.e.ZeroOffset;
    }
}

TEST(SendValidation, ANonIntegerStopsAfterTheReportsBeforeIt) {
    std::vector<std::string> reports;
    try {
        ValidateForSend(Entries("150", " abc ", "0", "10", "20"),
                        [&](const std::string &m) { reports.push_back(m); });
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(reports, std::vector<std::string>{"Current must be < 100!"});
}

TEST(FuseParametersBytes, RequestOrderAndReadBack) {
    const FuseParameters p{99, 2, 50, 103, 20, true, false};
    // SetStatus carries use average before use voltage reference, the CRC input after it.
    EXPECT_EQ(SetStatusRequest(p), (std::array<std::uint8_t, 8>{0x16, 99, 2, 103, 50, 1, 0, 20}));
    EXPECT_EQ(CrcInput(p), (std::array<std::uint8_t, 7>{99, 2, 103, 50, 0, 1, 20}));

    DeviceStatus s;
    s.FuseCurrent = 99;
    s.ZeroOffset = 2;
    s.OverloadTime = 50;
    s.CurrentMultiply = 103;
    s.MeasureCount = 20;
    s.UseAverage = 1;
    EXPECT_TRUE(ReadBackMatches(s, p));
    for (auto field :
         {&DeviceStatus::FuseCurrent, &DeviceStatus::ZeroOffset, &DeviceStatus::OverloadTime,
          &DeviceStatus::CurrentMultiply, &DeviceStatus::MeasureCount, &DeviceStatus::UseAverage,
          &DeviceStatus::UseVref}) {
        DeviceStatus d = s;
        d.*field = static_cast<std::uint8_t>(d.*field + 2); // 1 -> 3: a boolean must be 0/1
        EXPECT_FALSE(ReadBackMatches(d, p));
    }
}

TEST(CalcCrcInput, OwnSilentLimits) {
    struct Row {
        ParameterEntries e;
        std::array<std::uint8_t, 7> input;
    };
    ParameterEntries checked = Entries("10", "300", "999", "300", "300");
    checked.UseAverage = checked.UseVref = true;
    const std::vector<Row> rows{
        {checked, {10, 255, 255, 255, 1, 1, 44}},
        {Entries("0", "0", "0", "0", "0"), {0, 0, 1, 0, 0, 0, 0}},
        {Entries("-1", "0", "0", "65536", "-1"), {99, 0, 1, 0, 0, 0, 255}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(CrcInput(CalcCrcParameters(r.e)), r.input) << r.e.CurrentMultiply;
}

} // namespace
} // namespace kv::device
