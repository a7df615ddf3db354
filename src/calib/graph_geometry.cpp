#include "calib/graph_geometry.h"

#include <algorithm>
#include <cassert>

#include "app/numbers.h"

namespace kv::calib {

namespace {
int ToPixel(Extended v) {
    const Extended r = RoundHalfEven(v);
    return static_cast<int>(std::clamp<Extended>(r, -kPixelLimit, kPixelLimit));
}

// The scale of a span over a divisor, formed in extended precision and kept as a double;
// 0 when the divisor is 0.
double Scale(int span, std::int32_t divisor) {
    if (divisor == 0)
        return 0;
    return static_cast<double>(static_cast<Extended>(span) / static_cast<Extended>(divisor));
}
} // namespace

Pixel GraphOrigin(int height) {
    return Pixel{kGraphMargin, height - kGraphMargin};
}

SeriesLayout LayoutSeries(const PointList &sortedPoints, int width, int height) {
    assert(!sortedPoints.empty());
    SeriesLayout out;
    const CalPoint &last = sortedPoints.back();
    out.sx = Scale(width - 2 * kGraphMargin, last.mA);
    out.sy = Scale(height - 2 * kGraphMargin, last.adc);
    out.origin = GraphOrigin(height);

    const Extended sx = out.sx;
    const Extended sy = out.sy;
    const Extended bottom = height - kGraphMargin;
    for (const CalPoint &p : sortedPoints)
        out.points.push_back(Pixel{ToPixel(static_cast<Extended>(p.mA) * sx + kGraphMargin),
                                   ToPixel(bottom - static_cast<Extended>(p.adc) * sy)});

    // A first point within half a pixel of the vertical axis starts the reference line
    // on that axis; otherwise it starts at the origin.
    const int px = ToPixel(static_cast<Extended>(sortedPoints.front().mA) * sx);
    const int py = ToPixel(static_cast<Extended>(sortedPoints.front().adc) * sy);
    out.referenceStart = px == 0 ? Pixel{kGraphMargin, ToPixel(bottom - py)} : out.origin;
    return out;
}

} // namespace kv::calib
