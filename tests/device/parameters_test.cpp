// Send Data's validation, the requests built from the parameters, and Calc CRC's input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/errors.h"
#include "app/settings_file.h"
#include "device/parameters.h"
#include "link/crc8.h"
#include "temp_dir.h"

namespace kv::device {
namespace {

ParameterEntries Entries(std::string fuse, std::string offset, std::string overload,
                         std::string multiply, std::string count, bool avg = false,
                         bool vref = false) {
    return {fuse, offset, overload, multiply, count, avg, vref};
}

struct Validated {
    FuseParameters p;
    std::vector<std::string> reports;
};

Validated Validate(const ParameterEntries &e) {
    Validated v;
    v.p = ValidateForSend(e, [&](const std::string &m) { v.reports.push_back(m); });
    return v;
}

TEST(SendValidation, BadValuesAreReportedInOrderAndReplaced) {
    struct Row {
        ParameterEntries e;
        std::vector<std::string> reports;
        FuseParameters p; // FuseCurrent, ZeroOffset, OverloadTime, Multiply, Count
    };
    const std::vector<Row> rows{
        {Entries("12", "3", "50", "10", "20"), {}, {12, 3, 50, 10, 20}},
        {Entries(" 99 ", "255", "255", "103", "1"), {}, {99, 255, 255, 103, 1}},
        {Entries("150", "0", "0", "10", "20"), {"Current must be < 100!"}, {99, 0, 0, 10, 20}},
        // -1 is held as 65535 and fails the upper limit.
        {Entries("-1", "0", "0", "10", "20"), {"Current must be < 100!"}, {99, 0, 0, 10, 20}},
        {Entries("0", "256", "0", "10", "20"), {"Offset must be < 256!"}, {0, 255, 0, 10, 20}},
        {Entries("0", "0", "$100", "10", "20"), {"Timer must be < 256!"}, {0, 0, 255, 10, 20}},
        {Entries("0", "0", "0", "10", "0"), {"Count must be > 0 and <= 20!"}, {0, 0, 0, 10, 20}},
        {Entries("0", "0", "0", "10", "21"), {"Count must be > 0 and <= 20!"}, {0, 0, 0, 10, 20}},
        {Entries("0", "0", "0", "0", "5"), {"I to ADC multiply must be > 0!"}, {0, 0, 0, 1, 5}},
        {Entries("0", "0", "0", "200", "5"),
         {"I to ADC multiply must be <= 103!"},
         {0, 0, 0, 103, 5}},
        {Entries("0", "0", "0", "104", "5"),
         {"I to ADC multiply must be <= 103!"},
         {0, 0, 0, 103, 5}},
        // Low 16 bits: 65536 is held as 0.
        {Entries("0", "0", "0", "65536", "5"), {"I to ADC multiply must be > 0!"}, {0, 0, 0, 1, 5}},
        {Entries("0x64", "-1", "300", "-5", "0"),
         {"Current must be < 100!", "Offset must be < 256!", "Timer must be < 256!",
          "Count must be > 0 and <= 20!", "I to ADC multiply must be <= 103!"},
         {99, 255, 255, 103, 20}},
    };
    for (const Row &r : rows) {
        const Validated v = Validate(r.e);
        EXPECT_EQ(v.reports, r.reports) << r.e.fuseCurrent << "/" << r.e.multiply;
        EXPECT_EQ(v.p, r.p) << r.e.fuseCurrent << "/" << r.e.multiply;
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
    EXPECT_THROW(Validate(Entries("", "0", "0", "10", "20")), Error);
    EXPECT_THROW(Validate(Entries("1", "0", "0", "10", "2 0")), Error);
}

TEST(FuseParametersBytes, ConfirmationRequestAndCrcOrder) {
    FuseParameters p{99, 2, 50, 103, 20, true, false};
    EXPECT_EQ(ConfirmationText(p),
              "Fuse current: 99\r\nZero offset: 2\r\nOverload timer: 50\r\nI to ADC multiply: "
              "103\r\nCurrent measure count: 20\r\nUse average current: Yes\r\nUse voltage "
              "reference: No");
    // SetStatus carries use average before use voltage reference...
    EXPECT_EQ(SetStatusRequest(p), (std::array<std::uint8_t, 8>{0x16, 99, 2, 103, 50, 1, 0, 20}));
    // ...the CRC input has the record's order, use voltage reference first.
    EXPECT_EQ(CrcInput(p), (std::array<std::uint8_t, 7>{99, 2, 103, 50, 0, 1, 20}));
    const auto in = CrcInput(p);
    EXPECT_EQ(ParametersCrc(p), Crc8(in));
}

TEST(FuseParametersBytes, ReadBackComparesEveryFieldExactly) {
    const FuseParameters p{12, 3, 40, 10, 5, true, true};
    DeviceStatus s;
    s.FuseCurrent = 12;
    s.ZeroOffset = 3;
    s.OverloadTime = 40;
    s.CurrentMultiply = 10;
    s.MeasureCount = 5;
    s.UseAverage = 1;
    s.UseVref = 1;
    EXPECT_TRUE(ReadBackMatches(s, p));
    std::uint8_t DeviceStatus::*fields[] = {
        &DeviceStatus::FuseCurrent,     &DeviceStatus::ZeroOffset,   &DeviceStatus::OverloadTime,
        &DeviceStatus::CurrentMultiply, &DeviceStatus::MeasureCount, &DeviceStatus::UseAverage,
        &DeviceStatus::UseVref};
    for (auto f : fields) {
        DeviceStatus d = s;
        d.*f = static_cast<std::uint8_t>(d.*f == 1 ? 2 : 1);
        EXPECT_FALSE(ReadBackMatches(d, p));
    }
    // Get Data counts any non-zero boolean byte as set.
    s.UseVref = 2;
    s.UseAverage = 0;
    const FuseParameters shown = ParametersFromStatus(s);
    EXPECT_TRUE(shown.UseVref);
    EXPECT_FALSE(shown.UseAverage);
}

TEST(CalcCrcInput, OwnSilentLimits) {
    struct Row {
        ParameterEntries e;
        std::array<std::uint8_t, 7> input;
    };
    const std::vector<Row> rows{
        {Entries("150", "0", "0", "150", "0"), {99, 0, 150, 0, 0, 0, 0}},
        {Entries("10", "300", "999", "300", "300", true, true), {10, 255, 255, 255, 1, 1, 44}},
        {Entries("0", "0", "0", "0", "0"), {0, 0, 1, 0, 0, 0, 0}},
        {Entries("-1", "0", "0", "65536", "-1"), {99, 0, 1, 0, 0, 0, 255}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(CrcInput(CalcCrcParameters(r.e)), r.input) << r.e.multiply;
    EXPECT_THROW(CalcCrcParameters(Entries("1", "1", "1", "1", "")), Error);
}

TEST(SaveParameters, WritesTheKeysAndKeepsOtherLines) {
    kvtest::TempDir dir;
    const std::string file = dir.File("k.ini");
    kvtest::TempDir::Write(file, "[init]\r\nport=/dev/x\r\nfusecurrent=5\r\n");
    IniFile ini(file);
    ASSERT_TRUE(SaveParameters(ini, FuseParameters{99, 1, 2, 103, 20, true, false}));
    EXPECT_EQ(ini.ReadString("init", "port", ""), "/dev/x");
    EXPECT_EQ(ini.ReadInteger("init", "FuseCurrent", 0), 99);
    EXPECT_EQ(ini.ReadInteger("init", "ZeroOffset", 0), 1);
    EXPECT_EQ(ini.ReadInteger("init", "OverloadTimer", 0), 2);
    EXPECT_EQ(ini.ReadInteger("init", "ADCcurrentMultiply", 0), 103);
    EXPECT_EQ(ini.ReadString("init", "UseAverage", ""), "1");
    EXPECT_EQ(ini.ReadString("init", "UseVref", ""), "0");
    EXPECT_EQ(ini.ReadInteger("init", "MeasureCount", 0), 20);

    const FileResult r = SaveParameters(IniFile(dir.File("missing/k.ini")), FuseParameters{});
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
}

} // namespace
} // namespace kv::device
