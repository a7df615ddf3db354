#include "gui/bench_menu.h"

#include <QAction>

#include "app/log_lines.h"
#include "app/text_files.h"
#include "device/current_plot.h"
#include "gui/current_plot_window.h"
#include "gui/window_placement.h"

namespace kv {

BenchMenu::BenchMenu(QAction *currentPlot, QAction *saveLog, QWidget *window, AppContext &ctx,
                     WindowOutput &out)
    : window_(window), ctx_(ctx), out_(out), plot_(std::make_unique<device::CurrentPlot>()) {
    connect(currentPlot, &QAction::triggered, this, [this] { ShowPlot(); });
    connect(saveLog, &QAction::triggered, this, [this] { SaveLog(); });
}

BenchMenu::~BenchMenu() {
    delete plotWindow_; // it draws from plot_
}

void BenchMenu::PlotMeasurement(const device::CurrentSample *sample) {
    if (sample)
        plot_->Add(*sample);
    else
        plot_->AddGap();
    if (plotWindow_)
        plotWindow_->Refresh();
}

// The plot's window is made at its first opening and kept: closing it only hides it.
void BenchMenu::ShowPlot() {
    if (!plotWindow_) {
        plotWindow_ = new TCurrentPlotWindow(ctx_, *plot_, window_);
        CenterOn(plotWindow_, window_);
    }
    BringToFront(plotWindow_);
}

void BenchMenu::SaveLog() {
    FileDialog dlg{.kind = FileDialog::Kind::Save,
                   .title = "Save Log",
                   .filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*",
                   .defaultExt = ".txt",
                   .initialDir = ctx_.paths.DataDir(),
                   .fileName = "korvane-log.txt",
                   .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (const FileResult r =
            WriteTextFile(LogFileText(out_.LogLinesShown()), dlg.fileName, &ctx_.prompter);
        !r)
        ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}

} // namespace kv
