// The live current plot (Service > "Current Plot"): the measurements the main window takes,
// current in A and ADC over time, drawn with QPainter. It sends nothing to the device; the
// main window hands it each measurement as it is taken (TForm1::PlotMeasurement).
#pragma once

#include <QWidget>

#include "device/current_plot.h"
#include "gui/app_context.h"

class QCheckBox;
class QComboBox;
class QPushButton;

// The drawing: time along the bottom, amperes on the left axis, ADC on the right.
class TPlotArea : public QWidget {
    Q_OBJECT
public:
    TPlotArea(const kv::device::CurrentPlot &plot, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    const kv::device::CurrentPlot &plot_;
};

class TCurrentPlotWindow : public QWidget {
    Q_OBJECT
public:
    TCurrentPlotWindow(kv::AppContext &ctx, kv::device::CurrentPlot &plot,
                       QWidget *parent = nullptr);

    // The model changed: redraw.
    void Refresh();

    TPlotArea *area = nullptr;
    QComboBox *span = nullptr;
    QCheckBox *pause = nullptr;
    QPushButton *clear = nullptr;
    QPushButton *exportCsv = nullptr;
    QPushButton *savePng = nullptr;

public slots:
    void ExportCsvClick();
    void SavePngClick();

private:
    kv::AppContext &ctx_;
    kv::device::CurrentPlot &plot_;
};
