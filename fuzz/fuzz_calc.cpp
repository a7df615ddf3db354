// CollectPoints and the correction calculation on arbitrary grid texts and prompt answers:
// a bad text gives its conversion message and nothing else, and every table computed is
// in range, carries the check byte of its entries, and its text loads through the table
// file reader as the same table.
#include <algorithm>
#include <cstdint>
#include <string>

#include "app/errors.h"
#include "calib/correction_calc.h"
#include "calib/sav_file.h"
#include "corrtable/table_file.h"
#include "fuzz_check.h"

using namespace kv::calib;
namespace ct = kv::corrtable;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // multiplier NUL zero offset NUL the cells (current, ADC, ADC per row, one per line)
    const auto p = fuzz::Split<3>(std::string_view(reinterpret_cast<const char *>(data), size));
    std::int32_t multiplier = 85;
    std::int32_t zeroOffset = 3;
    try {
        multiplier = ParseMultiplier(p.part[0]);
        FUZZ_CHECK(multiplier >= 1);
    } catch (const kv::Error &e) {
        FUZZ_CHECK(std::string_view(e.what()).ends_with("' is not a valid integer value"));
    }
    try {
        zeroOffset = ParseZeroOffset(p.part[1]);
        FUZZ_CHECK(zeroOffset >= 0);
    } catch (const kv::Error &e) {
        FUZZ_CHECK(std::string_view(e.what()).ends_with("' is not a valid integer value"));
    }

    // A message is a C string to the user: a NUL in a cell would cut it short, so the cells
    // here hold none (the checks below read the message's end).
    std::string cells(p.part[2]);
    std::replace(cells.begin(), cells.end(), '\0', '\1');
    CalGrid grid(40);
    ApplySavLines(grid, SplitLines(cells));
    for (int col = kFirstAdcColumn; col <= kLastAdcColumn; ++col) {
        PointList points;
        try {
            points = CollectPoints(grid, col);
        } catch (const kv::Error &e) {
            const std::string_view m = e.what();
            FUZZ_CHECK(m.ends_with("' is not a valid integer value") ||
                       m.ends_with("' is not a valid floating point value"));
            continue;
        }
        FUZZ_CHECK(points.size() <= static_cast<std::size_t>(grid.DataRows()));

        const CorrectionTable t = CalcCorrection(points, multiplier, zeroOffset);
        if (t.status != CorrectionTable::Status::Ok) {
            FUZZ_CHECK(t.text.empty());
            continue;
        }
        ct::CorrTableData table{};
        for (int n = 0; n < ct::kCorrections; ++n) {
            const int v = t.entries[static_cast<std::size_t>(n)];
            FUZZ_CHECK(v >= -kCorrectionLimit && v <= kCorrectionLimit);
            table[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(v);
        }
        FUZZ_CHECK(t.exceeded >= 0 && t.exceeded <= kCountedSteps);
        FUZZ_CHECK(ct::TableCrc(table) == t.crc);

        ct::CorrTableData loaded;
        FUZZ_CHECK(!ct::ParseTableText(t.text, loaded));
        table[ct::kCheckIndex] = static_cast<std::int8_t>(t.crc);
        FUZZ_CHECK(loaded == table);
    }
    return 0;
}
