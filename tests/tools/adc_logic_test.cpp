// The calculator's conversion and the last-ADC value, without a window.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/adc_conversion.h"
#include "tools/last_adc.h"

namespace {

using kv::tools::AvgAdcText;
using kv::tools::AvgAdcValue;
using kv::tools::ConvertAdc;

struct ConversionCase {
    const char *umax;
    const char *imax;
    const char *adcmax;
    const char *i;
    const char *ui;
    const char *adc;
};

TEST(ToolsConvertAdc, ResultsAndTheirFormatting) {
    const ConversionCase cases[] = {
        {"5.0", "12", "1023", "6", "2.500", "511.5"},
        {"5.0", "12", "1023", "0", "0.000", "0.0"},
        {"5.000", "12", "1023", "0", "0.000", "0.0"},
        // hexadecimal ADC max in every prefix form
        {"5.0", "12", "$3FF", "6", "2.500", "511.5"},
        {"5.0", "12", "0x3ff", "6", "2.500", "511.5"},
        {"5.0", "12", "X3FF", "6", "2.500", "511.5"},
        // blanks and control characters around the numbers are ignored
        {" 5.0\t", "\n12 ", "  1023", "6 ", "2.500", "511.5"},
        // negative input current, negative full scale
        {"5.0", "12", "1023", "-6", "-2.500", "-511.5"},
        {"5.0", "-12", "1023", "6", "-2.500", "-511.5"},
        // exponent syntax, rounding to the shown decimals
        {"5e0", "1.2E1", "1023", "1.2", "0.500", "102.3"},
        // an exact tie in the last shown digit goes to the even neighbour: 1023/12 = 85.25
        {"5.0", "12", "1023", "1", "0.417", "85.2"},
        {"3.3", "7", "1023", "2.2", "1.037", "321.5"},
        // a tiny negative result shows as zero, not "-0.000"
        {"5.0", "12", "1023", "-0.0001", "0.000", "0.0"},
    };
    for (const auto &c : cases) {
        const auto r = ConvertAdc(c.umax, c.imax, c.adcmax, c.i);
        EXPECT_EQ(r.ui, c.ui) << c.umax << " / " << c.imax << " / " << c.adcmax << " / " << c.i;
        EXPECT_EQ(r.adc, c.adc) << c.umax << " / " << c.imax << " / " << c.adcmax << " / " << c.i;
    }
}

TEST(ToolsConvertAdc, BadInputGivesNoResultInBothFields) {
    struct Inputs {
        const char *umax;
        const char *imax;
        const char *adcmax;
        const char *i;
    };
    const Inputs cases[] = {
        {"5.0", "0", "1023", "6"}, // division by zero, whatever the current
        {"5.0", "0", "1023", "0"},
        {"5.0", "-0.0", "1023", "0"},
        {"5.0", "12", "1023", ""}, // empty input
        {"5.0", "12", "1023", "   "},
        {"5.0", "12", "1023", "2,5"}, // comma is not the decimal point
        {"5,0", "12", "1023", "6"},
        {"5.0", "12", "1023.0", "6"}, // ADC max is an integer
        {"5.0", "12", "$", "6"},
        {"5.0", "12", "1023", "6A"},
        {"5.0", "12", "1023", "1e400"},              // not representable
        {"1e300", "1e-300", "1023", "1e10"},         // U adc beyond a double
        {"1e-300", "1e-300", "2147483647", "1e300"}, // only the ADC beyond a double
    };
    for (const auto &c : cases) {
        const auto r = ConvertAdc(c.umax, c.imax, c.adcmax, c.i);
        EXPECT_EQ(r.ui, "???") << c.umax << " / " << c.imax << " / " << c.adcmax << " / " << c.i;
        EXPECT_EQ(r.adc, "???") << c.umax << " / " << c.imax << " / " << c.adcmax << " / " << c.i;
    }
}

TEST(ToolsConvertAdc, ExtendedIntermediateKeepsLargeButRepresentableResults) {
    // 1e300 * 1e10 overflows a double on the way, yet the quotient fits one.
    const auto r = ConvertAdc("1e300", "1e10", "1023", "1e10");
    EXPECT_EQ(r.ui.substr(0, 5), "10000");
    EXPECT_EQ(r.ui.size(), 301u + 4u); // 301 digits, the point and three decimals
}

std::vector<std::uint8_t> StatusReply(std::uint8_t hi, std::uint8_t lo) {
    std::vector<std::uint8_t> r(25, 0x55);
    r[12] = hi;
    r[13] = lo;
    r[23] = 0x0D;
    r[24] = 0x0A;
    return r;
}

TEST(ToolsAvgAdc, ValueFromBytes12And13OfAFullReply) {
    EXPECT_EQ(AvgAdcText(StatusReply(0x03, 0xFF), 25), "1023");
    EXPECT_EQ(AvgAdcText(StatusReply(0x00, 0x00), 25), "0");
    EXPECT_EQ(AvgAdcText(StatusReply(0xFF, 0xFF), 25), "65535");
    EXPECT_EQ(AvgAdcText(StatusReply(0x01, 0x00), 25), "256");
}

TEST(ToolsAvgAdc, AnythingButTheExpectedCountHasNoValue) {
    auto reply = StatusReply(0x03, 0xFF);
    std::vector<std::uint8_t> shortReply(reply.begin(), reply.begin() + 24);
    auto longReply = reply;
    longReply.push_back(0x0A);
    EXPECT_EQ(AvgAdcText(shortReply, 25), "???");
    EXPECT_EQ(AvgAdcText(longReply, 25), "???");
    EXPECT_EQ(AvgAdcText({}, 25), "???");
    // A reply that is complete but ends before byte 13 carries no value.
    const std::vector<std::uint8_t> tiny{0x0D, 0x0A};
    EXPECT_FALSE(AvgAdcValue(tiny, 2).has_value());
    EXPECT_FALSE(AvgAdcValue({}, 0).has_value());
    // The shortest reply that carries it.
    std::vector<std::uint8_t> fourteen(reply.begin(), reply.begin() + 14);
    EXPECT_EQ(AvgAdcValue(fourteen, 14), 1023);
}

} // namespace
