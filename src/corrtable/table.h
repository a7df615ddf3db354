// The correction table: 257 signed entries, 0..222 corrections, 223 the check byte.
#pragma once

#include <array>
#include <cstdint>

namespace kv::corrtable {

inline constexpr int kTableSize = 257;
inline constexpr int kEntries = 224;     // 0..223 are shown, transferred and saved
inline constexpr int kCorrections = 223; // 0..222
inline constexpr int kCheckIndex = 223;

using CorrTableData = std::array<std::int8_t, kTableSize>;

} // namespace kv::corrtable
