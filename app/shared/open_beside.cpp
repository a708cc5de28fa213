#include "app/shared/open_beside.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QWidget>

#include "view/window_place.h"

namespace app {

namespace {

// The frame a window manager puts round a window, as the main window has it (no frame
// before a window was shown, and none without a window manager).
QSize frame_extra(const QWidget &window) {
    const QSize own = window.frameGeometry().size() - window.size();
    if (!own.isEmpty() || window.isVisible())
        return own;
    if (const QWidget *main = window.parentWidget() ? window.parentWidget()->window() : nullptr)
        return main->frameGeometry().size() - main->size();
    return {};
}

} // namespace

QSize size_when_shown(QWidget &window) {
    // The layout sets the window's least size when it is first activated; until then a
    // window asked to be smaller would grow when shown.
    if (QLayout *layout = window.layout())
        layout->activate();
    const QSize inner = window.size().expandedTo(window.minimumSizeHint());
    if (inner != window.size())
        window.resize(inner);
    return window.size() + frame_extra(window);
}

std::vector<QRect> other_windows(const QWidget &window) {
    std::vector<QRect> frames;
    for (const QWidget *w : QApplication::topLevelWidgets())
        if (w != &window && w->isVisible() && !w->isMinimized() &&
            qobject_cast<const QMainWindow *>(w) == nullptr && w->windowType() != Qt::Popup &&
            w->windowType() != Qt::ToolTip)
            frames.push_back(w->frameGeometry());
    return frames;
}

void open_beside(QWidget &window, const QRect &map_area, std::vector<QRect> keep_clear) {
    if (!map_area.isValid())
        return;
    view::PlaceWanted wanted;
    wanted.area = map_area;
    wanted.size = size_when_shown(window);
    for (const QRect &r : other_windows(window))
        keep_clear.push_back(r);
    wanted.keep_clear = std::move(keep_clear);
    window.move(view::least_hidden_place(wanted));
}

} // namespace app
