// The viewer as a person at a desk meets it, through the real windows on the sample
// project: the windows that show results stay with the main window and come forward,
// the object list opens clear of the map's middle, a flash leaves the map as it was,
// every action that finds nothing says so, and the habits of a map program (going to a
// grid reference, copying one, save dialogs that add the extension).
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/panel/period_grid.h"
#include "app/results/map_searches.h"
#include "app/results/point_dialog.h"
#include "app/shared/interface_font.h"
#include "app/viewers/record_viewers.h"
#include "app/viewers/zoom_to_drawn_object.h"
#include "drawing/data_extent.h"
#include "drawing/flash.h"
#include "drawing/main_colour.h"
#include "platform/widgets/grid.h"
#include "view/grid_ref.h"
#include "view/navigation.h"
#include "windows_test_support.h"

#include <QAccessible>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

using namespace windows_test;

// Church Lane (RE0003), on its excavated area.
constexpr int32_t kSiteX = 49'659'546, kSiteY = 37'025'501;

class Desk : public WindowsTest {
  protected:
    void SetUp() override {
        start();
        ASSERT_FALSE(frame_->ended());
        frame_->set_beep_sound([this] { ++beeps_; });
        // As a user finds it: the main window active (menus and dialogs need one, and a
        // test run before may have left none).
        activate(frame_.get());
    }
    app::CtrlPanel &panel() { return *frame_->control_panel(); }
    QComboBox *raz_box() { return panel().findChild<QComboBox *>("Combo1"); }
    // A reference typed into the RAZ box and ended with Enter, the key's events over.
    void enter_reference(const char *reference) {
        raz_box()->setEditText(reference);
        QTest::keyClick(raz_box()->lineEdit(), Qt::Key_Return);
        QApplication::processEvents();
    }
    void street_view() {
        state().view.View_X_Min = kSiteX - 40000;
        state().view.View_Y_Min = kSiteY - 25000;
        state().view.View_Height_Units = 50000;
        map()->Redraw_Everything();
    }
    QPoint pixel_of(int32_t x, int32_t y) {
        int32_t px = 0, py = 0;
        view::world_to_pixel(state().view, x, y, px, py);
        return {px, py};
    }
    // The world point at the map's centre.
    std::pair<int32_t, int32_t> centre() {
        const auto &v = state().view;
        return {static_cast<int32_t>(v.View_X_Min + v.View_Width_Units / 2),
                static_cast<int32_t>(v.View_Y_Min + v.View_Height_Units / 2)};
    }
    void activate(QWidget *w) {
        w->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), w);
    }

    int beeps_ = 0;
};

