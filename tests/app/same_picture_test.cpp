// The viewer and tavi-render open a project through the same session and draw it with the
// same redraw: for the same view, size and switches their pictures are the same, pixel
// for pixel.
#include <QCheckBox>
#include <QTemporaryDir>

#include "support/run_program.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

class SamePicture : public WindowsTest {};

QImage rendered(const std::string &data, const state::ViewState &v, QSize size,
                const QStringList &switches) {
    QTemporaryDir out;
    const QString png = out.filePath(QStringLiteral("map.png"));
    QStringList args{"--data",
                     QString::fromStdString(data),
                     "--out",
                     png,
                     "--size",
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                     "--view",
                     QStringLiteral("%1,%2,%3")
                         .arg(v.View_X_Min, 0, 'f', 0)
                         .arg(v.View_Y_Min, 0, 'f', 0)
                         .arg(v.View_Height_Units)};
    args << switches;
    const auto run = testing_support::run_program("tavi-render", args);
    EXPECT_EQ(run.code, 0) << run.err;
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

TEST_F(SamePicture, TheViewerAndTheRendererDrawTheSameMap) {
    start();
    ASSERT_FALSE(frame_->ended());
    const QImage first = map()->picture().copy();
    EXPECT_EQ(first, rendered(data_.folder(), state().view, first.size(), {}));

    // Zoomed in, polygons filled and the site list plotted.
    auto *panel = frame_->control_panel();
    panel->findChild<QCheckBox *>("fillpoly")->click();
    panel->findChild<QCheckBox *>("Check1")->click();
    map()->Zoom(0.5);
    ASSERT_FALSE(state().points.empty());
    const QImage zoomed = map()->picture().copy();
    const QImage expected =
        rendered(data_.folder(), state().view, zoomed.size(), {"--fill", "1", "--sites", "1"});
    EXPECT_EQ(zoomed, expected);
    if (zoomed != expected) {
        zoomed.save(
            QString::fromStdString((kBuild / "tests" / "same_picture_viewer.png").string()));
        expected.save(
            QString::fromStdString((kBuild / "tests" / "same_picture_render.png").string()));
    }
}

// The report's map is drawn by the window's own redraw into a picture of its own, and
// the window's picture and view are as they were afterwards.
TEST_F(SamePicture, AnotherViewIsDrawnByTheSameRedrawAndLeavesTheWindowAlone) {
    start();
    frame_->control_panel()->findChild<QCheckBox *>("Check1")->click(); // sites plotted
    map()->Zoom(0.5);
    state().furniture.Grid_On = 0; // the other view is drawn without furniture
    state().furniture.Scale_Bar_On = 0;
    map()->Redraw_Everything();
    const QImage window = map()->picture().copy();
    const state::ViewState view = state().view;

    project::Session &session = map()->session();
    EXPECT_EQ(session.render_view(view, window.width(), window.height()), window)
        << "the same view at the same size is the window's picture";
    state::ViewState elsewhere = view;
    elsewhere.View_X_Min += 12345;
    elsewhere.View_Height_Units /= 3;
    const QImage other = session.render_view(elsewhere, 900, 700);
    EXPECT_EQ(other.size(), QSize(900, 700));
    EXPECT_NE(other.copy(0, 0, window.width(), window.height()), window);

    EXPECT_EQ(map()->picture(), window);
    EXPECT_EQ(state().view.View_X_Min, view.View_X_Min);
    EXPECT_EQ(state().view.View_Scale, view.View_Scale);
}

} // namespace
