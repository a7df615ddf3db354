#include "gui/device_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <vector>

#include "device/notices.h"
#include "device/operations.h"
#include "device/series_port.h"
#include "history/outcome_records.h"
#include "history/recorder.h"
#include "link/link.h"

namespace kv {

namespace dev = device;

namespace {

// A device command of the Service menu: its object name, its caption and what it runs.
struct DeviceServiceItem {
    const char *name;
    const char *caption;
    std::function<void(dev::DeviceOps &ops, WindowOutput &out)> run;
};

// The Service menu's device commands beyond the original menus, one row each, in the order
// they show. A row runs the operation, shows its notices and records it:
//   {"ReadSerial1", "Read Serial", [](dev::DeviceOps &ops, WindowOutput &out) {
//        const dev::SerialRead read = ops.ReadSerial();
//        out.Show(dev::NoticesOf(read));
//        out.Record(history::EntryOf(read));
//    }},
// None yet: every device command so far has its place in the original menus.
const std::vector<DeviceServiceItem> &DeviceServiceItems() {
    static const std::vector<DeviceServiceItem> items = {};
    return items;
}

} // namespace

DeviceMenu::DeviceMenu(const DeviceWidgets &w, link::Link &link, Prompter &prompter,
                       AppContext &ctx, CommState &state, const IniFile &ini, WindowOutput &out,
                       const history::Recorder &history,
                       std::function<void(const dev::CurrentSample *)> plot,
                       const link::PortRoots &portRoots)
    : w_(w), link_(link), prompter_(prompter), ctx_(ctx), state_(state), ini_(ini), out_(out),
      history_(history), plot_(std::move(plot)), portRoots_(portRoots) {
    connect(w_.sendData, &QPushButton::clicked, this, [this] { SendData(); });
    connect(w_.getData, &QPushButton::clicked, this, [this] { GetData(); });
    connect(w_.relay, &QPushButton::clicked, this, [this] { Relay(); });
    connect(w_.getCurrent, &QPushButton::clicked, this, [this] { GetCurrent(); });
    connect(w_.info, &QAction::triggered, this, [this] { Info(); });
    connect(w_.restart, &QAction::triggered, this, [this] { Restart(); });
    connect(w_.lastValues, &QAction::triggered, this, [this] { GetLastValues(false); });
    connect(w_.lastStoredValues, &QAction::triggered, this, [this] { GetLastValues(true); });
    connect(w_.timerOn, &QAction::triggered, this, [this] { TimerOnOff(); });
    connect(w_.timer, &QTimer::timeout, this, [this] { TimerTick(); });
    connect(w_.timerInterval, &QAction::triggered, this, [this] { SetTimerInterval(); });
    connect(w_.calcCrc, &QAction::triggered, this, [this] { CalcCrc(); });
    BuildServiceItems();
}

DeviceMenu::~DeviceMenu() {
    if (series_)
        out_.Record(history::SeriesEntry(*series_, history::Now().time));
}

// Made for each command: the scale follows the "Voltage" and "RefVoltage" settings.
static dev::DeviceOps Ops(link::Link &link, Prompter &prompter, const AppContext &ctx) {
    return dev::DeviceOps(link, prompter, dev::AdcScale{ctx.Voltage, ctx.RefVoltage});
}

dev::ParameterEntries DeviceMenu::Entries() const {
    dev::ParameterEntries e;
    e.FuseCurrent = w_.fusecurrent->text().toStdString();
    e.ZeroOffset = w_.zerooffset->text().toStdString();
    e.OverloadTime = w_.overloadtimer->text().toStdString();
    e.CurrentMultiply = w_.multiply->text().toStdString();
    e.MeasureCount = w_.avgi->text().toStdString();
    e.UseAverage = w_.average->isChecked();
    e.UseVref = w_.vref->isChecked();
    return e;
}

// After the table items, in a group of their own; nothing at all while there are none.
void DeviceMenu::BuildServiceItems() {
    if (DeviceServiceItems().empty())
        return;
    w_.service->insertSeparator(w_.serviceBefore);
    for (const DeviceServiceItem &i : DeviceServiceItems()) {
        auto *a = new QAction(QString::fromLatin1(i.caption), w_.service);
        w_.service->insertAction(w_.serviceBefore, a);
        a->setObjectName(QString::fromLatin1(i.name));
        connect(a, &QAction::triggered, this, [this, &i] {
            dev::DeviceOps ops = Ops(link_, prompter_, ctx_);
            i.run(ops, out_);
        });
    }
}

void DeviceMenu::SendData() {
    dev::DeviceOps ops = Ops(link_, prompter_, ctx_);
    const auto before = history::StatusBeforeSending(ops, !history_.unit().empty());
    const dev::SendOutcome out = ops.SendData(Entries(), state_.AutoSaveData ? &ini_ : nullptr);
    out_.Show(dev::NoticesOf(out));
    out_.Record(history::EntryOf(out, before));
}

void DeviceMenu::GetData() {
    const dev::ParametersRead read = Ops(link_, prompter_, ctx_).GetData();
    out_.Show(dev::NoticesOf(read));
    out_.Record(history::EntryOf(read));
    if (!read.ok())
        return;
    const dev::FuseParameters &p = *read.parameters;
    w_.average->setChecked(p.UseAverage);
    w_.vref->setChecked(p.UseVref);
    w_.avgi->setText(QString::number(p.MeasureCount));
    w_.fusecurrent->setText(QString::number(p.FuseCurrent));
    w_.zerooffset->setText(QString::number(p.ZeroOffset));
    w_.overloadtimer->setText(QString::number(p.OverloadTime));
    w_.multiply->setText(QString::number(p.CurrentMultiply));
}

void DeviceMenu::Relay() {
    const dev::RelayOutcome out = Ops(link_, prompter_, ctx_).Relay();
    out_.Show(dev::NoticesOf(out));
    out_.Record(history::EntryOf(out));
}

void DeviceMenu::GetCurrent() {
    const bool useVref = w_.vref->isChecked();
    const dev::Measurement m = Ops(link_, prompter_, ctx_).GetCurrent(useVref);
    out_.Show(dev::NoticesOf(m, Notice::Kind::ErrorBox));
    plot_(m.ok ? &m.sample : nullptr);
    out_.Record(history::EntryOf(m, useVref));
}

void DeviceMenu::Info() {
    // The reply is shown as it comes, in the log pane; a missing one, by the link.
    (void)Ops(link_, prompter_, ctx_).Info();
}

void DeviceMenu::Restart() {
    const dev::RestartOutcome out = Ops(link_, prompter_, ctx_).Restart();
    out_.Show(dev::NoticesOf(out));
    out_.Record(history::EntryOf(out));
}

void DeviceMenu::GetLastValues(bool stored) {
    const dev::StatusRead read =
        Ops(link_, prompter_, ctx_)
            .ReadStatus(stored ? link::Cmd::GetStoredStatus : link::Cmd::GetStatus);
    out_.Show(dev::NoticesOf(read));
    out_.Record(history::EntryOf(read));
}

void DeviceMenu::TimerOnOff() {
    const bool running = w_.timerOn->isChecked();
    state_.TimerTicks = state_.TimerInterval; // the first tick measures at once
    if (running) {
        series_ = std::make_unique<history::SeriesCount>(
            history::SeriesCount{.start = history::Now().time,
                                 .intervalSeconds = static_cast<double>(state_.TimerInterval),
                                 .logFile = ctx_.paths.CurrentLogFileName()});
        seriesPort_ = std::make_unique<dev::SeriesPort>(link_, portRoots_);
        w_.timer->start();
    } else {
        w_.timer->stop();
        seriesPort_.reset();
        // The whole series is one record, made when it is stopped.
        if (series_) {
            out_.Record(history::SeriesEntry(*series_, history::Now().time));
            series_.reset();
        }
    }
    // The timed exchanges must not interleave with the buttons' sequences.
    for (QPushButton *b : {w_.sendData, w_.getData, w_.relay, w_.getCurrent})
        b->setEnabled(!running);
}

void DeviceMenu::TimerTick() {
    const dev::TimerTickOutcome tick =
        Ops(link_, prompter_, ctx_)
            .TimerTick(state_.TimerTicks, state_.TimerBusy, state_.TimerInterval,
                       ctx_.paths.CurrentLogFileName(), seriesPort_.get());
    if (tick.dropped)
        return;
    out_.Show(tick.notices);
    if (tick.missed) {
        plot_(nullptr);
        if (series_)
            history::CountPortLost(*series_);
    }
    if (tick.record) {
        // The plot takes what the current log took; a failed exchange breaks its line.
        plot_(tick.record->measured() ? &tick.record->measurement->sample : nullptr);
        if (series_)
            history::CountTick(*series_, *tick.record);
    }
    out_.SetStatusPanel(0, dev::CountdownText(tick.secondsLeft));
}

// A non-integer answer goes to the general error report.
void DeviceMenu::SetTimerInterval() {
    out_.Show(
        dev::NoticesOf(Ops(link_, prompter_, ctx_).SetTimerInterval(state_.TimerInterval, ini_)));
}

void DeviceMenu::CalcCrc() {
    // The calculated CRC is logged before the device is asked for its own.
    const dev::ParameterEntries entries = Entries();
    dev::CrcCheck check = dev::CrcOfEntries(entries);
    out_.Show(dev::CalculatedNotices(check));
    if (!check.error.empty())
        return;
    Ops(link_, prompter_, ctx_).CompareCrc(check);
    out_.Show(dev::ComparedNotices(check));
    out_.Record(history::EntryOf(check, entries));
}

} // namespace kv
