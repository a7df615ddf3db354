// TForm1's unit history: the recorder the windows' operations are recorded with, and the
// Service menu's "Unit...", "Unit History", "Calibration Record..." and "Shared History...",
// and the shared history's forwarder thread.
#include <QAction>
#include <QMenu>

#include "app/text_files.h"
#include "device/operations.h"
#include "gui/history_window.h"
#include "gui/main_window.h"
#include "gui/shared_history_dialog.h"
#include "gui/window_placement.h"
#include "history/background_forwarder.h"
#include "history/calibration_record.h"
#include "history/recorder.h"
#include "history/shared_store.h"
#include "link/link.h"

namespace hi = kv::history;

namespace {

QString UnitItemText(const std::string &unit) {
    // A "&" of the unit's name is shown as it is, not taken for a mnemonic marker.
    return unit.empty() ? QStringLiteral("Unit...")
                        : QStringLiteral("Unit: ") + kv::MenuText(unit) + QStringLiteral("...");
}

} // namespace

void TForm1::BuildHistoryItems() {
    auto item = [&](const char *name, const QString &caption, void (TForm1::*handler)()) {
        QAction *a = Service1->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    Unit1 = item("Unit1", UnitItemText({}), &TForm1::Unit1Click);
    UnitHistory1 = item("UnitHistory1", QStringLiteral("Unit History"), &TForm1::UnitHistory1Click);
    CalibrationRecord1 = item("CalibrationRecord1", QStringLiteral("Calibration Record..."),
                              &TForm1::CalibrationRecord1Click);
    SharedHistory1 =
        item("SharedHistory1", QStringLiteral("Shared History..."), &TForm1::SharedHistory1Click);
}

void TForm1::StartHistory(const kv::StartupSettings &s) {
    const std::string path =
        s.HistoryDb.empty() ? hi::DefaultHistoryPath(ctx_.paths.DataDir()) : s.HistoryDb;
    history_ = std::make_unique<hi::Recorder>(path, hi::DefaultContext());
    reference_ = s.ReferenceInstrument;
    ctx_.record = [this](const hi::Entry &e) { Record(e); };
    ctx_.unit = [this] { return history_->unit(); };
    StartForwarder(s.SharedHistory);
}

void TForm1::StartForwarder(const std::string &conninfo) {
    forwarder_.reset(); // a pass under way ends first
    shared_ = conninfo;
    if (shared_.empty() || !history_)
        return;
    if (!hi::SharedAvailable()) {
        AddLog(hi::kNoSharedInBuild);
        return;
    }
    // Each pass's end is handed to the main thread, where an open history window shows it.
    forwarder_ =
        std::make_unique<hi::BackgroundForwarder>(history_->store().Path(), shared_, [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (auto *w = findChild<THistoryWindow *>())
                        w->ShowWaiting();
                },
                Qt::QueuedConnection);
        });
}

void TForm1::HistoryPortOpened() {
    if (!history_)
        return;
    // One quiet exchange, made only at the first record for a named unit.
    history_->PortOpened(kv::ReadPortSetting(ini_).port, [this] {
        return hi::InfoText(kv::device::DeviceOps(*link_, ctx_.prompter).Info({.log = false}));
    });
}

void TForm1::HistoryPortClosed() {
    if (history_)
        history_->PortClosed();
}

void TForm1::Record(const std::optional<hi::Entry> &entry) {
    if (!entry || !history_)
        return;
    const hi::Recorder::Result r = history_->Add(*entry);
    if (!r.warning.empty())
        AddLog(r.warning);
    if (!r.status)
        AddLog(r.status.message);
    else if (forwarder_)
        forwarder_->Kick();
}

void TForm1::SetUnit(const std::string &unit) {
    history_->SetUnit(unit);
    Unit1->setText(UnitItemText(unit));
}

// A barcode scanner types the serial number into the field and ends it with Enter (some
// with a tab or CR, which the cleaning drops). An empty answer goes back to no unit.
void TForm1::Unit1Click() {
    const auto typed =
        ctx_.prompter.InputQuery("Unit", "Serial number of the unit", history_->unit());
    if (!typed)
        return;
    std::string error;
    const auto unit = hi::CleanUnit(*typed, &error);
    if (!unit) {
        kv::ShowError(ctx_.prompter, "Not a serial number: " + error);
        return;
    }
    SetUnit(*unit);
}

void TForm1::UnitHistory1Click() {
    THistoryWindow w(ctx_, history_->store(), history_->unit(), shared_, forwarder_.get(), this);
    w.exec();
}

void TForm1::CalibrationRecord1Click() {
    const std::string unit = history_->unit();
    if (unit.empty()) {
        kv::ShowError(ctx_.prompter, "Set the unit first (Service > Unit...)");
        return;
    }
    const hi::CalibrationDocument doc =
        hi::CalibrationRecordFromStore(history_->store(), unit, reference_);
    if (!doc.ok) {
        kv::ShowError(ctx_.prompter, doc.message);
        return;
    }
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Calibration Record",
                       .filter = "HTML files (*.html)|*.html|All files (*.*)|*.*",
                       .defaultExt = ".html",
                       .initialDir = ctx_.paths.DataDir(),
                       .fileName = hi::CalibrationRecordFileName(unit),
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (const kv::FileResult r = kv::WriteTextFile(doc.html, dlg.fileName, &ctx_.prompter); !r)
        kv::ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}

void TForm1::SharedHistory1Click() {
    TSharedHistoryDialog d(shared_, this);
    if (d.exec() != QDialog::Accepted)
        return;
    const std::string conninfo = d.Conninfo();
    if (const kv::FileResult r = ini_.WriteString(kv::kIniSection, "SharedHistory", conninfo); !r)
        kv::ShowError(ctx_.prompter, "Cannot save the settings: " + r.error);
    StartForwarder(conninfo);
}
