#include "calib/cal_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "app/errors.h"
#include "app/format.h"
#include "app/numbers.h"

namespace kv::calib {

int GridDataRows(int gridLines) {
    return std::clamp(gridLines, 0, kMaxGridLines);
}

CalGrid::CalGrid(int gridLines) : rows_(static_cast<std::size_t>(GridDataRows(gridLines)) + 1) {
    rows_[0][1] = " ADC";
    rows_[0][2] = "  I";
    rows_[0][3] = " ADC";
    for (int r = 1; r < RowCount(); ++r)
        rows_[static_cast<std::size_t>(r)][0] = Format("%2d", {r});
}

const std::string &CalGrid::Cell(int col, int row) const {
    if (col < 0 || col >= kGridColumns || row < 0 || row >= RowCount())
        throw std::out_of_range("calibration grid cell out of range");
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void CalGrid::SetCell(int col, int row, std::string text) {
    if (col < 0 || col >= kGridColumns || row < 0 || row >= RowCount())
        throw std::out_of_range("calibration grid cell out of range");
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = std::move(text);
}

void CalGrid::ClearData() {
    for (std::size_t r = 1; r < rows_.size(); ++r)
        for (int c = 1; c < kGridColumns; ++c)
            rows_[r][static_cast<std::size_t>(c)].clear();
}

std::int32_t CurrentTextToMilliamps(std::string_view text) {
    const std::string t = Trim(text);
    auto fail = [&]() -> std::int32_t { throw Error(FloatErrorText(text)); };

    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    std::string digits;
    long long scale = 3; // power of ten applied to the digit string: x 1000 for mA
    bool any = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        digits += t[i++];
        any = true;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            digits += t[i++];
            --scale;
            any = true;
        }
    }
    if (!any)
        return fail();
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            expNegative = t[i++] == '-';
        if (i >= t.size())
            return fail();
        long long e = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            e = std::min<long long>(e * 10 + (t[i++] - '0'), 1'000'000);
        }
        scale += expNegative ? -e : e;
    }
    if (i != t.size())
        return fail();

    // Drop leading zeros, then shift by the scale, cutting the fraction off.
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0;
    digits.erase(0, first);
    if (scale < 0) {
        if (-scale >= static_cast<long long>(digits.size()))
            return 0;
        digits.resize(digits.size() - static_cast<std::size_t>(-scale));
    } else {
        if (static_cast<long long>(digits.size()) + scale > 10)
            return fail();
        digits.append(static_cast<std::size_t>(scale), '0');
    }
    if (digits.size() > 10)
        return fail();
    long long v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    if (negative)
        v = -v;
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return fail();
    return static_cast<std::int32_t>(v);
}

namespace {
// The current text as CollectPoints reads it: trimmed, and every blank inside removed
// (a masked editor leaves blanks in place of digits that were left out).
std::string CurrentText(const std::string &cell) {
    std::string s = Trim(cell);
    std::erase(s, ' ');
    return s;
}

// "0.0": one decimal, an exact half rounded away from zero (1.00 A gives 85.25, shown as
// 85.3, as anyone rounding by hand would show it).
std::string NominalText(Extended v) {
    const Extended tenths = std::roundl(v * 10);
    if (!std::isfinite(tenths) || std::fabs(tenths) >= 1e18L)
        return FormatFixed(static_cast<double>(v), 1);
    const long long t = static_cast<long long>(tenths);
    const unsigned long long a = t < 0 ? 0ULL - static_cast<unsigned long long>(t) : t;
    return (t < 0 ? "-" : "") + std::to_string(a / 10) + "." + std::to_string(a % 10);
}
} // namespace

PointList CollectPoints(CalGrid &grid, int col) {
    PointList points;
    for (int r = 1; r < grid.RowCount(); ++r) {
        const std::string s = CurrentText(grid.Cell(kCurrentColumn, r));
        const bool hasCurrent = !s.empty() && s != ".";
        if (hasCurrent) {
            const Extended amps = [&] {
                if (auto v = TryStrToExtended(s))
                    return *v;
                throw Error(FloatErrorText(s));
            }();
            grid.SetCell(kNominalColumn, r, NominalText(amps * 1023 / 12));
        } else {
            grid.SetCell(kNominalColumn, r, {});
        }
        const std::string t = Trim(grid.Cell(col, r));
        if (hasCurrent && !t.empty()) {
            const std::int32_t mA = CurrentTextToMilliamps(s);
            points.push_back(CalPoint{mA, StrToInt(t)});
        }
    }
    return points;
}

void SortPointsByCurrent(PointList &points) {
    const std::size_t n = points.size();
    for (std::size_t pass = 1; pass < n; ++pass)
        for (std::size_t j = 0; j + 1 < n; ++j)
            if (points[j + 1].mA < points[j].mA)
                std::swap(points[j], points[j + 1]);
}

} // namespace kv::calib
