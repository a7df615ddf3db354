// The calibration file (.sav): one line per data cell of columns 2..4, row by row, each
// ending with CR LF, nothing else.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/text_files.h"
#include "calib/cal_grid.h"

namespace kv::calib {

// The whole file text for the grid (empty for a grid without data rows).
std::string SavText(const CalGrid &grid);

// Splits file content into lines as a text-file reader does: a line ends at CR LF, LF or
// a lone CR; a last line without a line end still counts, an empty tail does not.
std::vector<std::string> SplitLines(std::string_view content);

// Fills the cells in file order from the lines; with fewer lines the remaining cells keep
// their text, lines beyond the last cell are ignored. Returns the number of cells filled.
int ApplySavLines(CalGrid &grid, const std::vector<std::string> &lines);

// A calibration file is read for one line per cell (3 x GridLines lines), and those lines
// may take this many bytes each on the average: a cell holds a few characters.
inline constexpr std::size_t kSavLineLimit = 1024;

// Reads a calibration file into the grid's cells (ApplySavLines). A file that cannot be
// read (missing, a directory, a device or FIFO, its lines for the grid beyond the size
// limit) changes no cell and gives the reason.
FileResult LoadSavFile(const std::string &fileName, CalGrid &grid);

} // namespace kv::calib
