// The calibration window's grid: a table view over the CalGrid texts. Row 0 of the grid is
// the horizontal header. Columns 0 and 1 (the row numbers and the nominal ADC column) are the
// fixed columns: they are drawn by the vertical header, so they stay in place while the data
// columns scroll, and are never the current cell, never selected and never typed into. Every
// cell, header cells included, is painted by the window's sgDrawCell.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

#include "calib/cal_grid.h"

class QAbstractButton;

namespace kv::calib {

// The grid columns the view shows as its own cells: 2..4; 0 and 1 are fixed.
inline constexpr int kFirstDataColumn = kCurrentColumn;

// The data rows and columns 2..4 of a CalGrid as a Qt model: model row r is grid row r + 1,
// model column c is grid column c + 2. The grid itself is owned by the window.
class CalGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    CalGridModel(CalGrid &grid, QObject *parent = nullptr);

    static int GridColumn(const QModelIndex &index) { return index.column() + kFirstDataColumn; }
    static int GridRow(const QModelIndex &index) { return index.row() + 1; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // Stores a cell's text as the cell editor hands it over, keystroke by keystroke.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Tells the view that any cell may have changed.
    void Refresh();

private:
    CalGrid &grid_;
};

// What the view asks of its window.
struct CalGridCallbacks {
    // Paints the grid cell (col, row) in rect.
    std::function<void(QPainter &, int col, int row, const QRect &, bool selected, bool focused)>
        drawCell;
    std::function<QString(int col, int row)> editMask;
    // A report of an edited cell, after the grid has stored its text: one for each typed
    // change while the editor is open (endedWithEnter false), and one when the editor closes
    // with Enter (true) or after typing (false).
    std::function<void(int col, int row, const QString &text, bool endedWithEnter)> setEditText;
};

class CalGridHeader : public QHeaderView {
    Q_OBJECT

public:
    CalGridHeader(Qt::Orientation orientation, const CalGridCallbacks &callbacks, QWidget *parent);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    const CalGridCallbacks &callbacks_;
};

class CalGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    CalGridDelegate(const CalGridCallbacks &callbacks, CalGridModel &model, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    const CalGridCallbacks &callbacks_;
    CalGridModel &model_;
    QWidget *enterPressedIn_ = nullptr; // the editor in which Enter was pressed last
};

class CalGridView : public QTableView {
    Q_OBJECT

public:
    CalGridView(CalGrid &grid, CalGridCallbacks callbacks, QWidget *parent = nullptr);

    CalGridModel &gridModel() { return *model_; }
    // Repaints every cell, the fixed ones included, from the grid's texts.
    void ShowGrid();

    // The typed first letter starts an edit; it never searches the rows.
    void keyboardSearch(const QString &) override {}

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    CalGridCallbacks callbacks_;
    CalGridModel *model_;
    QWidget *corner_ = nullptr;
};

} // namespace kv::calib
