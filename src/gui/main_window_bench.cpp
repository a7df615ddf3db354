// TForm1's bench items of the Service menu: the live current plot, time stamps in the log
// pane and saving the log to a file.
#include <QAction>
#include <QMenu>

#include "app/log_lines.h"
#include "app/text_files.h"
#include "device/current_plot.h"
#include "gui/current_plot_window.h"
#include "gui/main_window.h"
#include "gui/window_placement.h"

void TForm1::BuildBenchItems() {
    auto item = [&](const char *name, const QString &caption, void (TForm1::*handler)()) {
        QAction *a = Service1->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    Service1->addSeparator();
    CurrentPlot1 = item("CurrentPlot1", QStringLiteral("Current Plot"), &TForm1::CurrentPlot1Click);
    // Checked, the log pane's lines from then on start with the time (WriteLogLine); off at
    // start, so that the lines are as they always were.
    TimestampsInLog1 = Service1->addAction(QStringLiteral("Timestamps in Log"));
    TimestampsInLog1->setObjectName("TimestampsInLog1");
    TimestampsInLog1->setCheckable(true);
    SaveLog1 = item("SaveLog1", QStringLiteral("Save Log..."), &TForm1::SaveLog1Click);
}

void TForm1::PlotMeasurement(const kv::device::CurrentSample *sample) {
    if (sample)
        plot_->Add(*sample);
    else
        plot_->AddGap();
    if (PlotWindow)
        PlotWindow->Refresh();
}

// The plot's window is made at its first opening and kept: closing it only hides it.
void TForm1::CurrentPlot1Click() {
    if (!PlotWindow) {
        PlotWindow = new TCurrentPlotWindow(ctx_, *plot_, this);
        kv::CenterOn(PlotWindow, this);
    }
    kv::BringToFront(PlotWindow);
}

void TForm1::SaveLog1Click() {
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Save Log",
                       .filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*",
                       .defaultExt = ".txt",
                       .initialDir = ctx_.paths.DataDir(),
                       .fileName = "korvane-log.txt",
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (const kv::FileResult r =
            kv::WriteTextFile(kv::LogFileText(LogLinesShown()), dlg.fileName, &ctx_.prompter);
        !r)
        kv::ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}
