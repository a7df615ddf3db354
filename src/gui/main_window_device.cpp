// TForm1 handlers of the device operations: they read the fields, run the operations of
// device/operations.h and show what comes back.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <vector>

#include "device/notices.h"
#include "device/operations.h"
#include "device/series_port.h"
#include "gui/main_window.h"
#include "history/outcome_records.h"
#include "history/recorder.h"
#include "link/link.h"

namespace {

namespace dev = kv::device;

dev::DeviceOps Ops(TForm1 &f) {
    return dev::DeviceOps(f.link(), f.ctx().prompter,
                          dev::AdcScale{f.ctx().Voltage, f.ctx().RefVoltage});
}

dev::ParameterEntries Entries(const TForm1 &f) {
    dev::ParameterEntries e;
    e.FuseCurrent = f.fusecurrent->text().toStdString();
    e.ZeroOffset = f.zerooffset->text().toStdString();
    e.OverloadTime = f.overloadtimer->text().toStdString();
    e.CurrentMultiply = f.multiply->text().toStdString();
    e.MeasureCount = f.avgi->text().toStdString();
    e.UseAverage = f.average->isChecked();
    e.UseVref = f.vref->isChecked();
    return e;
}

// A device command of the Service menu: its object name, its caption and what it runs.
struct DeviceServiceItem {
    const char *name;
    const char *caption;
    std::function<void(TForm1 &)> run;
};

// The Service menu's device commands beyond the original menus, one row each, in the order
// they show. A row runs the operation, shows its notices and records it:
//   {"ReadSerial1", "Read Serial", [](TForm1 &f) {
//        const dev::SerialRead out = Ops(f).ReadSerial();
//        f.Show(dev::NoticesOf(out));
//        f.Record(kv::history::EntryOf(out));
//    }},
// None yet: every device command so far has its place in the original menus.
const std::vector<DeviceServiceItem> &DeviceServiceItems() {
    static const std::vector<DeviceServiceItem> items = {};
    return items;
}

} // namespace

// After the table items, in a group of their own; nothing at all while there are none.
void TForm1::BuildDeviceServiceItems() {
    if (DeviceServiceItems().empty())
        return;
    Service1->addSeparator();
    for (const DeviceServiceItem &i : DeviceServiceItems()) {
        QAction *a = Service1->addAction(QString::fromLatin1(i.caption));
        a->setObjectName(QString::fromLatin1(i.name));
        connect(a, &QAction::triggered, this, [this, &i] { i.run(*this); });
    }
}

void TForm1::BitBtn1Click() {
    dev::DeviceOps ops = Ops(*this);
    const auto before = kv::history::StatusBeforeSending(ops, !history().unit().empty());
    const dev::SendOutcome out =
        ops.SendData(Entries(*this), CommState.AutoSaveData ? &ini_ : nullptr);
    Show(dev::NoticesOf(out));
    Record(kv::history::EntryOf(out, before));
}

void TForm1::BitBtn2Click() {
    const dev::ParametersRead read = Ops(*this).GetData();
    Show(dev::NoticesOf(read));
    Record(kv::history::EntryOf(read));
    if (!read.ok())
        return;
    const dev::FuseParameters &p = *read.parameters;
    average->setChecked(p.UseAverage);
    vref->setChecked(p.UseVref);
    avgi->setText(QString::number(p.MeasureCount));
    fusecurrent->setText(QString::number(p.FuseCurrent));
    zerooffset->setText(QString::number(p.ZeroOffset));
    overloadtimer->setText(QString::number(p.OverloadTime));
    multiply->setText(QString::number(p.CurrentMultiply));
}

void TForm1::BitBtn3Click() {
    const dev::RelayOutcome out = Ops(*this).Relay();
    Show(dev::NoticesOf(out));
    Record(kv::history::EntryOf(out));
}

void TForm1::BitBtn4Click() {
    const bool useVref = vref->isChecked();
    const dev::Measurement m = Ops(*this).GetCurrent(useVref);
    Show(dev::NoticesOf(m, kv::Notice::Kind::ErrorBox));
    PlotMeasurement(m.ok ? &m.sample : nullptr);
    Record(kv::history::EntryOf(m, useVref));
}

void TForm1::GetLastValues1Click() {
    const dev::StatusRead read = Ops(*this).ReadStatus(kv::link::Cmd::GetStatus);
    Show(dev::NoticesOf(read));
    Record(kv::history::EntryOf(read));
}

void TForm1::GetLastStoredValues1Click() {
    const dev::StatusRead read = Ops(*this).ReadStatus(kv::link::Cmd::GetStoredStatus);
    Show(dev::NoticesOf(read));
    Record(kv::history::EntryOf(read));
}

// The menu item has toggled its own check mark when this runs.
void TForm1::Enabletimer1Click() {
    const bool running = Enabletimer1->isChecked();
    TimerTicks = CommState.TimerInterval; // the first tick measures at once
    if (running) {
        series_ = std::make_unique<kv::history::SeriesCount>(kv::history::SeriesCount{
            .start = kv::history::Now().time,
            .intervalSeconds = static_cast<double>(CommState.TimerInterval),
            .logFile = ctx_.paths.CurrentLogFileName()});
        seriesPort_ = std::make_unique<dev::SeriesPort>(*link_, portRoots_);
        Timer1->start();
    } else {
        Timer1->stop();
        seriesPort_.reset();
        // The whole series is one record, made when it is stopped.
        if (series_) {
            Record(kv::history::SeriesEntry(*series_, kv::history::Now().time));
            series_.reset();
        }
    }
    // The timed exchanges must not interleave with the buttons' sequences.
    for (QPushButton *b : {BitBtn1, BitBtn2, BitBtn3, BitBtn4})
        b->setEnabled(!running);
}

void TForm1::Timer1Timer() {
    const dev::TimerTickOutcome tick =
        Ops(*this).TimerTick(TimerTicks, CommState.TimerBusy, CommState.TimerInterval,
                             ctx_.paths.CurrentLogFileName(), seriesPort_.get());
    if (tick.dropped)
        return;
    Show(tick.notices);
    if (tick.missed) {
        PlotMeasurement(nullptr);
        if (series_)
            kv::history::CountPortLost(*series_);
    }
    if (tick.record) {
        // The plot takes what the current log took; a failed exchange breaks its line.
        PlotMeasurement(tick.record->measured() ? &tick.record->measurement->sample : nullptr);
        if (series_)
            kv::history::CountTick(*series_, *tick.record);
    }
    SetStatusPanel(0, dev::CountdownText(tick.secondsLeft));
}

// A non-integer answer goes to the general error report.
void TForm1::SetCurrentTimerInterval1Click() {
    Show(dev::NoticesOf(Ops(*this).SetTimerInterval(CommState.TimerInterval, ini_)));
}

void TForm1::CalcCRC1Click() {
    // The calculated CRC is logged before the device is asked for its own.
    const dev::ParameterEntries entries = Entries(*this);
    dev::CrcCheck check = dev::CrcOfEntries(entries);
    Show(dev::CalculatedNotices(check));
    if (!check.error.empty())
        return;
    Ops(*this).CompareCrc(check);
    Show(dev::ComparedNotices(check));
    Record(kv::history::EntryOf(check, entries));
}

int TForm1::ShowErrorValue(const std::string &message, int value) {
    kv::ShowError(ctx_.prompter, message);
    return value;
}
