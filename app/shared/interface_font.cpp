#include "app/shared/interface_font.h"

#include <QFontInfo>
#include <QStringList>

namespace app {

QFont interface_font(const QFont &desktop) {
    if (!QFontInfo(desktop).fixedPitch())
        return desktop;
    QFont font = desktop;
    font.setFamilies(QStringList{QStringLiteral("Liberation Sans")});
    return font;
}

} // namespace app
