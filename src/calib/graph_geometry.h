// Where the graph's curves land: points to pixel positions in an image of W x H pixels
// with a 20-pixel margin, each curve scaled so that its point of largest current sits in
// the top right corner of the plot area.
#pragma once

#include <vector>

#include "calib/cal_grid.h"

namespace kv::calib {

inline constexpr int kGraphMargin = 20;

struct Pixel {
    int x = 0;
    int y = 0;
    bool operator==(const Pixel &) const = default;
};

struct SeriesLayout {
    double sx = 0; // pixels per milliampere
    double sy = 0; // pixels per ADC step
    Pixel origin;
    Pixel referenceStart;      // start of the dotted reference line
    std::vector<Pixel> points; // in sorted order; the reference line ends at the last
};

// The origin of the axes, (20, H - 20).
Pixel GraphOrigin(int height);

// The layout of one curve; points must be sorted by current and not empty. Positions
// are formed in extended precision and rounded half to even; a position far outside any
// bitmap is limited to +-kPixelLimit so that it stays drawable.
inline constexpr int kPixelLimit = 1 << 20;
SeriesLayout LayoutSeries(const PointList &sortedPoints, int width, int height);

} // namespace kv::calib
