#include "app/panel/toolbar_icons.h"

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

// A site point: a red dot with a white rim.
void site_dot(QPainter &p, QPointF at, double r = 2.6) {
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(QColor(190, 20, 30));
    p.drawEllipse(at, r, r);
}

// The pointer that marks a place on the map.
void pointer_arrow(QPainter &p, QPointF tip) {
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(0.0, 11.0));
    arrow.lineTo(tip + QPointF(3.0, 8.0));
    arrow.lineTo(tip + QPointF(6.0, 12.0));
    arrow.lineTo(tip + QPointF(8.0, 11.0));
    arrow.lineTo(tip + QPointF(5.0, 7.0));
    arrow.lineTo(tip + QPointF(9.0, 7.0));
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
}

} // namespace

QIcon goto_object_icon() {
    return draw_icon([](QPainter &p) {
        // A list of names with one picked out.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(QRectF(3, 2, 18, 20));
        p.setBrush(QColor(60, 110, 200));
        p.drawRect(QRectF(3, 9, 18, 5));
        p.setPen(QPen(QColor(60, 60, 60), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(3, 2, 18, 20));
        for (const double y : {5.5, 17.5})
            p.drawLine(QPointF(6, y), QPointF(18, y));
        p.setPen(QPen(Qt::white, 1.0));
        p.drawLine(QPointF(6, 11.5), QPointF(18, 11.5));
    });
}

QIcon text_search_icon() {
    return draw_icon([](QPainter &p) {
        // A page of text under a lens.
        p.setPen(QPen(QColor(80, 80, 80), 1.0));
        p.setBrush(QColor(255, 252, 230));
        p.drawRect(QRectF(2.5, 1.5, 14, 18));
        for (double y = 5.5; y < 17; y += 3)
            p.drawLine(QPointF(5, y), QPointF(14, y));
        p.setPen(QPen(QColor(40, 40, 40), 2.0));
        p.setBrush(QColor(210, 232, 255, 200));
        p.drawEllipse(QRectF(10, 10, 9, 9));
        p.setPen(QPen(QColor(40, 40, 40), 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(18, 18), QPointF(22, 22));
    });
}

QIcon object_point_search_icon() {
    return draw_icon([](QPainter &p) {
        // Drawn areas with the pointer on one of them.
        p.setPen(QPen(QColor(140, 60, 20), 1.5));
        p.setBrush(QColor(230, 160, 90));
        p.drawPolygon(QPolygonF({QPointF(2, 6), QPointF(14, 3), QPointF(17, 14), QPointF(4, 16)}));
        pointer_arrow(p, {10.0, 8.0});
    });
}

QIcon site_point_search_icon() {
    return draw_icon([](QPainter &p) {
        // The buffer circle round the pointer, with sites inside it.
        p.setPen(QPen(QColor(200, 160, 0), 1.5, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
        site_dot(p, {6, 7});
        site_dot(p, {13, 13});
        pointer_arrow(p, {10.0, 10.0});
    });
}

QIcon site_polygon_search_icon() {
    return draw_icon([](QPainter &p) {
        p.setPen(QPen(QColor(200, 160, 0), 1.8));
        p.setBrush(QColor(255, 240, 170, 120));
        p.drawPolygon(QPolygonF(
            {QPointF(2, 4), QPointF(20, 2), QPointF(22, 19), QPointF(9, 22), QPointF(4, 14)}));
        site_dot(p, {9, 9});
        site_dot(p, {15, 15});
    });
}

QIcon site_line_search_icon() {
    return draw_icon([](QPainter &p) {
        p.setPen(QPen(QColor(255, 240, 170), 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPolygonF line({QPointF(2, 19), QPointF(9, 8), QPointF(15, 15), QPointF(22, 4)});
        p.drawPolyline(line);
        p.setPen(QPen(QColor(200, 160, 0), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(line);
        site_dot(p, {6, 10});
        site_dot(p, {18, 15});
    });
}

// A red-line boundary inside the hatched ring of its radius, a site within it.
QIcon enquiry_icon() {
    return draw_icon([](QPainter &p) {
        p.setPen(QPen(QColor(230, 110, 0), 1.2, Qt::DashLine));
        p.setBrush(QBrush(QColor(230, 110, 0, 120), Qt::BDiagPattern));
        p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 7, 7);
        p.setPen(QPen(QColor(200, 0, 0), 1.8));
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawPolygon(QPolygonF(
            {QPointF(7, 7), QPointF(17, 7), QPointF(17, 17), QPointF(12, 13), QPointF(7, 17)}));
        site_dot(p, {19, 4});
    });
}

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
