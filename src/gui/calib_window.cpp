#include "gui/calib_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScopeGuard>

#include "app/errors.h"
#include "app/text_files.h"
#include "calib/calculation_run.h"
#include "calib/correction_calc.h"
#include "calib/graph_geometry.h"
#include "calib/sav_file.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "gui/calib_grid_view.h"
#include "gui/editor_window.h"
#include "gui/theme.h"
#include "gui/window_table_write.h"
#include "history/outcome_records.h"

using namespace kv::calib;

namespace {

constexpr int kWidth = 550;
constexpr int kHeight = 345;
constexpr int kGridWidth = 281;

constexpr const char *kDataModified = "Data modified! Save?";

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QFont GridFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setBold(true);
    f.setPixelSize(16);
    return f;
}

QFont LabelFont() {
    // 12 points on the 96-dpi screen the graph is laid out for.
    QFont f(QStringLiteral("Courier New"));
    f.setBold(true);
    f.setPixelSize(16);
    return f;
}

} // namespace

TForm2::TForm2(kv::AppContext &ctx, QWidget *parent)
    : QMainWindow(parent), ctx_(ctx), grid_(ctx.GridLines) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Graph"));
    resize(kWidth, kHeight);
    setMinimumSize(300, 200);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    CalGridCallbacks callbacks;
    callbacks.drawCell = [this](QPainter &p, int col, int row, const QRect &r, bool selected,
                                bool focused) { sgDrawCell(p, col, row, r, selected, focused); };
    callbacks.editMask = [this](int col, int row) { return sgGetEditMask(col, row); };
    callbacks.setEditText = [this](int col, int row, const QString &text, bool withEnter) {
        Guarded([&] { sgSetEditText(col, row, text, withEnter); });
    };

    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    sg_ = new CalGridView(grid_, std::move(callbacks), central);
    sg_->setObjectName(QStringLiteral("sg"));
    sg_->setFont(GridFont());
    sg_->setFixedWidth(kGridWidth);
    sg_->setStyleSheet(QStringLiteral("QTableView { gridline-color: #c0c0c0; }"));
    layout->addWidget(sg_);
    img_ = new QLabel(central);
    img_->setObjectName(QStringLiteral("img"));
    img_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    img_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    img_->installEventFilter(this);
    layout->addWidget(img_, 1);
    setCentralWidget(central);

    QMenu *data = menuBar()->addMenu(QStringLiteral("Data"));
    data->setObjectName(QStringLiteral("Data1"));
    auto add = [&](const char *name, const QString &text, void (TForm2::*handler)()) {
        QAction *a = data->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
        return a;
    };
    add("Save1", QStringLiteral("Save"), &TForm2::Save1Click);
    add("Load1", QStringLiteral("Load"), &TForm2::Load1Click);
    add("Clear1", QStringLiteral("Clear"), &TForm2::Clear1Click);
    add("UpdateGraph1", QStringLiteral("Update Graph"), &TForm2::UpdateGraph1Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    data->addSeparator();
    add("CalcCorrectionTable1", QStringLiteral("Calc Correction Table"),
        &TForm2::CalcCorrectionTable1Click);

    FormCreate();
    // The bitmap has the image's size from the start, so the grid's nominal column and its
    // checks work before the window is first shown; the first layout resizes it.
    bitmap_ =
        QImage(kWidth - kGridWidth, kHeight - menuBar()->sizeHint().height(), QImage::Format_RGB32);
    bitmap_.fill(Qt::white);
}

TForm2::~TForm2() {
    // The grid goes first: an editor still open would otherwise hand its text over to a
    // window whose members are already gone.
    delete sg_;
    sg_ = nullptr;
}

void TForm2::FormCreate() {
    DataModified_ = false;
    od_.kind = kv::FileDialog::Kind::Open;
    od_.title = "Open";
    od_.filter = "*.sav|*.sav|*.*|*.*";
    od_.defaultExt = ".sav";
    od_.mustExist = true;
    sd_.kind = kv::FileDialog::Kind::Save;
    sd_.title = "Save";
    sd_.filter = "*.sav|*.sav|*.epr|*.epr|*.*|*.*";
    sd_.defaultExt = ".sav";
    sd_.overwritePrompt = true;
    sd_.mustExist = true;
    od_.initialDir = sd_.initialDir = ctx_.paths.dir;
    SavFileName_ = ctx_.paths.SavFileName();
    // Headings and row numbers are made by the grid itself (CalGrid).
}

