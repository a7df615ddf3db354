// The calibration file loader on arbitrary content and any GridLines setting: the lines go
// into the grid's cells in file order, never beyond the grid, and a grid saved and loaded
// again holds the same cells.
#include <cstdint>
#include <string>

#include "calib/sav_file.h"
#include "fuzz_check.h"

using namespace kv::calib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    // GridLines from the settings file may be anything, negative or huge; mostly small
    // grids, which keep the runs fast.
    static constexpr int kLarge[] = {kMaxGridLines, kMaxGridLines + 1, INT32_MAX, INT32_MIN, 5000};
    const int gridLines = data[0] <= 250 ? data[0] - 100 : kLarge[data[0] - 251];
    const std::string_view content(reinterpret_cast<const char *>(data + 1), size - 1);

    const auto lines = SplitLines(content);
    std::size_t total = 0;
    for (const auto &l : lines) {
        FUZZ_CHECK(l.find_first_of("\r\n") == std::string::npos);
        total += l.size();
    }
    FUZZ_CHECK(total <= content.size());

    CalGrid grid(gridLines);
    FUZZ_CHECK(grid.DataRows() >= 0 && grid.DataRows() <= kMaxGridLines);
    const int filled = ApplySavLines(grid, lines);
    const int cells = grid.DataRows() * (kLastAdcColumn - kCurrentColumn + 1);
    FUZZ_CHECK(filled == std::min<int>(cells, static_cast<int>(lines.size())));

    // Saved and loaded again into a fresh grid of the same size: the same cells.
    const std::string saved = SavText(grid);
    CalGrid again(gridLines);
    FUZZ_CHECK(ApplySavLines(again, SplitLines(saved)) == cells);
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = kCurrentColumn; c <= kLastAdcColumn; ++c)
            FUZZ_CHECK(again.Cell(c, r) == grid.Cell(c, r));
    return 0;
}