long differing(const QImage &a, const QImage &b) {
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

TEST_F(Desk, ResultWindowsAndViewersBelongToTheMainWindowAndComeForward) {
    street_view();
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    panel().tool_button("MousePntSrch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    enter_reference("RE0003");
    enter_reference("7.12");
    panel().tool_button("ctrlGotoObject");
    const std::pair<const char *, QWidget *> windows[] = {
        {"point results", frame_->map_searches()->point_dialog()},
        {"planning results", frame_->map_searches()->planning_result()},
        {"site viewer", panel().site_viewer()},
        {"RAZ viewer", panel().text_viewer()},
        {"object list", panel().object_list()},
    };
    for (const auto &[name, w] : windows) {
        SCOPED_TRACE(name);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->isVisible());
        // Transient for the main window, of a kind the window manager keeps above it.
        EXPECT_EQ(w->windowHandle()->transientParent(), frame_->windowHandle());
        EXPECT_TRUE(w->windowType() == Qt::Dialog || w->windowType() == Qt::Tool)
            << w->windowType();
    }

    // The map taken forward, then a new search: its rows bring their window forward.
    activate(frame_.get());
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    QTRY_COMPARE(QApplication::activeWindow(), frame_->map_searches()->point_dialog());
    activate(frame_.get());
    panel().tool_button("MousePntSrch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    QTRY_COMPARE(QApplication::activeWindow(), frame_->map_searches()->planning_result());
}

TEST_F(Desk, TheObjectListOpensClearOfTheMapsMiddleAndOfThePanel) {
    panel().tool_button("ctrlGotoObject");
    app::Zoom_To_Drawn_object *list = panel().object_list();
    ASSERT_TRUE(list->isVisible());
    const QRect at = list->frameGeometry();
    EXPECT_FALSE(at.contains(map()->mapToGlobal(map()->rect().center())))
        << "the list covers the place a double click zooms to";
    EXPECT_FALSE(at.intersects(panel().frameGeometry()));
    EXPECT_TRUE(QRect(map()->mapToGlobal(QPoint(0, 0)), map()->size()).contains(at.topLeft()));

    // Moved by the user, it opens there again.
    list->move(at.topLeft() + QPoint(30, 20));
    list->hide();
    panel().tool_button("ctrlGotoObject");
    EXPECT_EQ(list->frameGeometry().topLeft(), at.topLeft() + QPoint(30, 20));
}

TEST_F(Desk, AFlashLeavesTheMapAsItWasWithPolygonsUnfilled) {
    ASSERT_FALSE(state().display.Polygon_Filling);
    street_view();
    panel().findChild<QCheckBox *>("Check1")->click(); // the site points, inside the areas
    ASSERT_EQ(state().points.count(), 300);
    map()->Redraw_Everything();
    const QImage before = map()->picture().copy();
    auto *sites = panel().findChild<grid::Grid *>("vaSpread2");
    const int row = sites->search_column(2, 1, sites->row_count(), "RE0003");
    ASSERT_GT(row, 0);
    // The flash is drawn: its highlight is counted while it shows.
    long yellow_during = 0;
    QTimer peek;
    QObject::connect(&peek, &QTimer::timeout, [&] {
        const QImage now = map()->picture();
        long n = 0;
        for (int y = 0; y < now.height(); ++y)
            for (int x = 0; x < now.width(); ++x)
                n += (now.pixel(x, y) | 0xFF000000u) ==
                     (gdi::to_qrgb(drawing::kFlashColour) | 0xFF000000u);
        yellow_during = std::max(yellow_during, n);
    });
    peek.start(50);
    sites->on_click(2, row);
    peek.stop();
    EXPECT_GT(yellow_during, 100) << "the site was not flashed";
    EXPECT_EQ(differing(map()->picture(), before), 0) << "the flash left its highlight behind";
}

TEST_F(Desk, WhatFindsNothingSaysSo) {
    const fs::path database = data_.path() / "tavidata.sqlite";
    // A text reference the RAZ table lacks, and a site the site list lacks (no viewer).
    enter_reference("7.99");
    EXPECT_EQ(frame_->status_text(1), "RAZ reference 7.99 not found");
    enter_reference("RE0013");
    EXPECT_EQ(frame_->status_text(1), "Site RE0013 not in datatable");
    EXPECT_FALSE(panel().site_viewer()->isVisible()) << "an empty form beside the message";

    // A plot that fails leaves its switch off, so that a site-list tool tries again; a
    // search with nothing plotted says that nothing was searched.
    fs::rename(database, data_.path() / "elsewhere.sqlite");
    auto *plot = panel().findChild<QCheckBox *>("Check1");
    for (const char *tool : {"PointDataSearch", "PointPolySearch"}) {
        SCOPED_TRACE(tool);
        panel().tool_button(tool);
        EXPECT_FALSE(plot->isChecked());
        EXPECT_TRUE(state().points.empty());
    }
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, map()->rect().center());
    EXPECT_EQ(frame_->status_text(1),
              "No excavation locations are plotted: the site list was not searched");
    EXPECT_EQ(frame_->map_searches()->point_dialog(), nullptr);
    fs::rename(data_.path() / "elsewhere.sqlite", database);
    panel().tool_button("PointDataSearch");
    EXPECT_TRUE(plot->isChecked());
    EXPECT_EQ(state().points.count(), 300);
}

TEST_F(Desk, AReferenceEndedWithEnterIsLookedUpOnceAndAMissingDatabaseIsHeardAndSeen) {
    // With the database gone, every lookup gives two beeps and its caption.
    const std::string path = data_.folder() + "tavidata.sqlite";
    fs::remove(path);
    ASSERT_GT(raz_box()->findText("7.12"), -1) << "a reference of the list";
    written_.clear();
    enter_reference("7.12");
    QTRY_COMPARE(beeps_, 2);
    QTest::qWait(600); // the beeps are sounded apart: no third one comes
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(texts(1), (std::vector<std::string>{"Search Linked Data File " + path + " Not Found",
                                                  "Linked Data File " + path + " Not Found"}));
    EXPECT_EQ(panel().missing_database_caption(), "Linked Data File " + path + " Not Found");
}

TEST_F(Desk, GoingToAGridReferenceCentresTheMapAtItsHeightAndMarksThePlace) {
    street_view();
    const double height = state().view.View_Height_Units;
    auto *field = panel().findChild<QLineEdit *>("GoTo");
    ASSERT_NE(field, nullptr);
    activate(frame_.get());
    QTest::keyClick(map(), Qt::Key_G, Qt::ControlModifier);
    QTRY_COMPARE(QApplication::focusWidget(), field);

    for (const char *typed : {"SK 9660 7025", "sk9660070250", "496600, 370250"}) {
        SCOPED_TRACE(typed);
        state().view.View_X_Min -= 300000; // somewhere else first
        map()->Redraw_Everything();
        field->setText(typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(centre(), (std::pair<int32_t, int32_t>{49'660'000, 37'025'000}));
        EXPECT_EQ(state().view.View_Height_Units, height);
        EXPECT_EQ(frame_->status_text(1), "Centred on SK 96600 70250");
    }
    // The mark rings the place for a moment, then the map is as drawn.
    const QImage marked = map()->picture().copy();
    QTRY_VERIFY_WITH_TIMEOUT(map()->picture() != marked, 5000);
    const QImage clean = map()->picture();
    const QPoint at = map()->rect().center();
    long near = 0, far = 0;
    for (int y = 0; y < clean.height(); ++y)
        for (int x = 0; x < clean.width(); ++x)
            if (marked.pixel(x, y) != clean.pixel(x, y))
                ++((QPoint(x, y) - at).manhattanLength() <= 50 ? near : far);
    EXPECT_GT(near, 60);
    EXPECT_EQ(far, 0);

    const auto before = centre();
    field->setText("SK 96 7");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(frame_->status_text(1), "Not a grid reference: SK 96 7");
    EXPECT_EQ(centre(), before);
}

TEST_F(Desk, TheGridReferenceUnderThePointerIsCopiedByKeyAndByMenu) {
    street_view();
    QGuiApplication::clipboard()->clear();
    const QPoint p = pixel_of(kSiteX, kSiteY);
    hover(p);
    QTest::keyClick(map(), Qt::Key_C, Qt::ControlModifier);
    const auto [x, y] = world_at(p);
    const std::string ref = view::grid_reference(x, y);
    EXPECT_EQ(ref.substr(0, 3), "SK ");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), ref);
    EXPECT_EQ(frame_->status_text(1), "Grid reference " + ref + " copied");

    // The menu copies the place it was opened over.
    const QPoint q = p + QPoint(120, 80);
    const auto [qx, qy] = world_at(q);
    QString offered;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction *copy = menu->findChild<QAction *>("CopyGridReference");
        ASSERT_NE(copy, nullptr);
        offered = copy->text();
        menu->close();
        copy->trigger();
    });
    QContextMenuEvent at_q(QContextMenuEvent::Mouse, q, map()->mapToGlobal(q));
    QApplication::sendEvent(map(), &at_q);
    const std::string qref = view::grid_reference(qx, qy);
    EXPECT_EQ(offered.toStdString(), "Copy Grid Reference " + qref);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), qref);

    // While a tool is chosen the right button is the tool's: no menu.
    panel().tool_button("PointPolySearch");
    QContextMenuEvent again(QContextMenuEvent::Mouse, q, map()->mapToGlobal(q));
    QApplication::sendEvent(map(), &again);
    EXPECT_FALSE(again.isAccepted());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(Desk, TheSaveDialogAddsTheExtensionOfTheTypeChosen) {
    street_view();
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    app::Point_Dialog *results = frame_->map_searches()->point_dialog();
    ASSERT_NE(results, nullptr);
    struct Case {
        const char *button, *type, *typed, *written;
    };
    const Case cases[] = {
        {"Command4", "XML", "rows", "rows.xml"},
        {"Command4", "HTML", "table", "table.html"},
        {"Command3", "Excel", "book", "book.xls"},
        {"Command4", "XML", "named.htm", "named.htm"}, // an extension typed is kept
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        // The dialog as the user meets it: a type chosen, a name typed, Save.
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->setDirectory(QString::fromStdString(data_.path().string()));
            for (const QString &f : dialog->nameFilters())
                if (f.contains(c.type)) {
                    dialog->selectNameFilter(f);
                    emit dialog->filterSelected(f);
                }
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(c.typed);
            QTest::keyClick(name, Qt::Key_Return);
        });
        QTest::mouseClick(results->findChild<QPushButton *>(c.button), Qt::LeftButton);
        EXPECT_TRUE(fs::is_regular_file(data_.path() / c.written));
        EXPECT_FALSE(fs::exists(data_.path() / c.typed) && std::string(c.typed) != c.written);
    }
    std::ifstream xml(data_.path() / "rows.xml");
    std::string head(40, '\0');
    xml.read(head.data(), 40);
    EXPECT_NE(head.find("<?xml"), std::string::npos) << head;
}

