// The calibration command: calc.
#include "app/errors.h"
#include "app/format.h"
#include "app/program_path.h"
#include "app/text_files.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "calib/sav_file.h"
#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/session.h"
#include "history/outcome_records.h"

namespace kv::ctl {

namespace cal = kv::calib;

int CmdCalc(Session &s) {
    const StdioFile input(s, s.args.args[0], StdioFile::Use::Read, ".sav");
    const std::string &sav = input.path();
    // The grid as the calibration window holds it after loading the file: GridLines rows
    // (or --rows), filled from the file's lines in cell order.
    const int rows = s.IntOption("--rows", s.settings.GridLines, 0, cal::kMaxGridLines);
    // The prompts' answers, their start texts when not given.
    const std::string multiplier = s.args.Value("--multiply", "85");
    const std::string offset = s.args.Value("--offset", "0");
    // Beside a file read from standard input is nowhere: its output goes to the working folder.
    StdioFile output(s,
                     s.args.Has("--output") ? s.args.Value("--output")
                                            : (input.standard() ? std::string() : FolderOf(sav)) +
                                                  corrtable::kIncludeInputName,
                     StdioFile::Use::Write, ".epr");
    const std::string &out = output.path();

    cal::CalGrid grid(rows);
    if (FileResult r = cal::LoadSavFile(sav, grid); !r) {
        ShowError(s.prompter, corrtable::FileReadErrorText(sav, r.error));
        return kExitFailed;
    }

    const std::int32_t m = cal::ParseMultiplier(multiplier);
    const std::int32_t z = cal::ParseZeroOffset(offset);
    const cal::PointList points = cal::CollectPoints(grid, cal::kFirstAdcColumn);
    const cal::CorrectionTable table = cal::CalcCorrection(points, m, z);
    // Limited entries are reported and the table is written all the same, as the window
    // does; the exit status stays 0 because the file holds what was asked for.
    s.Tell(cal::NoticesOf(table));
    if (table.status != cal::CorrectionTable::Status::Ok) {
        s.Record(history::CalculationEntry(table, points, m, z, out, {}));
        return kExitFailed;
    }

    if (!MayReplace(s, out)) {
        s.Record(history::CalculationEntry(table, points, m, z, out,
                                           "not saved: " + out + " was not replaced"));
        return kExitFailed;
    }
    const FileResult r = WriteTextFile(table.text, out, &s.prompter);
    s.Record(history::CalculationEntry(
        table, points, m, z, out, r ? std::string() : corrtable::FileWriteErrorText(out, r.error)));
    if (!r) {
        ShowError(s.prompter, corrtable::FileWriteErrorText(out, r.error));
        return kExitFailed;
    }
    s.Out(Format("%s written (check byte %d [0x%0.2x])", {out, table.crc, table.crc}));
    return output.Finish() ? kExitOk : kExitFailed;
}

int CmdInc(Session &s) {
    const StdioFile input(s, s.args.args[0], StdioFile::Use::Read, ".epr");
    const std::string &in = input.path();
    StdioFile output(s,
                     s.args.Has("--output") ? s.args.Value("--output")
                                            : (input.standard() ? std::string() : FolderOf(in)) +
                                                  corrtable::kIncludeOutputName,
                     StdioFile::Use::Write, ".inc");
    const std::string &out = output.path();
    std::optional<corrtable::CorrTableData> loaded;
    const corrtable::IncludeOutcome o = corrtable::GenerateIncludeFile(
        in, out, s.prompter, [&](const std::string &file, corrtable::CorrTableData &table) {
            auto r = corrtable::LoadTableFileReporting(file, table, s.prompter);
            loaded = table;
            return r;
        });
    s.Tell(corrtable::NoticesOf(o));
    // Declined: nothing was generated.
    if (o.result != corrtable::IncludeOutcome::Result::Declined)
        s.Record(history::IncludeEntry(o, loaded));
    // The window goes on after a load message ("Data too long!", a value that is not a
    // number) and writes what was loaded; so does this, but the exit status says that the
    // include file does not hold the whole table file.
    const bool whole = o.result == corrtable::IncludeOutcome::Result::Written && !o.loadMessage;
    if (o.result == corrtable::IncludeOutcome::Result::Written && !output.Finish())
        return kExitFailed;
    return whole ? kExitOk : kExitFailed;
}

} // namespace kv::ctl
