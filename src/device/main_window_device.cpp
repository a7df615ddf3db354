// TForm1 handlers of the device operations: they read the fields, run the sequences of
// device/operations.h and show what comes back.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "device/operations.h"
#include "link/link.h"

namespace {

kv::device::DeviceOps Ops(TForm1 &f) {
    return kv::device::DeviceOps(f.link(), f.ctx().prompter,
                                 kv::device::AdcScale{f.ctx().Voltage, f.ctx().RefVoltage});
}

kv::device::ParameterEntries Entries(const TForm1 &f) {
    kv::device::ParameterEntries e;
    e.fuseCurrent = f.fusecurrent->text().toStdString();
    e.zeroOffset = f.zerooffset->text().toStdString();
    e.overloadTime = f.overloadtimer->text().toStdString();
    e.multiply = f.multiply->text().toStdString();
    e.measureCount = f.avgi->text().toStdString();
    e.useAverage = f.average->isChecked();
    e.useVref = f.vref->isChecked();
    return e;
}

} // namespace

void TForm1::BitBtn1Click() {
    Ops(*this).SendData(Entries(*this), CommState.AutoSaveData ? &ini_ : nullptr);
}

void TForm1::BitBtn2Click() {
    const auto p = Ops(*this).GetData();
    if (!p)
        return;
    average->setChecked(p->UseAverage);
    vref->setChecked(p->UseVref);
    avgi->setText(QString::number(p->MeasureCount));
    fusecurrent->setText(QString::number(p->FuseCurrent));
    zerooffset->setText(QString::number(p->ZeroOffset));
    overloadtimer->setText(QString::number(p->OverloadTime));
    multiply->setText(QString::number(p->CurrentMultiply));
}

void TForm1::BitBtn3Click() {
    Ops(*this).Relay();
}

void TForm1::BitBtn4Click() {
    kv::device::CurrentSample sample;
    Ops(*this).GetCurrent(sample, vref->isChecked(), true);
}

void TForm1::GetLastValues1Click() {
    Ops(*this).GetLastValues();
}

void TForm1::GetLastStoredValues1Click() {
    Ops(*this).GetLastStoredValues();
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
    const auto countdown = Ops(*this).TimerTick(
        TimerTicks, CommState.TimerBusy, CommState.TimerInterval, ctx_.paths.CurrentLogFileName());
    if (countdown)
        SetStatusPanel(0, *countdown);
}

// A non-integer answer leaves the handler as kv::Error for the general error report.
void TForm1::SetCurrentTimerInterval1Click() {
    Ops(*this).SetTimerInterval(CommState.TimerInterval, ini_);
}

void TForm1::CalcCRC1Click() {
    Ops(*this).CalcCrc(Entries(*this));
}

int TForm1::ShowErrorValue(const std::string &message, int value) {
    kv::ShowError(ctx_.prompter, message);
    return value;
}
