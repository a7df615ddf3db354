#include "calib/calculation_run.h"

#include "app/notice.h"
#include "app/scope.h"
#include "app/text_files.h"
#include "corrtable/table_file.h"

namespace kv::calib {

CalculationRun RunCalculation(Prompter &prompter, CalGrid &grid, const CalculationSteps &steps) {
    CalculationRun run;
    const auto multiplierText = prompter.InputQuery("I to ADC multiply", "Enter value", "85");
    if (!multiplierText)
        return run;
    run.multiplier = ParseMultiplier(*multiplierText);
    const auto offsetText = prompter.InputQuery("Zero offset ADC", "Enter value (div)", "0");
    if (!offsetText)
        return run;
    run.zeroOffset = ParseZeroOffset(*offsetText);
    run.answered = true;

    run.points = CollectPoints(grid, kFirstAdcColumn);
    run.table = CalcCorrection(run.points, run.multiplier, run.zeroOffset);
    if (steps.gridChanged)
        steps.gridChanged();
    ShowNotices(NoticesOf(run.table), prompter, {});
    const auto calculated = [&] {
        if (steps.calculated)
            steps.calculated(run);
    };
    if (run.table.status != CorrectionTable::Status::Ok || !steps.saveDialog) {
        calculated();
        return run;
    }

    // The save dialog is borrowed for the table file and given back as it was, so that
    // Save keeps proposing the calibration file and its filter.
    FileDialog &dialog = *steps.saveDialog;
    {
        const ScopeExit giveBack([&dialog, name = dialog.fileName, filter = dialog.filterIndex] {
            dialog.fileName = name;
            dialog.filterIndex = filter;
        });
        dialog.filterIndex = 2;
        dialog.fileName = "corrtbl.epr";
        if (!prompter.RunFileDialog(dialog)) {
            run.saveError = kTableFileNotSaved;
            calculated();
            return run;
        }
        run.file = dialog.fileName;
    }

    // A table file that could not be written is reported; nothing is loaded from it, since
    // whatever an old file of that name holds is not this calculation.
    const FileResult written = WriteTextFile(run.table.text, run.file, &prompter);
    if (!written) {
        run.saveError = corrtable::FileWriteErrorText(run.file, written.error);
        const std::string shown = run.saveError;
        run.file.clear();
        calculated();
        ShowError(prompter, shown);
        return run;
    }
    calculated();
    if (steps.editAndWrite)
        steps.editAndWrite(run.file);
    return run;
}

} // namespace kv::calib
