// A long session of random user actions on the real windows: tools, clicks, drags, the
// wheel and the keys, the panel's switches and lists, the viewers and the object list,
// the searches and their result windows with their exports, resizes and minimising. Nothing may
// crash, hang or trip the sanitizers, and memory must not keep growing. The seed is printed, so a
// failure replays:
//   TAVI_SESSION_SEED=<seed> TAVI_SESSION_ACTIONS=<n> app_tests --gtest_filter='RandomSession*'
// CI runs a short session; scripts/random-session.sh the full 10,000 actions.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWheelEvent>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

#include "app/results/map_searches.h"
#include "app/results/planning_result.h"
#include "app/results/point_dialog.h"
#include "app/viewers/record_viewers.h"
#include "app/viewers/zoom_to_drawn_object.h"
#include "platform/widgets/grid.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

// Resident memory in kB, measured with the windows at their usual size (a larger window
// has a larger picture) and freed memory handed back to the system.
long resident_kb() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

unsigned long env_number(const char *name, unsigned long fallback) {
    const char *v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoul(v, nullptr, 10) : fallback;
}

class RandomSession : public WindowsTest {
  protected:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    QPoint somewhere() { return QPoint(pick(map()->width()), pick(map()->height())); }

    app::CtrlPanel *panel() { return frame_->control_panel(); }
    template <class T> T *control(const char *name) { return panel()->findChild<T *>(name); }

