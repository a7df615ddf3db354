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

FileResult LoadSavFile(const std::string &fileName, CalGrid &grid) {
    const std::size_t cells =
        static_cast<std::size_t>(grid.DataRows()) * (kLastAdcColumn - kCurrentColumn + 1);
    std::string content;
    bool whole = true;
    if (FileResult r = ReadTextFile(fileName, cells * kSavLineLimit, content, &whole); !r)
        return r;
    std::vector<std::string> lines = SplitLines(content);
    if (!whole) {
        // Cut at the limit: the last line read may be a part of one; the lines before it
        // must fill the grid.
        const bool lastComplete = content.back() == '\r' || content.back() == '\n';
        if (lines.size() - (lastComplete ? 0 : 1) < cells)
            return FileResult{false, "File too large (its first " + std::to_string(cells) +
                                         " lines take more than " +
                                         std::to_string(cells * kSavLineLimit) + " bytes)"};
    }
    ApplySavLines(grid, lines);
    return FileResult{true, {}};
}

} // namespace kv::calib
