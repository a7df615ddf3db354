#include "gui/current_plot_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/text_files.h"

namespace dev = kv::device;

namespace {

// The spans offered, in seconds; 0 shows every point kept.
constexpr struct {
    const char *text;
    long long seconds;
} kSpans[] = {{"1 min", 60}, {"5 min", 300},    {"15 min", 900},
              {"1 h", 3600}, {"8 h", 8 * 3600}, {"All", 0}};
constexpr int kDefaultSpan = 1; // 5 min

// The two series' colours: readable on a light and on a dark window background.
const QColor kAmpsColour(0x1E, 0x88, 0xE5);
const QColor kAdcColour(0xE5, 0x73, 0x1E);

QString Q(const std::string &s) {
    return QString::fromStdString(s);
}

} // namespace

TPlotArea::TPlotArea(const dev::CurrentPlot &plot, QWidget *parent) : QWidget(parent), plot_(plot) {
    setObjectName("area");
    setMinimumSize(360, 220);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TPlotArea::paintEvent(QPaintEvent *) {
    const dev::PlotView v = plot_.View();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QFontMetrics fm(font());

    // Room for the tick labels of both value axes, the time labels and the units.
    auto widest = [&](const dev::AxisScale &s) {
        int w = 0;
        for (double t : s.Ticks())
            w = std::max(w, fm.horizontalAdvance(Q(dev::ValueText(t, s.step))));
        return w;
    };
    const int left = widest(v.amps) + 12;
    const int right = widest(v.adc) + 12;
    const int top = fm.height() + 8;
    const int bottom = fm.height() * 2 + 8;
    const QRect r(left, top, std::max(width() - left - right, 10),
                  std::max(height() - top - bottom, 10));

    auto x = [&](double seconds) {
        return r.left() + (seconds - v.time.lo) / (v.time.hi - v.time.lo) * r.width();
    };
    auto y = [&](double value, const dev::AxisScale &s) {
        return r.bottom() - (value - s.lo) / (s.hi - s.lo) * r.height();
    };

    // Grid and ticks: the lines in the palette's mid tone, the labels in its text colour.
    QColor grid = pal.color(QPalette::Mid);
    p.setPen(QPen(grid, 0, Qt::DotLine));
    for (double t : v.amps.Ticks())
        p.drawLine(QPointF(r.left(), y(t, v.amps)), QPointF(r.right(), y(t, v.amps)));
    for (double t : v.time.Ticks())
        p.drawLine(QPointF(x(t), r.top()), QPointF(x(t), r.bottom()));
    p.setPen(pal.color(QPalette::Text));
    p.drawRect(r);
    for (double t : v.amps.Ticks()) {
        const QString s = Q(dev::ValueText(t, v.amps.step));
        p.drawText(QRectF(0, y(t, v.amps) - fm.height() / 2.0, left - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, s);
    }
    for (double t : v.adc.Ticks()) {
        const QString s = Q(dev::ValueText(t, v.adc.step));
        p.drawText(QRectF(r.right() + 6, y(t, v.adc) - fm.height() / 2.0, right - 6, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, s);
    }
    for (double t : v.time.Ticks()) {
        const QString s = Q(dev::ClockText(static_cast<long long>(t)));
        const int w = fm.horizontalAdvance(s);
        p.drawText(QRectF(x(t) - w / 2.0 - 2, r.bottom() + 4, w + 4, fm.height()), Qt::AlignCenter,
                   s);
    }
    // Units: amperes at the left axis, ADC at the right, time below.
    p.setPen(kAmpsColour);
    p.drawText(QRect(0, 0, left + 60, top - 4), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Current (A)"));
    p.setPen(kAdcColour);
    p.drawText(QRect(width() - right - 60, 0, right + 60, top - 4),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ADC"));
    p.setPen(pal.color(QPalette::Text));
    p.drawText(QRect(r.left(), r.bottom() + 4 + fm.height(), r.width(), fm.height() + 4),
               Qt::AlignCenter,
               plot_.paused() ? QStringLiteral("Time (paused)") : QStringLiteral("Time"));

    // The two series, each a line broken where a measurement failed, with a dot per point.
    p.setClipRect(r.adjusted(-3, -3, 3, 3));
    auto series = [&](const QColor &colour, auto value, const dev::AxisScale &s) {
        QPainterPath path;
        for (std::size_t i = 0; i < v.points.size(); ++i) {
            const QPointF pt(x(static_cast<double>(v.points[i].seconds)), y(value(v.points[i]), s));
            if (i == 0 || v.points[i].afterGap)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.setPen(QPen(colour, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(colour);
        for (const dev::PlotPoint &pt : v.points)
            p.drawEllipse(QPointF(x(static_cast<double>(pt.seconds)), y(value(pt), s)), 2.0, 2.0);
    };
    series(
        kAdcColour, [](const dev::PlotPoint &pt) { return static_cast<double>(pt.adc); }, v.adc);
    series(
        kAmpsColour, [](const dev::PlotPoint &pt) { return pt.amps; }, v.amps);
}

TCurrentPlotWindow::TCurrentPlotWindow(kv::AppContext &ctx, dev::CurrentPlot &plot, QWidget *parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), plot_(plot) {
    setObjectName("CurrentPlot");
    setWindowTitle(QStringLiteral("Current Plot"));

    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    span = new QComboBox(this);
    span->setObjectName("span");
    for (const auto &s : kSpans)
        span->addItem(QString::fromLatin1(s.text));
    span->setCurrentIndex(kDefaultSpan);
    plot_.SetSpan(kSpans[kDefaultSpan].seconds);
    pause = new QCheckBox(QStringLiteral("Pause"), this);
    pause->setObjectName("pause");
    pause->setChecked(plot_.paused());
    clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName("clear");
    exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportCsv->setObjectName("exportCsv");
    savePng = new QPushButton(QStringLiteral("Save PNG..."), this);
    savePng->setObjectName("savePng");
    bar->addWidget(span);
    bar->addWidget(pause);
    bar->addStretch(1);
    bar->addWidget(clear);
    bar->addWidget(exportCsv);
    bar->addWidget(savePng);
    area = new TPlotArea(plot_, this);
    layout->addLayout(bar);
    layout->addWidget(area, 1);
    resize(640, 400);

    connect(span, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0 && i < static_cast<int>(std::size(kSpans)))
            plot_.SetSpan(kSpans[i].seconds);
        Refresh();
    });
    connect(pause, &QCheckBox::toggled, this, [this](bool on) {
        plot_.SetPaused(on);
        Refresh();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        plot_.Clear();
        Refresh();
    });
    connect(exportCsv, &QPushButton::clicked, this, &TCurrentPlotWindow::ExportCsvClick);
    connect(savePng, &QPushButton::clicked, this, &TCurrentPlotWindow::SavePngClick);
}

void TCurrentPlotWindow::Refresh() {
    area->update();
}

void TCurrentPlotWindow::ExportCsvClick() {
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Export CSV",
                       .filter = "CSV files (*.csv)|*.csv|All files (*.*)|*.*",
                       .defaultExt = ".csv",
                       .initialDir = ctx_.paths.DataDir(),
                       .fileName = "current.csv",
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (const kv::FileResult r =
            kv::WriteTextFile(dev::PlotCsv(plot_.View()), dlg.fileName, &ctx_.prompter);
        !r)
        kv::ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}

void TCurrentPlotWindow::SavePngClick() {
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Save PNG",
                       .filter = "PNG images (*.png)|*.png|All files (*.*)|*.*",
                       .defaultExt = ".png",
                       .initialDir = ctx_.paths.DataDir(),
                       .fileName = "current.png",
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    if (!area->grab().save(QString::fromStdString(dlg.fileName), "PNG"))
        kv::ShowError(ctx_.prompter, "Cannot write " + dlg.fileName);
}
