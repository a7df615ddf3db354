// How the receive thread's log line shows a chunk of received bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kv::link {

// The receive display mode (RxDisplayMode), with its values 0 and 2.
enum class RxDisplay : std::uint8_t { Hex = 0, Text = 2 };

// Hexadecimal: "4F 0D 0A " (each byte and a blank). Text: printable characters as they are,
// CR and LF as "<CR>" and "<LF>", any other byte as "0x" and two hexadecimal digits. Any
// value but Text renders as hexadecimal.
std::string RenderRx(std::span<const std::uint8_t> bytes, RxDisplay mode);

// "0x15 0x00 ... " : each byte as "0x", two upper-case digits and a blank.
std::string FrameHexForm(std::span<const std::uint8_t> frame);

} // namespace kv::link
