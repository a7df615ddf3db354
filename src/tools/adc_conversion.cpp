#include "tools/adc_conversion.h"

#include <cmath>

#include "app/numbers.h"

namespace kv::tools {

AdcConversion ConvertAdc(std::string_view umax, std::string_view imax, std::string_view adcmax,
                         std::string_view i) {
    const AdcConversion none{kNoResult, kNoResult};
    // The number parsers strip the blanks (0x00..0x20) themselves.
    const auto uMax = TryStrToFloat(umax);
    const auto iMax = TryStrToFloat(imax);
    const auto adcMax = TryStrToInt(adcmax);
    const auto input = TryStrToFloat(i);
    if (!uMax || !iMax || !adcMax || !input || *iMax == 0)
        return none;

    // Carried in extended precision; a result is shown only when it fits a double, so a
    // huge input gives "???" rather than "inf" or a number the fields cannot hold.
    const Extended in = *input;
    const double ui = static_cast<double>(in * *uMax / *iMax);
    const double adc = static_cast<double>(static_cast<Extended>(*adcMax) * in / *iMax);
    if (!std::isfinite(ui) || !std::isfinite(adc))
        return none;
    // FormatFixed rounds the exact binary value, an exact tie in the last shown digit to the
    // even neighbour (1023 x 1 / 12 = 85.25 shows 85.2), as the program rounds elsewhere.
    return {FormatFixed(ui, 3), FormatFixed(adc, 1)};
}

} // namespace kv::tools
