#include "calib/correction_calc.h"

#include <algorithm>
#include <cmath>

#include "app/format.h"
#include "app/numbers.h"
#include "link/crc8.h"

namespace kv::calib {

std::string ExceededText(int count) {
    return Format("Correction exceeded max value 127! (%dx)", {count});
}

Notices NoticesOf(const CorrectionTable &table) {
    switch (table.status) {
    case CorrectionTable::Status::NothingToDo:
        return {{Notice::Kind::InfoBox, kNothingToDo}};
    case CorrectionTable::Status::MissingZero:
        return {{Notice::Kind::ErrorBox, kMissingZero}};
    case CorrectionTable::Status::Ok:
        break;
    }
    if (table.exceeded > 0)
        return {{Notice::Kind::ErrorBox, ExceededText(table.exceeded)}};
    return {};
}

std::int32_t ParseMultiplier(std::string_view text) {
    return std::max<std::int32_t>(StrToInt(Trim(text)), 1);
}

std::int32_t ParseZeroOffset(std::string_view text) {
    return std::max<std::int32_t>(StrToInt(Trim(text)), 0);
}

namespace {
// A rounded value beyond this is far outside any 32-bit sum: only its sign matters, and
// limited to it the value still converts to a 64-bit integer.
constexpr Extended kHuge = 4.0e18L;

std::int64_t RoundToInt64(Extended v) {
    const Extended r = RoundHalfEven(v);
    return static_cast<std::int64_t>(std::clamp(r, -kHuge, kHuge));
}
} // namespace

CorrectionTable CalcCorrection(PointList points, std::int32_t multiplier, std::int32_t zeroOffset) {
    CorrectionTable out;
    if (points.size() < 2) {
        out.status = CorrectionTable::Status::NothingToDo;
        return out;
    }
    SortPointsByCurrent(points);
    if (points[0].mA != 0) {
        out.status = CorrectionTable::Status::MissingZero;
        return out;
    }

    std::size_t seg = 0;
    double slope = 0.0;
    double x0 = 0.0;
    std::int64_t a0 = points[0].adc;
    for (int i = 0; i < corrtable::kCorrections; ++i) {
        const double x = i / 10.0;
        const std::int64_t nominal = RoundToInt64(static_cast<Extended>(multiplier) * x);

        const std::int64_t stepMilliamps = static_cast<std::int64_t>(i) * 100;
        for (std::size_t k = 0; k < points.size(); ++k) {
            if (points[k].mA < stepMilliamps)
                continue;
            if (k != seg) {
                // The two ends differ in current: the new end is the first point at or
                // above the step, the old one lies below it.
                const std::int64_t dAdc =
                    (static_cast<std::int64_t>(points[k].adc) - points[seg].adc) * 1000;
                const std::int64_t dmA = static_cast<std::int64_t>(points[k].mA) - points[seg].mA;
                slope =
                    static_cast<double>(static_cast<Extended>(dAdc) / static_cast<Extended>(dmA));
                seg = k;
                a0 = points[k].adc;
                x0 = static_cast<double>(static_cast<Extended>(points[k].mA) / 1000);
            }
            break;
        }

        const std::int64_t e = RoundToInt64((static_cast<Extended>(x) - x0) * slope);
        // nominal, the offset and a0 each lie within +-2^36 and e within +-4e18, so the
        // sum stays inside 64 bits; anything beyond +-127 is limited below.
        std::int64_t v = nominal + zeroOffset - e - a0;

        if (v > kCorrectionLimit || v < -kCorrectionLimit) {
            v = v > 0 ? kCorrectionLimit : -kCorrectionLimit;
            if (i < kCountedSteps)
                ++out.exceeded;
        }
        const int entry = static_cast<int>(v);
        out.entries[static_cast<std::size_t>(i)] = entry;
        out.text += std::to_string(entry);
        out.text += ' ';
        const auto b = static_cast<std::uint8_t>(entry >= 0 ? entry : 128 - entry);
        out.crc = Crc8Update(out.crc, b);
    }
    out.text += std::to_string(out.crc);
    return out;
}

} // namespace kv::calib
