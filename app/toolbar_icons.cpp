#include "app/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace app {

namespace {

constexpr int kSize = 24;

QIcon draw_icon(const std::function<void(QPainter &)> &draw) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    draw(p);
    p.end();
    return QIcon(pixmap);
}

// A lens with a handle towards the lower right; the sign inside tells in from out.
void magnifier(QPainter &p, bool plus) {
    p.setPen(QPen(QColor(40, 40, 40), 2.0));
    p.setBrush(QColor(210, 232, 255));
    p.drawEllipse(QRectF(2.5, 2.5, 13.0, 13.0));
    p.setPen(QPen(QColor(40, 40, 40), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14.5, 14.5), QPointF(21.0, 21.0));
    p.setPen(QPen(Qt::black, 2.0));
    p.drawLine(QPointF(5.5, 9.0), QPointF(12.5, 9.0));
    if (plus)
        p.drawLine(QPointF(9.0, 5.5), QPointF(9.0, 12.5));
}

void arrow_head(QPainterPath &path, QPointF tip, QPointF back_left, QPointF back_right) {
    path.moveTo(tip);
    path.lineTo(back_left);
    path.lineTo(back_right);
    path.closeSubpath();
}

} // namespace

QIcon zoom_in_icon() {
    return draw_icon([](QPainter &p) { magnifier(p, true); });
}

QIcon zoom_out_icon() {
    return draw_icon([](QPainter &p) { magnifier(p, false); });
}

QIcon zoom_window_icon() {
    return draw_icon([](QPainter &p) {
        p.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(Qt::black, 1.0, Qt::DashLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(3, 5, 17, 13);
        // The south-west corner is the one the new view keeps.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawRect(2, 16, 4, 4);
    });
}

QIcon pan_icon() {
    return draw_icon([](QPainter &p) {
        const double c = kSize / 2.0;
        p.setPen(QPen(Qt::black, 2.0));
        p.drawLine(QPointF(c, 5.0), QPointF(c, kSize - 5.0));
        p.drawLine(QPointF(5.0, c), QPointF(kSize - 5.0, c));
        QPainterPath heads;
        arrow_head(heads, {c, 1.0}, {c - 4.0, 6.0}, {c + 4.0, 6.0});
        arrow_head(heads, {c, kSize - 1.0}, {c - 4.0, kSize - 6.0}, {c + 4.0, kSize - 6.0});
        arrow_head(heads, {1.0, c}, {6.0, c - 4.0}, {6.0, c + 4.0});
        arrow_head(heads, {kSize - 1.0, c}, {kSize - 6.0, c - 4.0}, {kSize - 6.0, c + 4.0});
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPath(heads);
    });
}

} // namespace app
