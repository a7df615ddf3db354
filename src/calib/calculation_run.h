// "Calc Correction Table" from its prompts to the table's write: the multiplier and zero
// offset asked for, the table calculated from the grid's points, saved as a table file
// (the save dialog borrowed from the calibration window and given back as it was), then
// handed on to be edited and written. The window supplies what needs its widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/prompter.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"

namespace kv::calib {

inline constexpr const char *kTableFileNotSaved = "the table file was not saved";

struct [[nodiscard]] CalculationRun {
    bool answered = false; // both prompts answered: a calculation was made
    PointList points;
    std::int32_t multiplier = 0;
    std::int32_t zeroOffset = 0;
    CorrectionTable table;
    std::string file;      // the table file written, "" when none was
    std::string saveError; // why not: the write's error, or kTableFileNotSaved
};

struct CalculationSteps {
    std::function<void()> gridChanged = {}; // the points were put in order in the grid
    FileDialog *saveDialog = nullptr;       // the window's save dialog, lent for the table file
    // Once the table file is saved or not (before anything goes to the device): the record.
    std::function<void(const CalculationRun &)> calculated = {};
    // The saved file loaded into the editor, and written when the user presses Write.
    std::function<void(const std::string &file)> editAndWrite = {};
};

CalculationRun RunCalculation(Prompter &prompter, CalGrid &grid, const CalculationSteps &steps);

} // namespace kv::calib
