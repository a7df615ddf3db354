// TForm1 handlers of the correction table: transfer and include-file generator.
#include "app/main_window.h"

#include "corrtable/editor_window.h"
#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"

void TForm1::Correctiontable1Click() {
    TForm4 *editor = ctx_.form4;
    if (!editor)
        return;
    editor->ShowTable();
    if (editor->exec() == 1)
        Show(kv::corrtable::WriteTableFromWindow(
            link(), ctx_.prompter, ctx_.CorrTable,
            ctx_.VerifyWrites ? std::optional(kv::corrtable::WindowBackupPath(ctx_)) : std::nullopt,
            [this](const kv::Notices &n) { Show(n); }));
}

void TForm1::ReadCorrectionTable1Click() {
    // A failed read is not reported on its own: the editor shows what arrived.
    kv::corrtable::ReadCorrectionTable(link(), ctx_.CorrTable);
    Correctiontable1Click();
}

void TForm1::GenerateCORRTABLEINCFile1Click() {
    Show(NoticesOf(kv::corrtable::GenerateIncludeFile(
        ctx_.paths.dir, ctx_.prompter,
        [this](const std::string &fileName, kv::corrtable::CorrTableData &buffer) {
            return ctx_.form4
                       ? ctx_.form4->LoadTableFile(fileName, buffer)
                       : kv::corrtable::LoadTableFileReporting(fileName, buffer, ctx_.prompter);
        })));
}
