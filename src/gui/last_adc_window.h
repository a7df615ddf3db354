// TForm5: the "Last ADC measure" window with its very large digits.
#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

#include "app/scope.h"
#include "gui/app_context.h"

class QLabel;
class QPushButton;
class QTimer;

class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(kv::AppContext &ctx, QWidget *parent = nullptr);

    // Stores what each refresh sends and the reply length it expects, shows "..." and the
    // window stopped, and runs it modally until it closes.
    void ShowMeasure(const std::vector<std::uint8_t> &command, std::uint8_t count);
    // ShowMeasure without running the window: stores, shows "..." and stops.
    void PrepareMeasure(const std::vector<std::uint8_t> &command, std::uint8_t count);
    // Running: the timer on, "Stop" enabled, "Start" disabled; stopped the other way round.
    void SetRunning(bool on);

    // The display.
    QLabel *adc = nullptr;
    QPushButton *BitBtn1 = nullptr; // Close
    QPushButton *BitBtn2 = nullptr; // Start
    QPushButton *BitBtn3 = nullptr; // Stop
    QTimer *Timer1 = nullptr;

    // Set while a refresh runs. The refresh waits inside SendCommand, which processes
    // events, so a further tick can arrive meanwhile; it finds the flag set and does
    // nothing. Written only by Timer1Timer, on the main thread.
    kv::BusyFlag MeasureBusy;

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    // One refresh: a transaction with the stored command, then the value or "???".
    void Timer1Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FormCreate();
    void ShowText(const QString &text);

    kv::AppContext &ctx_;
    std::vector<std::uint8_t> command_;
    std::uint8_t count_ = 0;
};
