// The main window's bench items of the Service menu: the live current plot and saving the
// log pane to a file ("Timestamps in Log" is the log pane's own switch).
#pragma once

#include <QObject>

#include <memory>

#include "gui/app_context.h"
#include "gui/window_output.h"

class QAction;
class QWidget;
class TCurrentPlotWindow;

namespace kv::device {
class CurrentPlot;
struct CurrentSample;
} // namespace kv::device

namespace kv {

class BenchMenu : public QObject {
public:
    // The plot's window is made over window at its first opening.
    BenchMenu(QAction *currentPlot, QAction *saveLog, QWidget *window, AppContext &ctx,
              WindowOutput &out);
    ~BenchMenu() override;

    // A measurement of the timed series or of "Get Current"; nullptr for one that failed.
    void PlotMeasurement(const device::CurrentSample *sample);
    device::CurrentPlot &plot() { return *plot_; }

private:
    void ShowPlot();
    void SaveLog();

    QWidget *window_;
    AppContext &ctx_;
    WindowOutput &out_;
    // Every measurement since the start, also while the plot's window is closed.
    std::unique_ptr<device::CurrentPlot> plot_;
    TCurrentPlotWindow *plotWindow_ = nullptr; // made at its first opening, a child of window_
};

} // namespace kv
