#include "gui/theme.h"

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// Relative luminance of a colour (sRGB), 0 black .. 1 white.
double Luminance(const QColor &c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor &a, const QColor &b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text of ordinary size reads well from a contrast of 4.5 on.
constexpr double kReadable = 4.5;

// The picture of packaging/org.korvane.Korvane.svg, on a 128-unit square.
QPixmap DrawIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    const QColor navy(0x1f, 0x4e, 0x79), light(0xf2, 0xf2, 0xf2), ink(0x0b, 0x27, 0x40);
    p.setPen(Qt::NoPen);
    p.setBrush(navy);
    p.drawRoundedRect(QRectF(8, 8, 112, 112), 20, 20);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x5b, 0x9b, 0xd5), 3));
    p.drawRoundedRect(QRectF(14, 14, 100, 100), 16, 16);
    p.setPen(QPen(light, 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 64), QPointF(110, 64));
    p.setPen(QPen(ink, 3));
    p.setBrush(light);
    p.drawRoundedRect(QRectF(36, 46, 56, 36), 6, 6);
    QPainterPath wire(QPointF(40, 64));
    wire.quadTo(QPointF(52, 50), QPointF(64, 64));
    wire.quadTo(QPointF(76, 78), QPointF(88, 64));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xc0, 0, 0), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wire);
    const QPointF bolt[] = {{70, 22}, {56, 42}, {66, 42}, {58, 58}, {78, 34}, {67, 34}};
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xff, 0xc0, 0x00));
    p.drawPolygon(bolt, static_cast<int>(std::size(bolt)));
    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.setPen(light);
    p.drawText(QRectF(0, 88, 128, 24), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("KV"));
    return pm;
}

} // namespace

QColor ReadableText(const QColor &background, const QColor &wanted) {
    if (Contrast(background, wanted) >= kReadable)
        return wanted;
    return Contrast(background, Qt::black) >= Contrast(background, Qt::white) ? QColor(Qt::black)
                                                                              : QColor(Qt::white);
}

void SetFieldBackground(QLineEdit *field, const QColor &background) {
    QPalette pal = field->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(g, QPalette::Base, background);
        pal.setColor(g, QPalette::Text, ReadableText(background, pal.color(g, QPalette::Text)));
    }
    field->setPalette(pal);
}

void FitOnScreen(QWidget *window) {
    const QScreen *screen = window->screen();
    if (screen == nullptr)
        return;
    const QRect avail = screen->availableGeometry();
    // The frame's share; before the first showing it is not known, and taken as that of
    // another window on the screen (none without one).
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isNull())
        for (const QWidget *w : QApplication::topLevelWidgets())
            if (w != window && w->isVisible() && w->frameGeometry().size() != w->size()) {
                frame = w->frameGeometry().size() - w->size();
                break;
            }
    const QSize room = avail.size() - frame;
    const QSize size(std::min(window->width(), room.width()),
                     std::min(window->height(), room.height()));
    if (size != window->size())
        window->resize(size.expandedTo(window->minimumSize().boundedTo(room)));
    QRect f = window->frameGeometry();
    f.moveLeft(
        std::clamp(f.left(), avail.left(), std::max(avail.left(), avail.right() - f.width() + 1)));
    f.moveTop(
        std::clamp(f.top(), avail.top(), std::max(avail.top(), avail.bottom() - f.height() + 1)));
    if (f.topLeft() != window->frameGeometry().topLeft())
        window->move(f.topLeft());
}

QIcon ProgramIcon() {
    QIcon icon = QIcon::fromTheme(QStringLiteral("org.korvane.Korvane"));
    if (!icon.isNull())
        return icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace kv
