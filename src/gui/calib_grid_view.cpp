#include "gui/calib_grid_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

namespace kv::calib {

namespace {

constexpr int kRowHeight = 24;
constexpr int kRowNumberWidth = 28;
constexpr int kColumnWidth = 60;

// The text the editor showed when it last agreed with its cell.
constexpr const char *kShownText = "kvShownText";
// The editor's cell, and the cell's text when the editor opened, given back by Escape.
constexpr const char *kCell = "kvCell";
constexpr const char *kOpeningText = "kvOpeningText";

// Paints the fixed cells (0, row) and (1, row) side by side in rect: a black fill whose
// last pixel row and column of each cell stay as the grid line.
void DrawFixedCells(QPainter &p, const CalGridCallbacks &callbacks, int row, const QRect &rect) {
    p.fillRect(rect, Qt::black);
    const QRect number(rect.left(), rect.top(), kRowNumberWidth - 1, rect.height() - 1);
    const QRect nominal(rect.left() + kRowNumberWidth, rect.top(),
                        rect.width() - kRowNumberWidth - 1, rect.height() - 1);
    p.save();
    callbacks.drawCell(p, 0, row, number, false, false);
    p.restore();
    p.save();
    callbacks.drawCell(p, kNominalColumn, row, nominal, false, false);
    p.restore();
}

} // namespace

CalGridModel::CalGridModel(CalGrid &grid, QObject *parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int CalGridModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : grid_.DataRows();
}

int CalGridModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kGridColumns - kFirstDataColumn;
}

QVariant CalGridModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return QString::fromStdString(grid_.Cell(GridColumn(index), GridRow(index)));
}

bool CalGridModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    grid_.SetCell(GridColumn(index), GridRow(index), value.toString().toStdString());
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant CalGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return QString::fromStdString(grid_.Cell(section + kFirstDataColumn, 0));
    return QString::fromStdString(grid_.Cell(0, section + 1));
}

Qt::ItemFlags CalGridModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
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
    painter->save();
    if (orientation() == Qt::Vertical) {
        DrawFixedCells(*painter, callbacks_, logicalIndex + 1, rect);
    } else {
        // The header sections abut; the last pixel row and column carry the grid line.
        painter->fillRect(rect, Qt::black);
        callbacks_.drawCell(*painter, logicalIndex + kFirstDataColumn, 0,
                            rect.adjusted(0, 0, -1, -1), false, false);
    }
    painter->restore();
}

CalGridDelegate::CalGridDelegate(const CalGridCallbacks &callbacks, CalGridModel &model,
                                 QObject *parent)
    : QStyledItemDelegate(parent), callbacks_(callbacks), model_(model) {}

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
    const int col = CalGridModel::GridColumn(index);
    const int row = CalGridModel::GridRow(index);
    e->setInputMask(callbacks_.editMask(col, row));
    e->setProperty(kOpeningText, index.data(Qt::EditRole));
    e->setProperty(kCell, QVariant::fromValue(QPersistentModelIndex(index)));
    // The grid stores the text on every keystroke, so whatever redraws the graph while the
    // editor is open (Update Graph, a resize) draws what is typed and leaves it in the cell.
    connect(e, &QLineEdit::textEdited, this, [this, e, col, row](const QString &text) {
        const auto cell = e->property(kCell).value<QPersistentModelIndex>();
        if (!cell.isValid())
            return;
        e->setProperty(kShownText, text);
        model_.setData(cell, text, Qt::EditRole);
        callbacks_.setEditText(col, row, text, false);
    });
    return e;
}

void CalGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    auto *e = qobject_cast<QLineEdit *>(editor);
    if (!e)
        return;
    // Every refresh of the grid comes here while the editor is open. An editor that shows
    // its cell's text is left alone, cursor and all; only a text changed under it (Load,
    // Clear) replaces it.
    const QString text = index.data(Qt::EditRole).toString();
    const QVariant shown = e->property(kShownText);
    if (shown.isValid() && shown.toString() == text)
        return;
    e->setText(text);
    e->setProperty(kShownText, text);
    // The text starts selected, so typing replaces it from the first position (a masked
    // editor with its cursor at the end would take no more digits).
    e->selectAll();
}

void CalGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *,
                                   const QModelIndex &index) const {
    auto *e = qobject_cast<QLineEdit *>(editor);
    if (!e)
        return;
    const bool withEnter = enterPressedIn_ == editor;
    const_cast<CalGridDelegate *>(this)->enterPressedIn_ = nullptr;
    // The cell holds the typed text already. An editor left without a keystroke reports
    // only an Enter, and never hands back its own text: the mask would cut a longer text
    // from a file ("1.2345" to "1.23") just by passing through.
    if (withEnter || e->isModified())
        callbacks_.setEditText(CalGridModel::GridColumn(index), CalGridModel::GridRow(index),
                               index.data(Qt::EditRole).toString(), withEnter);
}

bool CalGridDelegate::eventFilter(QObject *object, QEvent *event) {
    auto *e = qobject_cast<QLineEdit *>(object);
    if (e && event->type() == QEvent::ShortcutOverride) {
        // The window's own shortcuts (Ctrl+U, Update Graph) reach its menu while a cell is
        // edited; the line edit would take Ctrl+U as "delete the line".
        const QKeySequence key(static_cast<QKeyEvent *>(event)->keyCombination());
        const auto actions = e->window()->findChildren<QAction *>();
        const bool windowShortcut = std::any_of(actions.begin(), actions.end(), [&](QAction *a) {
            return a->isEnabled() && a->shortcuts().contains(key);
        });
        if (windowShortcut) {
            event->ignore();
            return true;
        }
    }
    if (e && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Enter || key == Qt::Key_Return)
            enterPressedIn_ = e;
        // Escape gives the cell back the text it had when the editor opened.
        const auto cell = e->property(kCell).value<QPersistentModelIndex>();
        if (key == Qt::Key_Escape && e->isModified() && cell.isValid())
            model_.setData(cell, e->property(kOpeningText), Qt::EditRole);
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

CalGridView::CalGridView(CalGrid &grid, CalGridCallbacks callbacks, QWidget *parent)
    : QTableView(parent), callbacks_(std::move(callbacks)), model_(new CalGridModel(grid, this)) {
    setHorizontalHeader(new CalGridHeader(Qt::Horizontal, callbacks_, this));
    setVerticalHeader(new CalGridHeader(Qt::Vertical, callbacks_, this));
    setModel(model_);
    setItemDelegate(new CalGridDelegate(callbacks_, *model_, this));
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    setCornerButtonEnabled(false);
    corner_ = findChild<QAbstractButton *>();
    if (corner_)
        corner_->installEventFilter(this);
    setWordWrap(false);

    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setFixedWidth(kRowNumberWidth + kColumnWidth);
    horizontalHeader()->setMinimumSectionSize(kColumnWidth);
    horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    horizontalHeader()->setFixedHeight(kRowHeight);
}

void CalGridView::ShowGrid() {
    model_->Refresh();
    viewport()->update();
    verticalHeader()->viewport()->update();
    horizontalHeader()->viewport()->update();
    if (corner_)
        corner_->update();
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
    // The corner above the fixed columns holds the heading cells (0, 0) and (1, 0).
    if (object == corner_ && event->type() == QEvent::Paint) {
        QPainter p(corner_);
        DrawFixedCells(p, callbacks_, 0, corner_->rect());
        return true;
    }
    return QTableView::eventFilter(object, event);
}

} // namespace kv::calib
