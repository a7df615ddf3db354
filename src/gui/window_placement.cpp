#include "gui/window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPointer>
#include <QWidget>

#include "gui/main_window.h"

namespace kv {

namespace {

// Title bars hold a window icon and up to three buttons beside the caption.
constexpr int kTitleBarExtras = 120;

class InputWindowTracker : public QObject {
public:
    using QObject::QObject;
    QPointer<QWidget> last;

protected:
    bool eventFilter(QObject *object, QEvent *event) override {
        const auto type = event->type();
        if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) &&
            object->isWidgetType()) {
            QWidget *w = static_cast<QWidget *>(object)->window();
            // A popup menu belongs to the window it was opened from.
            if (w->windowType() != Qt::Popup)
                last = w;
        }
        return false;
    }
};

InputWindowTracker *tracker = nullptr;

bool Shown(const QWidget *w) {
    return w != nullptr && w->isVisible();
}

} // namespace

QWidget *OwnerWindow(QWidget *dialog, const AppContext &ctx) {
    if (QWidget *p = dialog->parentWidget())
        return p->window();
    return ctx.form1;
}

void CenterOn(QWidget *dialog, const QWidget *owner) {
    if (owner == nullptr || !owner->isVisible())
        return;
    QSize outer = dialog->frameGeometry().size();
    if (outer == dialog->size())
        outer += owner->frameGeometry().size() - owner->size();
    // A window's position is that of its frame.
    dialog->move(owner->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
}

void TrackInputWindows(QApplication &app) {
    if (tracker)
        return;
    tracker = new InputWindowTracker(&app);
    app.installEventFilter(tracker);
}

QWidget *DialogOwner() {
    if (QWidget *w = QApplication::activeModalWidget(); Shown(w))
        return w;
    if (tracker && Shown(tracker->last))
        return tracker->last;
    if (QWidget *w = QApplication::activeWindow(); Shown(w) && w->windowType() != Qt::Popup)
        return w;
    return nullptr;
}

int CaptionWidth(const QString &caption) {
    QFont title = QApplication::font("QMdiSubWindowTitleBar");
    title.setBold(true);
    return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarExtras;
}

void PlaceDialog(QWidget *dialog) {
    const int needed = CaptionWidth(dialog->windowTitle());
    if (dialog->width() < needed) {
        dialog->setMinimumWidth(needed);
        dialog->resize(needed, dialog->height());
    }
    if (QWidget *p = dialog->parentWidget())
        CenterOn(dialog, p->window());
}

} // namespace kv
