// How the receive thread's log line shows a chunk of received bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kv::link {

inline constexpr std::uint8_t kRxHex = 0;
inline constexpr std::uint8_t kRxText = 2;

// Hexadecimal (mode 0): "4F 0D 0A " (each byte and a blank). Text (mode 2): printable
// characters as they are, CR and LF as "<CR>" and "<LF>", any other byte as "0x" and two
// hexadecimal digits. Modes other than 2 render as hexadecimal.
std::string RenderRx(std::span<const std::uint8_t> bytes, std::uint8_t mode);

// "0x15 0x00 ... " : each byte as "0x", two upper-case digits and a blank.
std::string FrameHexForm(std::span<const std::uint8_t> frame);

} // namespace kv::link
