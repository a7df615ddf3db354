// The main window's unit history: the recorder the windows' operations are recorded with,
// the Service menu's "Unit...", "Unit History", "Calibration Record..." and
// "Shared History...", and the shared history's forwarder thread.
#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string>

#include "app/comm_state.h"
#include "gui/app_context.h"
#include "gui/window_output.h"

class QAction;
class QWidget;

namespace kv::history {
class BackgroundForwarder;
class Recorder;
struct Entry;
} // namespace kv::history

namespace kv {

struct HistoryWidgets {
    QAction *unit, *unitHistory, *calibrationRecord, *sharedHistory;
};

class HistoryMenu : public QObject {
public:
    // Opens the history file the settings name (korvane.db in the data folder by default)
    // and starts forwarding to the shared history when one is set. The windows' table
    // writes record through it (ctx.record, ctx.unit) from then on.
    HistoryMenu(const HistoryWidgets &w, QWidget *window, const StartupSettings &s,
                link::Link &link, AppContext &ctx, const IniFile &ini, WindowOutput &out);
    ~HistoryMenu() override;

    history::Recorder &recorder() { return *recorder_; }
    void Record(const std::optional<history::Entry> &entry);
    // The unit the records are made for ("" for none), as "Unit..." sets it.
    void SetUnit(const std::string &unit);
    // The port was opened or closed: the history's context follows it.
    void PortOpened();
    void PortClosed();

private:
    void AskUnit();
    void ShowHistory();
    void SaveCalibrationRecord();
    void ChooseSharedHistory();
    // The forwarder thread, (re)started for the setting; none without one.
    void StartForwarder(const std::string &conninfo);

    HistoryWidgets w_;
    QWidget *window_;
    link::Link &link_;
    AppContext &ctx_;
    const IniFile &ini_;
    WindowOutput &out_;
    std::unique_ptr<history::Recorder> recorder_;
    std::string reference_; // "ReferenceInstrument"
    std::string shared_;    // "SharedHistory"
    std::unique_ptr<history::BackgroundForwarder> forwarder_;
};

} // namespace kv
