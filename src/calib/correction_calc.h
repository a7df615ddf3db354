// The correction table computed from calibration points: for each load current from
// 0.0 A to 22.2 A in 0.1 A steps, the ideal reading (multiplier x current + zero offset)
// less the reading the device gives according to the points, limited to +-127, and the
// table's check value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/notice.h"
#include "calib/cal_grid.h"
#include "corrtable/table.h"

namespace kv::calib {

inline constexpr const char *kNothingToDo = "Nothing to do...";
inline constexpr const char *kMissingZero = "Missing ADC value for 0 A!";
inline constexpr int kCountedSteps = 120; // steps below 12.0 A count when limited
inline constexpr int kCorrectionLimit = 127;

// The text of the limit message for a count of limited entries.
std::string ExceededText(int count);

// The prompt answers: trimmed and converted by the integer syntax (a bad text throws its
// integer error), then bounded below: a multiplier below 1 becomes 1, a negative zero
// offset becomes 0.
std::int32_t ParseMultiplier(std::string_view text);
std::int32_t ParseZeroOffset(std::string_view text);

struct CorrectionTable {
    enum class Status { Ok, NothingToDo, MissingZero };
    Status status = Status::Ok;
    std::array<int, corrtable::kCorrections> entries{};
    std::uint8_t crc = 0;
    int exceeded = 0; // entries below kCountedSteps that had to be limited
    std::string text; // 223 entries each followed by a blank, then crc; no line end
};

// The whole calculation from the collected points (any order; sorted here, stably).
// Fewer than 2 points: NothingToDo; a smallest current other than 0 mA: MissingZero.
// Integer steps are carried in 64 bits and results beyond +-127 are limited like any
// other, so readings and prompts of any 32-bit size give a defined table.
CorrectionTable CalcCorrection(PointList points, std::int32_t multiplier, std::int32_t zeroOffset);

// What the calculation has to tell: "Nothing to do...", "Missing ADC value for 0 A!", or the
// limit message (the table is written all the same).
Notices NoticesOf(const CorrectionTable &table);

} // namespace kv::calib
