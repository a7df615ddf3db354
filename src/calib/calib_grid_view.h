// The calibration window's grid: a table view over the CalGrid texts. Row 0 of the grid
// is the horizontal header, column 0 the vertical header (both stay in place while the
// data scrolls); every cell, header cells included, is painted by the window's sgDrawCell.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

#include "calib/cal_grid.h"

class QAbstractButton;

namespace kv::calib {

// The data rows and columns 1..4 of a CalGrid as a Qt model: model row r is grid row
// r + 1, model column c is grid column c + 1. The grid itself is owned by the window.
class CalGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    CalGridModel(CalGrid &grid, QObject *parent = nullptr);

    static int GridColumn(const QModelIndex &index) { return index.column() + 1; }
    static int GridRow(const QModelIndex &index) { return index.row() + 1; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
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
    // An edited text arrives; endedWithEnter when the edit was closed with Enter.
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
    CalGridDelegate(const CalGridCallbacks &callbacks, QObject *parent);

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
    QWidget *enterPressedIn_ = nullptr; // the editor in which Enter was pressed last
};

class CalGridView : public QTableView {
    Q_OBJECT

public:
    CalGridView(CalGrid &grid, CalGridCallbacks callbacks, QWidget *parent = nullptr);

    CalGridModel &gridModel() { return *model_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    CalGridCallbacks callbacks_;
    CalGridModel *model_;
    QWidget *corner_ = nullptr;
};

} // namespace kv::calib
