#include "tools/last_adc.h"

namespace kv::tools {

std::optional<std::uint16_t> AvgAdcValue(std::span<const std::uint8_t> received,
                                         std::uint8_t expected) {
    if (received.size() != expected || received.size() <= kAvgAdcLo)
        return std::nullopt;
    return static_cast<std::uint16_t>(received[kAvgAdcHi] * 256 + received[kAvgAdcLo]);
}

std::string AvgAdcText(std::span<const std::uint8_t> received, std::uint8_t expected) {
    const auto v = AvgAdcValue(received, expected);
    return v ? std::to_string(*v) : std::string(kNoResult);
}

} // namespace kv::tools
