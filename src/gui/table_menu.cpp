#include "gui/table_menu.h"

#include <QAction>

#include <chrono>
#include <optional>

#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "gui/editor_window.h"
#include "gui/window_table_write.h"
#include "history/outcome_records.h"
#include "history/recorder.h"

namespace kv {

namespace ct = corrtable;

TableMenu::TableMenu(const TableWidgets &w, link::Link &link, Prompter &prompter, AppContext &ctx,
                     const IniFile &ini, WindowOutput &out, const history::Recorder &history)
    : w_(w), link_(link), prompter_(prompter), ctx_(ctx), ini_(ini), out_(out), history_(history) {
    connect(w_.write, &QAction::triggered, this, [this] { WriteTable(); });
    connect(w_.read, &QAction::triggered, this, [this] { ReadTable(); });
    connect(w_.includeFile, &QAction::triggered, this, [this] { GenerateIncludeFile(); });
    connect(w_.verifyTable, &QAction::triggered, this, [this] { VerifyTable(); });
    connect(w_.backUpTable, &QAction::triggered, this, [this] { BackUpTable(); });
    connect(w_.verifyWrites, &QAction::triggered, this, [this] { VerifyWrites(); });
    ctx_.VerifyWrites = ini_.ReadBool(kIniSection, ct::kVerifyWritesKey, false);
    w_.verifyWrites->setChecked(ctx_.VerifyWrites);
}

void TableMenu::WriteTable() {
    if (!editor_)
        return;
    editor_->ShowTable();
    if (editor_->exec() != 1)
        return;
    // The editor's table: no file of its own.
    WriteTableFromWindows(ctx_, {}, [this](const Notices &n) { out_.Show(n); });
}

void TableMenu::ReadTable() {
    // A failed read is not reported on its own: the editor shows what arrived.
    const ct::TableTransfer read = ct::ReadCorrectionTable(link_, ctx_.CorrTable);
    out_.Record(history::TableReadEntry(read, ctx_.CorrTable, {}, false));
    WriteTable();
}

void TableMenu::GenerateIncludeFile() {
    std::optional<ct::CorrTableData> loaded;
    const ct::IncludeOutcome o = ct::GenerateIncludeFile(
        ctx_.paths.dir, prompter_, [&](const std::string &fileName, ct::CorrTableData &buffer) {
            auto r = editor_ ? editor_->LoadTableFile(fileName, buffer)
                             : ct::LoadTableFileReporting(fileName, buffer, prompter_);
            loaded = buffer;
            return r;
        });
    out_.Show(NoticesOf(o));
    if (o.result != ct::IncludeOutcome::Result::Declined)
        out_.Record(history::IncludeEntry(o, loaded));
}

void TableMenu::VerifyTable() {
    const ct::TableCheck check = ct::CheckDeviceTable(link_, ctx_.CorrTable);
    out_.Show(ct::NoticesOf(check));
    out_.Record(history::TableVerifyEntry(check, ctx_.CorrTable, {})); // the editor's table
}

void TableMenu::BackUpTable() {
    ct::CorrTableData table{};
    const ct::TableTransfer read = ct::ReadCorrectionTable(link_, table, true);
    if (!read.complete()) {
        // The same box as a verification that could not read the table.
        ct::TableCheck failed;
        failed.read = read;
        out_.Show(ct::NoticesOf(failed));
        return;
    }
    FileDialog dlg{.kind = FileDialog::Kind::Save,
                   .title = "Back Up Device Table",
                   .filter = "Table files (*.epr)|*.epr|*.*|*.*",
                   .defaultExt = ".epr",
                   .initialDir = ct::DefaultBackupDir(ctx_.paths.DataDir()),
                   .fileName = ct::BackupFileName(history_.unit(), ReadPortSetting(ini_).port,
                                                  std::chrono::system_clock::now()),
                   .overwritePrompt = true};
    if (!prompter_.RunFileDialog(dlg))
        return;
    const FileResult r = ct::WriteTableFile(dlg.fileName, table, &prompter_);
    const std::string error = r ? std::string() : ct::FileWriteErrorText(dlg.fileName, r.error);
    if (!r)
        ShowError(prompter_, error);
    out_.Record(history::TableBackupEntry(table, dlg.fileName, error));
}

void TableMenu::VerifyWrites() {
    ctx_.VerifyWrites = w_.verifyWrites->isChecked();
    // A settings file that cannot be written keeps the choice for this run.
    (void)ini_.WriteBool(kIniSection, ct::kVerifyWritesKey, ctx_.VerifyWrites);
}

} // namespace kv
