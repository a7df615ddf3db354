// TForm1 handlers of the correction table: transfer and include-file generator.
#include "gui/main_window.h"

#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "gui/editor_window.h"
#include "history/outcome_records.h"

void TForm1::Correctiontable1Click() {
    TForm4 *editor = ctx_.form4;
    if (!editor)
        return;
    editor->ShowTable();
    if (editor->exec() != 1)
        return;
    std::optional<kv::corrtable::TableTransfer> written;
    Show(kv::corrtable::WriteTableFromWindow(
        link(), ctx_.prompter, ctx_.CorrTable,
        ctx_.VerifyWrites ? std::optional(kv::corrtable::WindowBackupPath(ctx_.paths))
                          : std::nullopt,
        [this](const kv::Notices &n) { Show(n); }, &written));
    // The editor's table: no file of its own.
    if (written)
        Record(kv::history::TableWriteEntry(*written, ctx_.CorrTable, {}));
}

void TForm1::ReadCorrectionTable1Click() {
    // A failed read is not reported on its own: the editor shows what arrived.
    const kv::corrtable::TableTransfer read =
        kv::corrtable::ReadCorrectionTable(link(), ctx_.CorrTable);
    Record(kv::history::TableReadEntry(read, ctx_.CorrTable, {}, false));
    Correctiontable1Click();
}

void TForm1::GenerateCORRTABLEINCFile1Click() {
    std::optional<kv::corrtable::CorrTableData> loaded;
    const kv::corrtable::IncludeOutcome o = kv::corrtable::GenerateIncludeFile(
        ctx_.paths.dir, ctx_.prompter,
        [&](const std::string &fileName, kv::corrtable::CorrTableData &buffer) {
            auto r = ctx_.form4
                         ? ctx_.form4->LoadTableFile(fileName, buffer)
                         : kv::corrtable::LoadTableFileReporting(fileName, buffer, ctx_.prompter);
            loaded = buffer;
            return r;
        });
    Show(NoticesOf(o));
    if (o.result != kv::corrtable::IncludeOutcome::Result::Declined)
        Record(kv::history::IncludeEntry(o, loaded));
}
