// TForm1 handlers that open the tool windows.
#include "gui/main_window.h"

#include <QLineEdit>

#include "app/numbers.h"
#include "gui/adc_calculator_window.h"
#include "gui/last_adc_window.h"
#include "link/commands.h"

void TForm1::LastADCmeasure1Click() {
    if (ctx_.form5 == nullptr)
        return;
    const auto code = static_cast<std::uint8_t>(kv::link::Cmd::GetStatus);
    ctx_.form5->ShowMeasure({code}, kv::link::ReplyLength(kv::link::Cmd::GetStatus));
}

void TForm1::Calc1Click() {
    if (ctx_.form3 == nullptr)
        return;
    // U max follows the "Voltage" setting at every opening; the other inputs stay.
    ctx_.form3->umax->setText(QString::fromStdString(kv::FormatFixed(ctx_.Voltage, 3)));
    ctx_.form3->exec();
}