TEST_F(Desk, TheInterfaceTakesAProportionalFace) {
    // Where "sans-serif" resolves to a monospaced face, the face the package brings.
    const QFont mono = app::interface_font(QFont("Liberation Mono"));
    EXPECT_EQ(mono.family(), "Liberation Sans");
    EXPECT_FALSE(QFontInfo(mono).fixedPitch());
    const QFont own = app::interface_font(QFont("Liberation Serif", 11));
    EXPECT_EQ(own.family(), "Liberation Serif") << "the desktop's own face stays";
    EXPECT_EQ(own.pointSize(), 11);
}

TEST_F(Desk, APlainClickWithThePanLeavesTheMapFreeToMove) {
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, map()->rect().center());
    });
    const auto before = state().view;
    panel().tool_button("ctrlPan"); // waits for the pan to end
    EXPECT_EQ(state().navigation.Pan_State, state::NavigationState::Idle);
    EXPECT_EQ(state().view.View_X_Min, before.View_X_Min);
    EXPECT_EQ(state().view.View_Y_Min, before.View_Y_Min);
    // The keys move the map again.
    activate(frame_.get());
    map()->setFocus();
    QTest::keyClick(map(), Qt::Key_Plus);
    EXPECT_LT(state().view.View_Height_Units, before.View_Height_Units);
}

