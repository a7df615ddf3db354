#include "gui/tools_menu.h"

#include <QAction>
#include <QLineEdit>

#include "app/numbers.h"
#include "gui/adc_calculator_window.h"
#include "gui/last_adc_window.h"
#include "link/commands.h"

namespace kv {

ToolsMenu::ToolsMenu(QAction *lastAdc, QAction *calcAdc, const AppContext &ctx) : ctx_(ctx) {
    connect(lastAdc, &QAction::triggered, this, [this] { LastAdcMeasure(); });
    connect(calcAdc, &QAction::triggered, this, [this] { CalcAdc(); });
}

void ToolsMenu::LastAdcMeasure() {
    if (!lastAdc_)
        return;
    const auto code = static_cast<std::uint8_t>(link::Cmd::GetStatus);
    lastAdc_->ShowMeasure({code}, link::ReplyLength(link::Cmd::GetStatus));
}

void ToolsMenu::CalcAdc() {
    if (!calculator_)
        return;
    // U max follows the "Voltage" setting at every opening; the other inputs stay.
    calculator_->umax->setText(QString::fromStdString(FormatFixed(ctx_.Voltage, 3)));
    calculator_->exec();
}

} // namespace kv
