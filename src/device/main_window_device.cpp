// TForm1 handlers of the device operations: they read the fields, run the operations of
// device/operations.h and show what comes back.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "device/notices.h"
#include "device/operations.h"
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

} // namespace

void TForm1::BitBtn1Click() {
    Show(dev::NoticesOf(
        Ops(*this).SendData(Entries(*this), CommState.AutoSaveData ? &ini_ : nullptr)));
}

void TForm1::BitBtn2Click() {
    const dev::ParametersRead read = Ops(*this).GetData();
    Show(dev::NoticesOf(read));
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
    Show(dev::NoticesOf(Ops(*this).Relay()));
}

void TForm1::BitBtn4Click() {
    Show(dev::NoticesOf(Ops(*this).GetCurrent(vref->isChecked()), kv::Notice::Kind::ErrorBox));
}

void TForm1::GetLastValues1Click() {
    Show(dev::NoticesOf(Ops(*this).ReadStatus(kv::link::Cmd::GetStatus)));
}

void TForm1::GetLastStoredValues1Click() {
    Show(dev::NoticesOf(Ops(*this).ReadStatus(kv::link::Cmd::GetStoredStatus)));
}

// The menu item has toggled its own check mark when this runs.
void TForm1::Enabletimer1Click() {
    const bool running = Enabletimer1->isChecked();
    TimerTicks = CommState.TimerInterval; // the first tick measures at once
    if (running)
        Timer1->start();
    else
        Timer1->stop();
    // The timed exchanges must not interleave with the buttons' sequences.
    for (QPushButton *b : {BitBtn1, BitBtn2, BitBtn3, BitBtn4})
        b->setEnabled(!running);
}

void TForm1::Timer1Timer() {
    const dev::TimerTickOutcome tick = Ops(*this).TimerTick(
        TimerTicks, CommState.TimerBusy, CommState.TimerInterval, ctx_.paths.CurrentLogFileName());
    if (tick.dropped)
        return;
    if (tick.record)
        Show(dev::NoticesOf(*tick.record));
    SetStatusPanel(0, dev::CountdownText(tick.secondsLeft));
}

// A non-integer answer goes to the general error report.
void TForm1::SetCurrentTimerInterval1Click() {
    Show(dev::NoticesOf(Ops(*this).SetTimerInterval(CommState.TimerInterval, ini_)));
}

void TForm1::CalcCRC1Click() {
    // The calculated CRC is logged before the device is asked for its own.
    dev::CrcCheck check = dev::CrcOfEntries(Entries(*this));
    Show(dev::CalculatedNotices(check));
    if (!check.error.empty())
        return;
    Ops(*this).CompareCrc(check);
    Show(dev::ComparedNotices(check));
}

int TForm1::ShowErrorValue(const std::string &message, int value) {
    kv::ShowError(ctx_.prompter, message);
    return value;
}