TEST_F(Desk, TheRightClickThatEndsAShapeOpensNoMenu) {
    street_view();
    panel().tool_button("PointPolySearch");
    const QPoint c = pixel_of(kSiteX, kSiteY);
    const QPoint corners[] = {c + QPoint(-40, 30), c + QPoint(40, 30), c + QPoint(0, -40)};
    for (const QPoint &p : corners)
        QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, p);
    QTest::mousePress(map(), Qt::RightButton, Qt::NoModifier, corners[2]);
    QTest::mouseRelease(map(), Qt::RightButton, Qt::NoModifier, corners[2]);
    ASSERT_EQ(state().interaction.Tool_Code, state::ToolCode::None) << "the search ended";
    // The window system follows the right button with a menu request.
    bool menu_shown = false;
    QTimer::singleShot(0, [&] {
        if (QWidget *menu = QApplication::activePopupWidget()) {
            menu_shown = true;
            menu->close();
        }
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, corners[2], map()->mapToGlobal(corners[2]));
    QApplication::sendEvent(map(), &request);
    QApplication::processEvents();
    EXPECT_FALSE(menu_shown);
    EXPECT_FALSE(request.isAccepted());
    // The next right click on the idle map has its menu again.
    bool offered = false;
    QTimer::singleShot(0, [&] {
        if (QWidget *menu = QApplication::activePopupWidget()) {
            offered = true;
            menu->close();
        }
    });
    QContextMenuEvent again(QContextMenuEvent::Mouse, corners[2], map()->mapToGlobal(corners[2]));
    QApplication::sendEvent(map(), &again);
    EXPECT_TRUE(offered);
}