void TForm2::Guarded(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const kv::Error &e) {
        kv::ShowAppError(ctx_.prompter, e.what());
    }
}

void TForm2::ShowGrid() {
    sg_->ShowGrid();
}

void TForm2::SetCellText(int col, int row, const std::string &text) {
    grid_.SetCell(col, row, text);
    ShowGrid();
}

bool TForm2::eventFilter(QObject *object, QEvent *event) {
    if (object == img_ && event->type() == QEvent::Resize)
        Guarded([this] { FormResize(); });
    return QMainWindow::eventFilter(object, event);
}

// ---- grid ----

QString TForm2::sgGetEditMask(int col, int) const {
    // Each digit may be left out ("0" in a Qt mask is an optional digit).
    return col == kCurrentColumn ? QStringLiteral("0.00") : QStringLiteral("00000");
}

void TForm2::sgSetEditText(int, int, const QString &, bool endedWithEnter) {
    // The grid has stored the text already. A deliberate deviation: every typed change
    // marks the data as unsaved, not only an edit ended with Enter, so that measurements
    // typed in and left with an arrow key or a click (or still in the open editor) are not
    // dropped unasked by the close query. Only an edit ended with Enter redraws the graph.
    DataModified_ = true;
    if (endedWithEnter)
        DrawGraph();
}

void TForm2::sgDrawCell(QPainter &p, int col, int row, QRect r, bool selected, bool focused) const {
    p.setFont(sg_->font());
    QColor background = palette().color(QPalette::Button);
    if (col > 1)
        background = row == 0 ? ToQColor(SeriesColors[static_cast<std::size_t>(col)]) : Qt::white;
    // Black text, as on the classic button face, unless a dark desktop theme makes the
    // button face of columns 0 and 1 too dark for it.
    QColor textColor = kv::ReadableText(background, Qt::black);
    if (selected && focused) {
        background = QColor(0, 0, 255);
        textColor = Qt::white;
    }
    p.fillRect(r, background);
    if (row == 0 || col == 0) {
        // A thin raised bevel: shadow on the bottom and right, then light on top and left.
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        r.adjust(1, 1, -1, -1);
    }
    p.setPen(textColor);
    p.setClipRect(r);
    p.drawText(r.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               QString::fromStdString(grid_.Cell(col, row)));
    p.setClipping(false);
}

// ---- file, clear, close query ----

void TForm2::Save1Click() {
    sd_.fileName = SavFileName_;
    if (!ctx_.prompter.RunFileDialog(sd_))
        return;
    SavFileName_ = sd_.fileName;
    // The whole file is written at once and replaces the old one only when complete; a
    // failure is reported and the data stays marked unsaved, so the close query still asks.
    const kv::FileResult r = kv::WriteTextFile(SavText(grid_), SavFileName_, &ctx_.prompter);
    if (!r) {
        kv::ShowError(ctx_.prompter, kv::corrtable::FileWriteErrorText(SavFileName_, r.error));
        return;
    }
    DataModified_ = false;
}

void TForm2::Load1Click() {
    od_.fileName = SavFileName_;
    if (!ctx_.prompter.RunFileDialog(od_))
        return;
    SavFileName_ = od_.fileName;
    const kv::FileResult r = LoadSavFile(SavFileName_, grid_);
    if (!r) {
        kv::ShowError(ctx_.prompter, kv::corrtable::FileReadErrorText(SavFileName_, r.error));
        return;
    }
    DataModified_ = false;
    ShowGrid();
    DrawGraph();
}

void TForm2::Clear1Click() {
    if (kv::AskQuestion(ctx_.prompter, kv::kAreYouSure) != kv::IdYes)
        return;
    grid_.ClearData();
    ShowGrid();
    DrawGraph();
}

void TForm2::UpdateGraph1Click() {
    DrawGraph();
}

void TForm2::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // At a large scale factor the window's size may exceed the screen.
    kv::FitOnScreen(this);
}

