#include "app/shared/accessible.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTableWidget>
#include <QWidget>

#include <utility>

#include "platform/widgets/grid.h"

namespace app {

void describe(QWidget *control, const QString &name, const QString &description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

void describe(grid::Grid *control, const QString &name, const QString &description) {
    describe(static_cast<QWidget *>(control), name, description);
    describe(control->table_widget(), name, description);
}

void close_on_escape(QWidget *window, std::function<void()> close) {
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    esc->setContext(Qt::WidgetWithChildrenShortcut);
    if (!close)
        close = [window] { window->close(); };
    QObject::connect(esc, &QShortcut::activated, window, std::move(close));
}

} // namespace app