TEST_F(Desk, MakingAReportChangesNothingInTheResultsWindow) {
    street_view();
    panel().tool_button("PointDataSearch");
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, pixel_of(kSiteX, kSiteY));
    app::Point_Dialog *results = frame_->map_searches()->point_dialog();
    ASSERT_NE(results, nullptr);
    grid::Grid &g = *results->PointInfo();
    std::vector<QString> headers;
    for (int c = 1; c <= g.column_count(); ++c)
        headers.push_back(g.text(c, 0));
    const std::string pdf = (data_.path() / "report.pdf").string();
    results->set_save_dialog([&](const std::string &, const std::string &) { return pdf; });
    results->report_clicked();
    ASSERT_TRUE(fs::is_regular_file(pdf));
    for (int c = 1; c <= g.column_count(); ++c)
        EXPECT_EQ(g.text(c, 0), headers[static_cast<std::size_t>(c - 1)]) << c;
}

TEST_F(Desk, GoingToAPlaceBeyondTheDrawingsSaysHowFarOffItLies) {
    auto *field = panel().findChild<QLineEdit *>("GoTo");
    field->setText("TQ 3000 8000");
    QTest::keyClick(field, Qt::Key_Return);
    const std::string said = frame_->status_text(1);
    EXPECT_NE(said.find("outside the project's drawings"), std::string::npos) << said;
    EXPECT_NE(said.find(" km from them"), std::string::npos) << said;
    field->setText("SK 9660 7025");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(frame_->status_text(1), "Centred on SK 96600 70250");
    EXPECT_EQ(app::CtrlPanel::distance_text(1234), "13 m");
    EXPECT_EQ(app::CtrlPanel::distance_text(12'345'600), "123.5 km");
}

TEST_F(Desk, ThePanelOpensOnTheMapsEmptySideAtAnyScale) {
    // A first start: no place kept for the panel.
    fs::remove_all(config_.path() / "TAVI");
    start();
    if (const char *scale = std::getenv("TAVI_TEST_SCALE")) {
        ASSERT_EQ(map()->devicePixelRatioF(), std::atof(scale)) << "the run's screen scale";
    }
    const QRect map_area(map()->mapToGlobal(QPoint(0, 0)), map()->size());
    EXPECT_GE(panel().frameGeometry().left(), map_area.center().x())
        << "the panel over the city, at " << panel().frameGeometry().left() << " of "
        << map_area.width() << " at scale " << map()->devicePixelRatioF();
}

TEST_F(Desk, ResultWindowsAndViewersOpenClearOfThePanelAndOfWhatWasSearched) {
    street_view();
    panel().show();
    panel().tool_button("PointDataSearch");
    const QPoint site = pixel_of(kSiteX, kSiteY);
    QTest::mouseClick(map(), Qt::LeftButton, Qt::NoModifier, site);
    app::Point_Dialog *results = frame_->map_searches()->point_dialog();
    ASSERT_NE(results, nullptr);
    const QRect at = results->frameGeometry();
    EXPECT_FALSE(at.contains(map()->mapToGlobal(site))) << "the results hide the searched place";
    // Beside the panel where the screen has room for both (the run at twice the scale has a large
    // one).
    const QRect panel_at = panel().frameGeometry();
    if (map()->width() >= at.width() + panel_at.width()) {
        EXPECT_FALSE(at.intersects(panel_at));
    }
    enter_reference("RE0003");
    QWidget *viewer = panel().site_viewer();
    ASSERT_TRUE(viewer->isVisible());
    if (map()->width() >= viewer->frameGeometry().width() + panel_at.width()) {
        EXPECT_FALSE(viewer->frameGeometry().intersects(panel_at));
    }
}

