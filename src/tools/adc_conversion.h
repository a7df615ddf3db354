// The ADC calculator's conversion: a current into the voltage at the ADC input and into the
// ADC reading, on a linear scale given by its full-scale voltage, current and reading.
#pragma once

#include <string>
#include <string_view>

namespace kv::tools {

// Shown in both results when the inputs give no number.
inline constexpr const char *kNoResult = "???";

struct AdcConversion {
    std::string ui;  // voltage at the ADC input, "0.000"
    std::string adc; // ADC reading, "0.0"
};

// Converts the four input texts as typed: U max, I max and input I are floating-point
// numbers, ADC max an integer (hexadecimal prefixes allowed); blanks around each are
// ignored. Any text that is not a number, an I max of 0 or a result beyond the range of a
// double gives kNoResult in both fields.
AdcConversion ConvertAdc(std::string_view umax, std::string_view imax, std::string_view adcmax,
                         std::string_view i);

} // namespace kv::tools