void TForm2::AskSaveModified(bool &canClose) {
    if (!DataModified_)
        return;
    const int answer = kv::AskQuestionCancel(ctx_.prompter, kDataModified);
    if (answer == kv::IdYes || answer == kv::IdCancel)
        canClose = false;
}

// ---- graph ----

void TForm2::FormResize() {
    const QSize size = img_->size();
    if (size.isEmpty())
        return;
    if (bitmap_.size() != size)
        bitmap_ = QImage(size, QImage::Format_RGB32);
    DrawGraph();
}

void TForm2::DrawGraph() {
    if (bitmap_.isNull())
        return;
    // What was drawn stays in the bitmap even when a bad cell stopped the drawing, and the
    // nominal column shows what was refreshed.
    const auto show = qScopeGuard([this] {
        img_->setPixmap(QPixmap::fromImage(bitmap_));
        ShowGrid();
    });

    const int W = bitmap_.width();
    const int H = bitmap_.height();
    QPainter p(&bitmap_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.fillRect(0, 0, W, H, Qt::white);

    p.setFont(LabelFont());
    p.setPen(QColor(0, 0, 255));
    const QFontMetrics fm(p.font());
    p.drawText(QPoint(4, 4 + fm.ascent()), QStringLiteral("div|U"));
    p.drawText(QPoint(W - 13, H - 20 + fm.ascent()), QStringLiteral("I"));

    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const Pixel o = GraphOrigin(H);
    p.drawLine(kGraphMargin, kGraphMargin, o.x, o.y);
    p.drawLine(o.x, o.y, W - kGraphMargin, o.y);

    for (int col = kFirstAdcColumn; col < kGridColumns; ++col)
        DrawSeries(p, W, H, col);
}

void TForm2::DrawSeries(QPainter &p, int W, int H, int col) {
    if (col > kLastSeriesColumn)
        return;
    PointList points = CollectPoints(grid_, col);
    const int width = p.pen().width();
    if (points.empty())
        return;
    SortPointsByCurrent(points);
    const SeriesLayout l = LayoutSeries(points, W, H);
    const QColor color = ToQColor(SeriesColors[static_cast<std::size_t>(col)]);

    // The dotted reference line from the curve's start to its last point.
    QPen dotted(color, 1);
    dotted.setCosmetic(true);
    dotted.setDashPattern({1.0, 1.0});
    p.setPen(dotted);
    const Pixel end = l.points.back();
    p.drawLine(l.referenceStart.x, l.referenceStart.y, end.x, end.y);

    // The solid polyline from the origin through every point, each with its mark.
    const QPen solid(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    Pixel from = l.origin;
    for (const Pixel &pt : l.points) {
        p.setPen(solid);
        p.drawLine(from.x, from.y, pt.x, pt.y);
        DrawMark(p, pt.x, pt.y);
        from = pt;
    }
}

void TForm2::DrawMark(QPainter &p, int x, int y) {
    const QPen saved = p.pen();
    QPen black(Qt::black, 1);
    black.setCosmetic(true);
    p.setPen(black);
    p.drawLine(x - 7, y, x + 7, y);
    p.drawLine(x, y - 7, x, y + 7);
    p.setPen(saved);
}

// ---- correction table ----

void TForm2::CalcCorrectionTable1Click() {
    // What the run did reaches the window through its steps: the grid, the record, the editor.
    (void)RunCalculation(
        ctx_.prompter, grid_,
        {.gridChanged = [this] { ShowGrid(); },
         .saveDialog = &sd_,
         .calculated =
             [this](const CalculationRun &r) {
                 if (ctx_.record)
                     ctx_.record(kv::history::CalculationEntry(r.table, r.points, r.multiplier,
                                                               r.zeroOffset, r.file, r.saveError));
             },
         .editAndWrite =
             [this](const std::string &file) {
                 if (!editor_)
                     return;
                 editor_->LoadTableFile(file, ctx_.CorrTable);
                 if (editor_->exec() == 1)
                     WriteTableFromWindows(ctx_, file, [this](const kv::Notices &n) {
                         kv::ShowNotices(n, ctx_.prompter, {});
                     });
             }});
}