TEST_F(Desk, ThePeriodListIsTheKeyToTheMap) {
    auto *periods = panel().findChild<app::PeriodGrid *>("vaSpread1");
    for (int row = 1; row <= state().drawings.count() && row <= app::PeriodGrid::kRows; ++row) {
        SCOPED_TRACE(row);
        const std::optional<uint8_t> own = drawing::main_colour(
            state().drawings.entry(row).file_name, frame_->session().drawing_cache());
        ASSERT_TRUE(own);
        EXPECT_EQ(periods->shown_colour(row), state().display.Drawing_Palette[*own] & 0xFFFFFF);
        EXPECT_EQ(periods->colour(row), app::PeriodGrid::kNoColour) << "no colour is fixed";
    }
    // A screen reader meets three named columns, and ticks named by their periods.
    EXPECT_EQ(periods->columnCount(), 3);
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(periods);
    ASSERT_NE(table, nullptr);
    QAccessibleTableInterface *cells = table->tableInterface();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->columnCount(), 3);
    QAccessibleInterface *tick = cells->cellAt(0, 0);
    ASSERT_NE(tick, nullptr);
    EXPECT_EQ(tick->text(QAccessible::Name), "Prehistoric");
    EXPECT_EQ(periods->era_tag(1), "era5");
    auto *buffer = panel().findChild<QPushButton *>("SetBuf");
    EXPECT_NE(buffer->accessibleName().indexOf("100 metres"), -1)
        << buffer->accessibleName().toStdString();
}

TEST_F(Desk, SmallWords) {
    EXPECT_EQ(frmMain::version_banner().find("32-Bit"), std::string::npos);
    // Every help text has a blank after each full stop.
    for (const char *key : {"PointPolySearch", "PointLineSearch", "MousePntSrch"}) {
        panel().tool_button(key);
        const std::string help =
            panel().findChild<QPlainTextEdit *>("Text2")->toPlainText().toStdString();
        for (std::size_t at = help.find('.'); at != std::string::npos; at = help.find('.', at + 1))
            EXPECT_TRUE(at + 1 == help.size() || help[at + 1] == ' ') << key << ": " << help;
    }
    // Dialogs are titled with the program's name.
    std::string title;
    panel().set_input_box([&](const std::string &t, const std::string &, const std::string &) {
        title = t;
        return std::optional<std::string>();
    });
    panel().findChild<QPushButton *>("SetBuf")->click();
    EXPECT_EQ(title, "TAVI");
    // The record viewer's coordinate boxes are labelled.
    for (const char *box : {"xcoord_label", "ycoord_label"})
        EXPECT_NE(panel().site_viewer()->findChild<QLabel *>(box), nullptr) << box;
}

TEST_F(Desk, ZoomToTheDataFramesTheDrawingsAndHomeStaysTheMaximumView) {
    const std::optional<drawing::WorldExtent> data =
        drawing::drawings_extent(state().drawings, frame_->session().drawing_cache());
    ASSERT_TRUE(data);
    activate(frame_.get());
    map()->setFocus();
    QTest::keyClick(map(), Qt::Key_Home, Qt::ShiftModifier);
    const auto &v = state().view;
    EXPECT_LE(v.View_X_Min, data->x_min);
    EXPECT_LE(v.View_Y_Min, data->y_min);
    EXPECT_GE(v.View_X_Min + v.View_Width_Units, data->x_max);
    EXPECT_GE(v.View_Y_Min + v.View_Height_Units, data->y_max);
    EXPECT_LT(v.View_Height_Units, view::kMaxViewHeight) << "no closer than the maximum view";
    // Home is the maximum view, as ever.
    QTest::keyClick(map(), Qt::Key_Home);
    EXPECT_EQ(v.View_Height_Units, view::kMaxViewHeight);
    // The map's menu offers it too.
    QString offered;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction *zoom = menu->findChild<QAction *>("ZoomToData");
        ASSERT_NE(zoom, nullptr);
        offered = zoom->text();
        menu->close();
    });
    const QPoint q(50, 50);
    QContextMenuEvent at_q(QContextMenuEvent::Mouse, q, map()->mapToGlobal(q));
    QApplication::sendEvent(map(), &at_q);
    EXPECT_EQ(offered, "Zoom to the Data");
}

// Under the fonts the desk tests are also run with (FONTCONFIG_FILE), the interface has
// the face asked for: the run is the one it says it is.
TEST_F(Desk, TheInterfaceHasTheFaceTheRunAsksFor) {
    const char *wanted = std::getenv("TAVI_TEST_SANS");
    if (wanted == nullptr)
        GTEST_SKIP() << "the machine's own interface font";
    const std::string face = QFontInfo(panel().font()).family().toStdString();
    EXPECT_EQ(face.substr(0, std::strlen(wanted)), wanted) << face;
}

} // namespace
