#include "app/shared/app_icon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace app {

QIcon app_icon() {
    // Drawn from the one drawing at the sizes title bars and task lists ask for, so that
    // no icon engine plug-in is needed when the program runs.
    QSvgRenderer drawing(QStringLiteral(":/tavi/tavi.svg"));
    QIcon icon;
    if (!drawing.isValid())
        return icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawing.render(&painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace app
