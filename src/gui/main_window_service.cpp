// TForm1's table safety items in the Service menu: compare the device's table with the
// editor's, save the device's table to a file, and the switch that makes every table write
// of the windows keep a backup and read the table back.
#include <QAction>
#include <QMenu>

#include "app/comm_state.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "gui/main_window.h"
#include "history/outcome_records.h"
#include "history/recorder.h"

namespace ct = kv::corrtable;

void TForm1::BuildTableServiceItems() {
    Service1->addSeparator();
    const struct {
        QAction *&action;
        const char *name;
        const char *caption;
        void (TForm1::*handler)();
    } items[] = {
        {VerifyCorrectionTable1, "VerifyCorrectionTable1", "Verify Correction Table",
         &TForm1::VerifyCorrectionTable1Click},
        {BackUpDeviceTable1, "BackUpDeviceTable1", "Back Up Device Table...",
         &TForm1::BackUpDeviceTable1Click},
        {VerifyTableWrites1, "VerifyTableWrites1", "Verify Table Writes",
         &TForm1::VerifyTableWrites1Click},
    };
    for (const auto &i : items) {
        i.action = Service1->addAction(QString::fromLatin1(i.caption));
        i.action->setObjectName(QString::fromLatin1(i.name));
        connect(i.action, &QAction::triggered, this, i.handler);
    }
    ctx_.VerifyWrites = ini_.ReadBool(kv::kIniSection, ct::kVerifyWritesKey, false);
    VerifyTableWrites1->setCheckable(true); // toggles its own check mark before the handler
    VerifyTableWrites1->setChecked(ctx_.VerifyWrites);
}

void TForm1::VerifyCorrectionTable1Click() {
    const ct::TableCheck check = ct::CheckDeviceTable(link(), ctx_.CorrTable);
    Show(ct::NoticesOf(check));
    Record(kv::history::TableVerifyEntry(check, ctx_.CorrTable, {})); // the editor's table
}

void TForm1::BackUpDeviceTable1Click() {
    ct::CorrTableData table{};
    const ct::TableTransfer read = ct::ReadCorrectionTable(link(), table, true);
    if (!read.complete()) {
        // The same box as a verification that could not read the table.
        ct::TableCheck failed;
        failed.read = read;
        Show(ct::NoticesOf(failed));
        return;
    }
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Back Up Device Table",
                       .filter = "Table files (*.epr)|*.epr|*.*|*.*",
                       .defaultExt = ".epr",
                       .initialDir = ct::DefaultBackupDir(ctx_.paths.DataDir()),
                       .fileName =
                           ct::BackupFileName(history().unit(), kv::ReadPortSetting(ini_).port,
                                              std::chrono::system_clock::now()),
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    const kv::FileResult r = ct::WriteTableFile(dlg.fileName, table, &ctx_.prompter);
    const std::string error = r ? std::string() : ct::FileWriteErrorText(dlg.fileName, r.error);
    if (!r)
        kv::ShowError(ctx_.prompter, error);
    Record(kv::history::TableBackupEntry(table, dlg.fileName, error));
}

void TForm1::VerifyTableWrites1Click() {
    ctx_.VerifyWrites = VerifyTableWrites1->isChecked();
    // A settings file that cannot be written keeps the choice for this run.
    (void)ini_.WriteBool(kv::kIniSection, ct::kVerifyWritesKey, ctx_.VerifyWrites);
}
