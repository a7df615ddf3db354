// The value the last-ADC window shows for one reply of the device.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "tools/adc_conversion.h" // kNoResult

namespace kv::tools {

// Offsets of the average/peak ADC value (high byte first) in the status record.
inline constexpr std::size_t kAvgAdcHi = 12;
inline constexpr std::size_t kAvgAdcLo = 13;

// The average/peak ADC value of a reply: `received` holds the bytes that arrived, and the
// reply is good only when exactly `expected` of them did. A good reply too short to carry
// both bytes has no value either (the receive buffer past the reply holds nothing from
// the device).
std::optional<std::uint16_t> AvgAdcValue(std::span<const std::uint8_t> received,
                                         std::uint8_t expected);

// The display text: the value in decimal, or "???".
std::string AvgAdcText(std::span<const std::uint8_t> received, std::uint8_t expected);

} // namespace kv::tools
