#include "app/window_placement.h"

#include <QWidget>

#include "app/main_window.h"

namespace kv {

QWidget *OwnerWindow(QWidget *dialog, const AppContext &ctx) {
    if (QWidget *p = dialog->parentWidget())
        return p->window();
    return ctx.form1;
}

void CenterOn(QWidget *dialog, const QWidget *owner) {
    if (owner == nullptr || !owner->isVisible())
        return;
    const QRect frame = dialog->frameGeometry();
    // frameGeometry() and pos() differ by the frame's offset; keep it.
    const QPoint offset = dialog->pos() - frame.topLeft();
    dialog->move(owner->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2) +
                 offset);
}

} // namespace kv
