#include "gui/startup.h"

#include <QTimer>

#include <memory>

#include "gui/adc_calculator_window.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "gui/last_adc_window.h"
#include "gui/main_window.h"

namespace kv {

int RunProgram(KorvaneApplication &app, AppContext &ctx,
               const std::function<void(Windows &)> &onShown) {
    int rc = 0;
    {
        // Destroyed in the reverse order, the main window (and with it the link) last.
        auto form1 = std::make_unique<TForm1>(ctx);
        auto form2 = std::make_unique<TForm2>(ctx);
        auto form4 = std::make_unique<TForm4>(ctx);
        auto form5 = std::make_unique<TForm5>(ctx);
        auto form3 = std::make_unique<TForm3>(ctx);
        form1->UseWindows(form2.get(), form4.get(), form5.get(), form3.get());
        form2->UseEditor(form4.get());
        Windows windows{*form1, *form2, *form4, *form5, *form3};

        // Closing the main window ends the program, whichever other windows are open.
        for (QWidget *w :
             std::initializer_list<QWidget *>{form2.get(), form4.get(), form5.get(), form3.get()})
            w->setAttribute(Qt::WA_QuitOnClose, false);
        form1->setAttribute(Qt::WA_QuitOnClose, true);

        form1->show();
        if (onShown)
            QTimer::singleShot(0, form1.get(), [&] { onShown(windows); });
        rc = app.exec();
    }
    return rc;
}

} // namespace kv
