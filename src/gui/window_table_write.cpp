#include "gui/window_table_write.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

#include "app/comm_state.h"
#include "app/settings_file.h"
#include "corrtable/backup_files.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "history/outcome_records.h"
#include "link/link.h"

namespace ct = kv::corrtable;

std::string WindowBackupPath(const kv::AppContext &ctx) {
    const kv::PortSetting port = kv::ReadPortSetting(kv::IniFile(ctx.paths.IniFileName()));
    return ct::BackupPath(ct::DefaultBackupDir(ctx.paths.DataDir()),
                          ct::BackupFileName(ctx.unit ? ctx.unit() : std::string(), port.port,
                                             std::chrono::system_clock::now()));
}

namespace {

// While a write runs, the link lets the windows' events in between its exchanges: a close of
// the main window or of the calibration window (the windows whose Write runs it; the editor
// is a modal dialog closed by then) would tear the write down half-way. Such a close is held
// back and asks the write to stop; once the write is over and its messages shown, the window
// is closed again, through its own close handling (the question about unsaved calibration
// data included). Other windows close as always.
class WindowWriteGuard : public QObject {
public:
    WindowWriteGuard() { qApp->installEventFilter(this); }
    ~WindowWriteGuard() override {
        qApp->removeEventFilter(this);
        // After the caller's handler has returned to the event loop.
        for (const QPointer<QWidget> &w : held_)
            if (w)
                QTimer::singleShot(0, w.data(), [w] {
                    if (w)
                        w->close();
                });
    }
    WindowWriteGuard(const WindowWriteGuard &) = delete;
    WindowWriteGuard &operator=(const WindowWriteGuard &) = delete;

    bool CloseAsked() const { return !held_.empty(); }

protected:
    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() != QEvent::Close || !object->isWidgetType())
            return false;
        auto *w = static_cast<QWidget *>(object);
        if (!w->isWindow() || !(w->inherits("TForm1") || w->inherits("TForm2")))
            return false;
        event->ignore();
        if (!held_.contains(w))
            held_.push_back(w);
        return true;
    }

private:
    QList<QPointer<QWidget>> held_;
};

} // namespace

bool WriteTableFromWindows(kv::AppContext &ctx, const std::string &file,
                           const std::function<void(const kv::Notices &)> &show) {
    if (!ctx.link)
        return false;
    // The plain write has no old table to go back to: a close lets it finish. The checked
    // write stops after the block in flight and writes the old table back.
    const WindowWriteGuard guard;
    const auto record = [&](const kv::history::Entry &e) {
        if (ctx.record)
            ctx.record(e);
    };
    if (!ctx.VerifyWrites) {
        const ct::TableTransfer written = ct::WriteCorrectionTable(*ctx.link, ctx.CorrTable);
        show(ct::NoticesOf(written));
        record(kv::history::TableWriteEntry(written, ctx.CorrTable, file));
        return written.complete();
    }
    const ct::VerifiedWrite v =
        ct::WriteTableVerified(*ctx.link, ctx.CorrTable,
                               {.backupPath = WindowBackupPath(ctx),
                                .askBeforeRestore = &ctx.prompter,
                                .stopRequested = [&guard] { return guard.CloseAsked(); }});
    show(ct::WindowNoticesOf(v));
    if (v.end != ct::VerifiedWriteEnd::DryRun)
        record(kv::history::VerifiedWriteEntry(v, ctx.CorrTable, file));
    if (const auto restore = kv::history::RestoreEntry(v))
        record(*restore);
    return v.ok();
}
