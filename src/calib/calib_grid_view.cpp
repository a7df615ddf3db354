#include "calib/calib_grid_view.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace kv::calib {

CalGridModel::CalGridModel(CalGrid &grid, QObject *parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int CalGridModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : grid_.DataRows();
}

int CalGridModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kGridColumns - 1;
}

QVariant CalGridModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return QString::fromStdString(grid_.Cell(GridColumn(index), GridRow(index)));
}

QVariant CalGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return QString::fromStdString(grid_.Cell(section + 1, 0));
    return QString::fromStdString(grid_.Cell(0, section + 1));
}

Qt::ItemFlags CalGridModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (GridColumn(index) >= kCurrentColumn) // column 1 is fixed
        f |= Qt::ItemIsEditable;
    return f;
}

void CalGridModel::Refresh() {
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

CalGridHeader::CalGridHeader(Qt::Orientation orientation, const CalGridCallbacks &callbacks,
                             QWidget *parent)
    : QHeaderView(orientation, parent), callbacks_(callbacks) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

void CalGridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    const int col = orientation() == Qt::Horizontal ? logicalIndex + 1 : 0;
    const int row = orientation() == Qt::Horizontal ? 0 : logicalIndex + 1;
    // The header sections abut; the last pixel row and column carry the grid line.
    painter->save();
    painter->fillRect(rect, Qt::black);
    callbacks_.drawCell(*painter, col, row, rect.adjusted(0, 0, -1, -1), false, false);
    painter->restore();
}

CalGridDelegate::CalGridDelegate(const CalGridCallbacks &callbacks, QObject *parent)
    : QStyledItemDelegate(parent), callbacks_(callbacks) {}

void CalGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const {
    painter->save();
    callbacks_.drawCell(*painter, CalGridModel::GridColumn(index), CalGridModel::GridRow(index),
                        option.rect, option.state.testFlag(QStyle::State_Selected),
                        option.state.testFlag(QStyle::State_HasFocus));
    painter->restore();
}

QWidget *CalGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                       const QModelIndex &index) const {
    auto *e = new QLineEdit(parent);
    e->setFrame(false);
    e->setInputMask(
        callbacks_.editMask(CalGridModel::GridColumn(index), CalGridModel::GridRow(index)));
    return e;
}

void CalGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    // The text starts selected, so typing replaces it from the first position (a masked
    // editor with its cursor at the end would take no more digits).
    if (auto *e = qobject_cast<QLineEdit *>(editor)) {
        e->setText(index.data(Qt::EditRole).toString());
        e->selectAll();
    }
}

void CalGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *,
                                   const QModelIndex &index) const {
    auto *e = qobject_cast<QLineEdit *>(editor);
    if (!e)
        return;
    const bool withEnter = enterPressedIn_ == editor;
    const_cast<CalGridDelegate *>(this)->enterPressedIn_ = nullptr;
    // An editor left without a keystroke hands back the cell's own text: the mask would
    // otherwise cut a longer text from a file ("1.2345" to "1.23") just by passing through.
    const QString text = e->isModified() ? e->text() : index.data(Qt::EditRole).toString();
    callbacks_.setEditText(CalGridModel::GridColumn(index), CalGridModel::GridRow(index), text,
                           withEnter);
}

bool CalGridDelegate::eventFilter(QObject *object, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Enter || key == Qt::Key_Return)
            enterPressedIn_ = qobject_cast<QWidget *>(object);
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

CalGridView::CalGridView(CalGrid &grid, CalGridCallbacks callbacks, QWidget *parent)
    : QTableView(parent), callbacks_(std::move(callbacks)), model_(new CalGridModel(grid, this)) {
    setHorizontalHeader(new CalGridHeader(Qt::Horizontal, callbacks_, this));
    setVerticalHeader(new CalGridHeader(Qt::Vertical, callbacks_, this));
    setModel(model_);
    setItemDelegate(new CalGridDelegate(callbacks_, this));
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    setCornerButtonEnabled(false);
    corner_ = findChild<QAbstractButton *>();
    if (corner_)
        corner_->installEventFilter(this);
    setWordWrap(false);

    constexpr int kRowHeight = 24;
    constexpr int kRowNumberWidth = 28;
    constexpr int kColumnWidth = 60;
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setFixedWidth(kRowNumberWidth);
    horizontalHeader()->setMinimumSectionSize(kColumnWidth);
    horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    horizontalHeader()->setFixedHeight(kRowHeight);
}

void CalGridView::keyPressEvent(QKeyEvent *event) {
    // Enter on a cell that is not being edited opens its editor.
    const int key = event->key();
    if ((key == Qt::Key_Enter || key == Qt::Key_Return) && state() != EditingState &&
        currentIndex().isValid() && (model_->flags(currentIndex()) & Qt::ItemIsEditable)) {
        edit(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CalGridView::eventFilter(QObject *object, QEvent *event) {
    // The corner above the row numbers is grid cell (0, 0), painted like its neighbours.
    if (object == corner_ && event->type() == QEvent::Paint) {
        QPainter p(corner_);
        p.fillRect(corner_->rect(), Qt::black);
        callbacks_.drawCell(p, 0, 0, corner_->rect().adjusted(0, 0, -1, -1), false, false);
        return true;
    }
    return QTableView::eventFilter(object, event);
}

} // namespace kv::calib
