// The main window's tool items: "Last ADC measure" and "Calc ADC" open their windows.
#pragma once

#include <QObject>

#include "gui/app_context.h"

class QAction;
class TForm3;
class TForm5;

namespace kv {

class ToolsMenu : public QObject {
public:
    ToolsMenu(QAction *lastAdc, QAction *calcAdc, const AppContext &ctx);

    // The windows the items open; an item does nothing until its window is made.
    void UseWindows(TForm5 *lastAdc, TForm3 *calculator) {
        lastAdc_ = lastAdc;
        calculator_ = calculator;
    }

private:
    void LastAdcMeasure();
    void CalcAdc();

    const AppContext &ctx_;
    TForm5 *lastAdc_ = nullptr;
    TForm3 *calculator_ = nullptr;
};

} // namespace kv
