// CRC-8/MAXIM-DOW (Dallas/Maxim 1-Wire): polynomial 0x31 reflected (0x8C), init 0, no xorout.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kv {

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t r = static_cast<std::uint8_t>(i);
        for (int b = 0; b < 8; ++b)
            r = (r & 1) ? static_cast<std::uint8_t>((r >> 1) ^ 0x8C)
                        : static_cast<std::uint8_t>(r >> 1);
        t[static_cast<std::size_t>(i)] = r;
    }
    return t;
}

inline constexpr std::array<std::uint8_t, 256> Crc8Table = MakeCrc8Table();

// One update step: the register after data byte b.
constexpr std::uint8_t Crc8Update(std::uint8_t crc, std::uint8_t b) {
    return Crc8Table[crc ^ b];
}

constexpr std::uint8_t Crc8(std::span<const std::uint8_t> data) {
    std::uint8_t r = 0;
    for (std::uint8_t b : data)
        r = Crc8Update(r, b);
    return r;
}

} // namespace kv
