#include "gui/history_menu.h"

#include <QAction>

#include "app/text_files.h"
#include "device/operations.h"
#include "gui/history_window.h"
#include "gui/shared_history_dialog.h"
#include "gui/window_placement.h"
#include "history/background_forwarder.h"
#include "history/calibration_record.h"
#include "history/recorder.h"
#include "history/shared_store.h"
#include "link/link.h"

namespace kv {

namespace hi = history;

namespace {

QString UnitItemText(const std::string &unit) {
    // A "&" of the unit's name is shown as it is, not taken for a mnemonic marker.
    return unit.empty() ? QStringLiteral("Unit...")
                        : QStringLiteral("Unit: ") + MenuText(unit) + QStringLiteral("...");
}

} // namespace

HistoryMenu::HistoryMenu(const HistoryWidgets &w, QWidget *window, const StartupSettings &s,
                         link::Link &link, AppContext &ctx, const IniFile &ini, WindowOutput &out)
    : w_(w), window_(window), link_(link), ctx_(ctx), ini_(ini), out_(out),
      reference_(s.ReferenceInstrument) {
    connect(w_.unit, &QAction::triggered, this, [this] { AskUnit(); });
    connect(w_.unitHistory, &QAction::triggered, this, [this] { ShowHistory(); });
    connect(w_.calibrationRecord, &QAction::triggered, this, [this] { SaveCalibrationRecord(); });
    connect(w_.sharedHistory, &QAction::triggered, this, [this] { ChooseSharedHistory(); });
    w_.unit->setText(UnitItemText({}));

    const std::string path =
        s.HistoryDb.empty() ? hi::DefaultHistoryPath(ctx_.paths.DataDir()) : s.HistoryDb;
    recorder_ = std::make_unique<hi::Recorder>(path, hi::DefaultContext());
    ctx_.record = [this](const hi::Entry &e) { Record(e); };
    ctx_.unit = [this] { return recorder_->unit(); };
    StartForwarder(s.SharedHistory);
}

HistoryMenu::~HistoryMenu() {
    ctx_.record = nullptr; // they record through this
    ctx_.unit = nullptr;
    forwarder_.reset(); // a pass under way ends before the recorder goes
}

void HistoryMenu::StartForwarder(const std::string &conninfo) {
    forwarder_.reset(); // a pass under way ends first
    shared_ = conninfo;
    if (shared_.empty())
        return;
    if (!hi::SharedAvailable()) {
        out_.AddLog(hi::kNoSharedInBuild);
        return;
    }
    // Each pass's end is handed to the main thread, where an open history window shows it.
    forwarder_ =
        std::make_unique<hi::BackgroundForwarder>(recorder_->store().Path(), shared_, [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (auto *w = window_->findChild<THistoryWindow *>())
                        w->ShowWaiting();
                },
                Qt::QueuedConnection);
        });
}

void HistoryMenu::PortOpened() {
    // One quiet exchange, made only at the first record for a named unit.
    recorder_->PortOpened(ReadPortSetting(ini_).port, [this] {
        return hi::InfoText(device::DeviceOps(link_, ctx_.prompter).Info({.log = false}));
    });
}

void HistoryMenu::PortClosed() {
    recorder_->PortClosed();
}

void HistoryMenu::Record(const std::optional<hi::Entry> &entry) {
    if (!entry)
        return;
    const hi::Recorder::Result r = recorder_->Add(*entry);
    if (!r.warning.empty())
        out_.AddLog(r.warning);
    if (!r.status)
        out_.AddLog(r.status.message);
    else if (forwarder_)
        forwarder_->Kick();
}

void HistoryMenu::SetUnit(const std::string &unit) {
    recorder_->SetUnit(unit);
    w_.unit->setText(UnitItemText(unit));
}

// A barcode scanner types the serial number into the field and ends it with Enter (some
// with a tab or CR, which the cleaning drops). An empty answer goes back to no unit.
void HistoryMenu::AskUnit() {
    const auto typed =
        ctx_.prompter.InputQuery("Unit", "Serial number of the unit", recorder_->unit());
    if (!typed)
        return;
    std::string error;
    const auto unit = hi::CleanUnit(*typed, &error);
    if (!unit) {
        ShowError(ctx_.prompter, "Not a serial number: " + error);
        return;
    }
    SetUnit(*unit);
}

void HistoryMenu::ShowHistory() {
    THistoryWindow w(ctx_, recorder_->store(), recorder_->unit(), shared_, forwarder_.get(),
                     window_);
    w.exec();
}

void HistoryMenu::SaveCalibrationRecord() {
    const std::string unit = recorder_->unit();
    if (unit.empty()) {
        ShowError(ctx_.prompter, "Set the unit first (Service > Unit...)");
        return;
    }
    const hi::CalibrationDocument doc =
        hi::CalibrationRecordFromStore(recorder_->store(), unit, reference_);
    if (!doc.ok) {
        ShowError(ctx_.prompter, doc.message);
        return;
    }
    FileDialog dlg{.kind = FileDialog::Kind::Save,
                   .title = "Calibration Record",
                   .filter = "HTML files (*.html)|*.html|All files (*.*)|*.*",
                   .defaultExt = ".html",
                   .initialDir = ctx_.paths.DataDir(),
                   .fileName = hi::CalibrationRecordFileName(unit),
                   .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (const FileResult r = WriteTextFile(doc.html, dlg.fileName, &ctx_.prompter); !r)
        ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}

void HistoryMenu::ChooseSharedHistory() {
    TSharedHistoryDialog d(shared_, window_);
    if (d.exec() != QDialog::Accepted)
        return;
    const std::string conninfo = d.Conninfo();
    if (const FileResult r = ini_.WriteString(kIniSection, "SharedHistory", conninfo); !r)
        ShowError(ctx_.prompter, "Cannot save the settings: " + r.error);
    StartForwarder(conninfo);
}

} // namespace kv
