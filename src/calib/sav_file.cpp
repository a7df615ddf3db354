#include "calib/sav_file.h"

namespace kv::calib {

std::string SavText(const CalGrid &grid) {
    std::string text;
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = kCurrentColumn; c <= kLastAdcColumn; ++c) {
            text += grid.Cell(c, r);
            text += "\r\n";
        }
    return text;
}

std::vector<std::string> SplitLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] != '\r' && content[i] != '\n')
            continue;
        lines.emplace_back(content.substr(start, i - start));
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < content.size())
        lines.emplace_back(content.substr(start));
    return lines;
}

int ApplySavLines(CalGrid &grid, const std::vector<std::string> &lines) {
    std::size_t next = 0;
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = kCurrentColumn; c <= kLastAdcColumn; ++c) {
            if (next >= lines.size())
                return static_cast<int>(next);
            grid.SetCell(c, r, lines[next++]);
        }
    return static_cast<int>(next);
}

} // namespace kv::calib