    void press_button(const char *key) { panel()->tool_button(key); }
    void click_map(Qt::MouseButton b) { QTest::mouseClick(map(), b, Qt::NoModifier, somewhere()); }
    void wheel() {
        const QPoint at = somewhere();
        QWheelEvent e(QPointF(at), QPointF(map()->mapToGlobal(at)), QPoint(),
                      QPoint(0, pick(2) == 0 ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(map(), &e);
    }
    void key() {
        const Qt::Key keys[] = {Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Left, Qt::Key_Right,
                                Qt::Key_Up,   Qt::Key_Down,  Qt::Key_Home};
        QTest::keyClick(map(), keys[pick(std::size(keys))]);
    }
    // The pan command waits for its drag: the drag is queued to come while it waits.
    void pan() {
        const QPoint from = somewhere(), to = somewhere();
        QTimer::singleShot(0, map(), [this, from, to] { drag(from, to); });
        press_button("ctrlPan");
    }
    void zoom_box() {
        press_button("CtrlZoomWindow");
        drag(somewhere(), somewhere());
    }
    void toggle(const char *name) {
        if (auto *box = control<QCheckBox>(name); box != nullptr && box->isEnabled())
            box->click();
    }
    void period_tick() {
        auto *grid = panel()->findChild<QTableWidget *>("vaSpread1");
        if (QTableWidgetItem *cell = grid->item(pick(8), 0))
            cell->setCheckState(cell->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    void site_row() {
        auto *sites = control<grid::Grid>("vaSpread2");
        if (sites->row_count() < 1)
            return;
        const int row = 1 + pick(sites->row_count());
        if (pick(2) == 0)
            sites->on_click(2, row);
        else
            sites->on_double_click(2, row);
    }
    void reference() {
        auto *combo = control<QComboBox>("Combo1");
        if (combo->count() == 0)
            return;
        combo->setCurrentIndex(pick(combo->count()));
        emit combo->activated(combo->currentIndex());
        if (pick(2) == 0)
            panel()->text_viewer()->data1()->step(static_cast<sites::Step>(pick(4)));
    }
    void object_list() {
        app::Zoom_To_Drawn_object *list = panel()->object_list();
        if (pick(3) == 0) {
            press_button("ctrlGotoObject");
            return;
        }
        const int rows = list->list()->row_count();
        if (rows < 1)
            return;
        if (pick(2) == 0)
            list->object_clicked(1, 1 + pick(rows));
        else
            list->object_double_clicked(1, 1 + pick(rows));
    }
    void search_buffer() {
        next_answer_ = std::to_string(pick(150));
        control<QPushButton>("SetBuf")->click();
    }
    // One of the four search tools, its point or shape clicked out (ended with the right
    // button where the tool takes one).
    void search() {
        const char *tools[] = {"MousePntSrch", "PointDataSearch", "PointPolySearch",
                               "PointLineSearch"};
        const int which = pick(4);
        press_button(tools[which]);
        const int corners = which < 2 ? 1 : 1 + pick(5);
        for (int i = 0; i < corners; ++i)
            click_map(Qt::LeftButton);
        if (which >= 2)
            click_map(Qt::RightButton);
    }
    // What a user does with a results window: rows clicked and opened, sorted, columns
    // deleted, printed to a file, exported, or the interrogation ended.
    void results() {
        app::MapSearches *searches = frame_->map_searches();
        if (app::PlanningResult *planning = searches->planning_result();
            planning != nullptr && pick(2) == 0) {
            const int rows = planning->vaSpread1()->row_count();
            if (rows > 0) {
                if (pick(2) == 0)
                    planning->feature_clicked(1, 1 + pick(rows));
                else
                    planning->feature_double_clicked(1, 1 + pick(rows));
            }
            return;
        }
        app::Point_Dialog *dialog = searches->point_dialog();
        if (dialog == nullptr)
            return;
        grid::Grid *g = dialog->PointInfo();
        const int rows = g->row_count(), columns = g->column_count();
        switch (pick(7)) {
        case 0:
            if (rows > 0)
                dialog->PointInfo_Click(1 + pick(columns), 1 + pick(rows));
            break;
        case 1:
            if (rows > 0)
                dialog->PointInfo_DblClick(1 + pick(columns), 1 + pick(rows));
            break;
        case 2:
            dialog->sorting_clicked();
            if (columns > 0)
                dialog->PointInfo_Click(1 + pick(columns), 0);
            break;
        case 3:
            if (columns > 1) {
                const int first = 1 + pick(columns);
                g->select_block({first, 0, first + pick(columns - first + 1), rows});
                dialog->delete_clicked();
            }
            break;
        case 4:
            dialog->set_printer_setup([this](QPrinter &printer) {
                printer.setOutputFileName(
                    QString::fromStdString((data_.path() / "print.pdf").string()));
                return pick(3) != 0;
            });
            dialog->print_clicked();
            break;
        case 5: {
            const bool excel = pick(2) == 0;
            const char *names[] = {"found.xls", "found.htm", "found.xml", "", "found.pdf"};
            const std::string name = names[pick(5)];
            dialog->set_save_dialog([this, name](const std::string &, const std::string &) {
                return name.empty() ? std::string() : (data_.path() / name).string();
            });
            if (name == "found.pdf")
                dialog->report_clicked(); // the report of the rows as they stand
            else if (excel)
                dialog->save_excel_clicked();
            else
                dialog->save_html_xml_clicked();
            break;
        }
        default:
            dialog->cancel_clicked();
        }
    }
    void resize() {
        frame_->resize(400 + pick(1200), 300 + pick(700));
        QApplication::processEvents();
    }
    void minimise_and_back() {
        frame_->showMinimized();
        QApplication::processEvents();
        frame_->showMaximized();
    }

    std::mt19937 rng_;
    std::string next_answer_ = "10";
};

TEST_F(RandomSession, TenThousandActionsLeaveTheViewerUpAndItsMemoryFlat) {
    const unsigned long seed = env_number("TAVI_SESSION_SEED", std::random_device{}());
    const unsigned long actions = env_number("TAVI_SESSION_ACTIONS", 300);
    std::printf("random session: seed %lu, %lu actions\n", seed, actions);
    RecordProperty("seed", std::to_string(seed));
    rng_.seed(static_cast<std::mt19937::result_type>(seed));

    start();
    ASSERT_FALSE(frame_->ended());
    panel()->set_input_box(
        [this](const std::string &, const std::string &,
               const std::string &) -> std::optional<std::string> { return next_answer_; });
    panel()->set_colour_picker([this](int32_t) -> std::optional<int32_t> {
        if (pick(4) == 0)
            return std::nullopt;
        return gdi::rgb(pick(256), pick(256), pick(256));
    });
    panel()->set_message_box([](const std::string &) {});

    const std::vector<std::pair<int, std::function<void()>>> menu = {
        {12, [this] { hover(somewhere()); }},
        {6, [this] { click_map(Qt::LeftButton); }},
        {2, [this] { click_map(Qt::RightButton); }},
        {2, [this] { QTest::mouseDClick(map(), Qt::LeftButton, Qt::NoModifier, somewhere()); }},
        {4, [this] { wheel(); }},
        {4, [this] { key(); }},
        {2, [this] { press_button(pick(2) == 0 ? "CtrlZoomin" : "ctrlZoomout"); }},
        {2, [this] { zoom_box(); }},
        {2, [this] { pan(); }},
        {2, [this] { period_tick(); }},
        {2, [this] { toggle("Check2"); }},
        {2, [this] { toggle("fillpoly"); }},
        {1, [this] { toggle("LOADrasta"); }},
        {2, [this] { toggle("Check1"); }},
        {3, [this] { site_row(); }},
        {2, [this] { reference(); }},
        {2, [this] { object_list(); }},
        {1, [this] { search_buffer(); }},
        {3, [this] { search(); }},
        {4, [this] { results(); }},
        {1, [this] { panel()->findChild<QPushButton *>("Command2")->click(); }},
        {1, [this] { resize(); }},
        {1, [this] { minimise_and_back(); }},
    };
    int total = 0;
    for (const auto &[weight, action] : menu)
        total += weight;

    long after_first_thousand = 0;
    for (unsigned long n = 1; n <= actions; ++n) {
        int r = pick(total);
        for (const auto &[weight, action] : menu) {
            if (r < weight) {
                action();
                break;
            }
            r -= weight;
        }
        QApplication::processEvents();
        ASSERT_FALSE(frame_->ended())
            << "the viewer ended at action " << n << " (seed " << seed << ")";
        if (n == 1000 || n == actions) {
            frame_->showMaximized();
            QApplication::processEvents();
            if (n == 1000)
                after_first_thousand = resident_kb();
        }
    }
    if (after_first_thousand > 0) {
        const long end = resident_kb();
        std::printf("resident memory: %ld kB after 1,000 actions, %ld kB after %lu\n",
                    after_first_thousand, end, actions);
        EXPECT_LE(end, after_first_thousand * 11 / 10) << "seed " << seed;
    }
}

} // namespace
