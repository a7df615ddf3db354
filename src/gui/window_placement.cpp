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
    // The window under last's dialogs: last itself unless it is a dialog over another.
    QPointer<QWidget> base;

protected:
    bool eventFilter(QObject *object, QEvent *event) override {
        const auto type = event->type();
        if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) &&
            object->isWidgetType()) {
            QWidget *w = static_cast<QWidget *>(object)->window();
            // A popup menu belongs to the window it was opened from.
            if (w->windowType() != Qt::Popup) {
                last = w;
                while (w->parentWidget())
                    w = w->parentWidget()->window();
                base = w;
            }
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
    return ctx.mainWindow;
}

void CenterOn(QWidget *dialog, const QWidget *owner) {
    if (owner == nullptr || !owner->isVisible())
        return;
    QSize outer = dialog->frameGeometry().size();
    const bool frameKnown = outer != dialog->size();
    if (!frameKnown)
        outer += owner->frameGeometry().size() - owner->size();
    // A window's position is that of its frame.
    QPoint pos = owner->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2);
    // A window already created but not yet framed (a dialog placed in its first showEvent)
    // is moved by its client area: the frame would come out a title bar higher than at every
    // later opening. Its client goes where the owner's frame puts the owner's client.
    if (!frameKnown && dialog->testAttribute(Qt::WA_WState_Created))
        pos += owner->geometry().topLeft() - owner->frameGeometry().topLeft();
    dialog->move(pos);
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
    // A dialog closed since (the previous question of a sequence) hands over to the window it
    // was over, so that every question of the sequence comes over the same window.
    if (tracker && Shown(tracker->last))
        return tracker->last;
    if (tracker && Shown(tracker->base))
        return tracker->base;
    if (QWidget *w = QApplication::activeWindow(); Shown(w) && w->windowType() != Qt::Popup)
        return w;
    return nullptr;
}

int CaptionWidth(const QString &caption) {
    QFont title = QApplication::font("QMdiSubWindowTitleBar");
    title.setBold(true);
    return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarExtras;
}

QString MenuText(const std::string &text) {
    return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void BringToFront(QWidget *window) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
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
