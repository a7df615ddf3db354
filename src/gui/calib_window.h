// TForm2: the calibration window "Graph" with the data grid and the graph.
#pragma once

#include <QImage>
#include <QMainWindow>

#include <functional>
#include <string>

#include "calib/cal_grid.h"
#include "gui/app_context.h"

class QAction;
class TForm4;
class QLabel;
class QPainter;

namespace kv::calib {
class CalGridView;
}

class TForm2 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm2(kv::AppContext &ctx, QWidget *parent = nullptr);
    ~TForm2() override;

    // The correction table editor the calculation shows its table in; none until made.
    void UseEditor(TForm4 *editor) { editor_ = editor; }

    // The main window's close query: may set canClose to false; saves nothing.
    void AskSaveModified(bool &canClose);

    // Menu handlers. Called directly they throw kv::Error for a bad number in the grid, a
    // loaded file or a prompt; from the menu that failure goes to the general error report.
    void Save1Click();
    void Load1Click();
    void Clear1Click();
    void UpdateGraph1Click();
    void CalcCorrectionTable1Click();

    // Grid events.
    QString sgGetEditMask(int col, int row) const;
    void sgSetEditText(int col, int row, const QString &text, bool endedWithEnter);
    void sgDrawCell(QPainter &painter, int col, int row, QRect rect, bool selected,
                    bool focused) const;

    // The graph, drawn into the bitmap shown by img.
    void FormResize();
    void DrawGraph();

    // State, for the main window and tests.
    bool DataModified() const { return DataModified_; }
    const std::string &SavFileName() const { return SavFileName_; }
    kv::calib::CalGrid &Grid() { return grid_; }
    // Sets a data cell's text as the cell editor would store it, and shows it.
    void SetCellText(int col, int row, const std::string &text);
    const QImage &Bitmap() const { return bitmap_; }
    const kv::FileDialog &OpenDialog() const { return od_; }
    const kv::FileDialog &SaveDialog() const { return sd_; }

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TForm4 *editor_ = nullptr;

    void FormCreate();
    void DrawSeries(QPainter &painter, int W, int H, int col);
    void DrawMark(QPainter &painter, int x, int y);
    void ShowGrid();
    // Runs a handler from the menu: a failure ends it with the general error report.
    void Guarded(const std::function<void()> &handler);

    kv::AppContext &ctx_;
    kv::calib::CalGrid grid_;
    kv::calib::CalGridView *sg_ = nullptr;
    QLabel *img_ = nullptr;
    QImage bitmap_;
    kv::FileDialog od_;
    kv::FileDialog sd_;
    bool DataModified_ = false;
    std::string SavFileName_;
};
