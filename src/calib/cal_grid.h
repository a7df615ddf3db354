// The calibration grid as plain data (rows of cell texts), the calibration points taken
// from it, and the series colours shared by the grid headings and the graph.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::calib {

inline constexpr int kGridColumns = 5;
inline constexpr int kCurrentColumn = 2; // amperes, "9.99"
inline constexpr int kNominalColumn = 1; // current x 1023 / 12, written by CollectPoints
inline constexpr int kFirstAdcColumn = 3;
inline constexpr int kLastAdcColumn = 4;
// A GridLines setting above this is limited to it: a grid of millions of rows would
// exhaust memory and is of no use to anyone.
inline constexpr int kMaxGridLines = 1000;

// The number of data rows for a GridLines setting: below 1 leaves the heading row only.
int GridDataRows(int gridLines);

// Row 0 is the heading row, column 0 the row numbers " 1".." 9", "10"...
class CalGrid {
public:
    explicit CalGrid(int gridLines);

    int DataRows() const { return static_cast<int>(rows_.size()) - 1; }
    int RowCount() const { return static_cast<int>(rows_.size()); }

    const std::string &Cell(int col, int row) const;
    void SetCell(int col, int row, std::string text);

    // Empties columns 1..4 of every data row; headings and row numbers stay.
    void ClearData();

private:
    std::vector<std::array<std::string, kGridColumns>> rows_;
};

// One calibration point: the current in whole milliamperes and the ADC reading.
struct CalPoint {
    std::int32_t mA = 0;
    std::int32_t adc = 0;
    bool operator==(const CalPoint &) const = default;
};
using PointList = std::vector<CalPoint>;

// The exact value of a decimal current text (already accepted by the float syntax) in
// milliamperes, the fraction of a milliampere cut off toward zero: "8.03" gives 8030,
// "1.2345" gives 1234, "-0.0015" gives -1. Worked on the digits, never through a binary
// double. A current beyond the 32-bit milliampere range throws the float conversion
// error of the text, as no such current can be meant.
std::int32_t CurrentTextToMilliamps(std::string_view text);

// The points of one ADC column, in row order; refreshes the nominal column of every data
// row on the way. Throws kv::Error with the conversion message of a bad current or ADC
// text; rows before it keep their refreshed nominal text.
PointList CollectPoints(CalGrid &grid, int col);

// The exchange sort: ascending by mA, points of equal mA keep their order.
void SortPointsByCurrent(PointList &points);

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb &) const = default;
};
// Indexed by grid column (0 is unused): headings of columns 2..4, curves of columns 3..7.
inline constexpr int kLastSeriesColumn = 7;
inline constexpr std::array<Rgb, 8> SeriesColors = {{
    {0, 0, 0},     // 0 (unused)
    {0, 0, 0},     // 1 black
    {255, 0, 0},   // 2 red
    {255, 0, 255}, // 3 fuchsia
    {0, 128, 128}, // 4 teal
    {0, 0, 255},   // 5 blue
    {255, 255, 0}, // 6 yellow
    {0, 255, 0},   // 7 lime
}};

} // namespace kv::calib
