// Latency as the user feels it: the real main window, offscreen, driven by mouse events
// as a hand sends them, each action timed from its input event to the moment the
// picture it asks for has been painted (the map window's paint after the redraw, or the
// result window's or record viewer's paint). Each action runs --repeat times from the
// same view; one line per action: its name, then the median, least and most milliseconds.
//
//   latency_bench --data DIR [--repeat N] [--size WxH] [--trace]
//
// The screen is offscreen, 1920 x 1080 unless --size says otherwise (QT_QPA_PLATFORM, when
// set, is used as it is: xcb under Xvfb adds the window system's part). Navigation acts
// on the view the project opens at (the whole city); the searches, the
// flashes and the record viewer on a street around a site. --trace prints, for one more
// zoom box, the moments of its redraw's steps (status texts and paints) after the release.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/panel/ctrl_panel.h"
#include "app/results/map_searches.h"
#include "app/results/planning_result.h"
#include "app/results/point_dialog.h"
#include "app/viewers/record_viewers.h"
#include "app/windows/frm_drawing.h"
#include "app/windows/frm_main.h"
#include "platform/widgets/grid.h"
#include "view/transform.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Church Lane (RE0003) in the sample, which every generated city keeps at its middle.
constexpr int32_t kSiteX = 49'659'546, kSiteY = 37'025'501;

// Sees every paint of every widget through, and notes when it ended: the moment a picture
// was ready for the screen (the window system's copy of it to the screen comes after).
class PaintClock : public QObject {
  public:
    struct Paint {
        const QWidget *window;
        const QWidget *widget;
        Clock::time_point ended;
    };

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        // Painted here rather than after the filter, so that the moment is the paint's end.
        watched->event(event);
        const auto *w = static_cast<QWidget *>(watched);
        paints.push_back({w->window(), w, Clock::now()});
        return true; // painted once, not again
    }

    // The first paint of the widget that ended after the moment; none when there was none.
    std::optional<Clock::time_point> first_after(const QWidget *widget,
                                                 Clock::time_point after) const {
        for (const Paint &p : paints)
            if (p.ended >= after && p.widget == widget)
                return p.ended;
        return std::nullopt;
    }
    // The last paint of any widget of the window that ended after the moment.
    std::optional<Clock::time_point> last_after(const QWidget *window,
                                                Clock::time_point after) const {
        std::optional<Clock::time_point> last;
        for (const Paint &p : paints)
            if (p.ended >= after && p.window == window)
                last = p.ended;
        return last;
    }

    std::vector<Paint> paints;
};

struct Figures {
    std::string name;
    std::vector<double> ms;
};

class Bench {
  public:
    Bench(const std::string &data, int repeat) : repeat_(repeat) {
        frame_ = std::make_unique<frmMain>(data);
        frame_->set_message_box(
            [](const std::string &t) { std::fprintf(stderr, "message box: %s\n", t.c_str()); });
        QObject::connect(frame_.get(), &frmMain::status_written,
                         [this](int panel, const QString &text) {
                             if (panel != 1)
                                 return;
                             if (text == "Redrawing Complete")
                                 redrawn_ = Clock::now();
                             if (tracing_)
                                 trace_.emplace_back(Clock::now(), text.toStdString());
                         });
        qApp->installEventFilter(&clock_);
        frame_->Form_Load();
        settle();
    }

    bool ready() const { return !frame_->ended() && map()->width() > 0; }
    frmDrawing *map() const { return frame_->map_window(); }
    project::AppState &state() { return frame_->state(); }
    app::CtrlPanel &panel() { return *frame_->control_panel(); }

    void run(bool trace) {
        std::printf("map window %d x %d, %d drawings, %d sites plotted\n", map()->width(),
                    map()->height(), state().drawings.count(), plot_sites());
        home_ = state().view;
        first_zoom_box();
        navigation();
        street_ = home_;
        street_.View_X_Min = kSiteX - 40000;
        street_.View_Y_Min = kSiteY - 25000;
        street_.View_Height_Units = 50000;
        searches();
        for (const Figures &f : figures_)
            print(f);
        if (trace)
            trace_zoom_box();
    }

  private:
    // Lets every event that is due run: a posted paint included.
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    int plot_sites() {
        // Choosing a site-list tool plots the list once, as the user's first search does.
        panel().tool_button("PointDataSearch");
        state().interaction.Tool_Code = state::ToolCode::None;
        settle();
        return static_cast<int>(state().points.count());
    }

    void show(const state::ViewState &v) {
        state().view.View_X_Min = v.View_X_Min;
        state().view.View_Y_Min = v.View_Y_Min;
        state().view.View_Height_Units = v.View_Height_Units;
        map()->Redraw_Everything();
        settle();
    }

    // The pixel of the map that shows a world point.
    QPoint pixel_of(int32_t x, int32_t y) {
        int32_t px = 0, py = 0;
        view::world_to_pixel(state().view, x, y, px, py);
        return {px, py};
    }

    QWidget *toolbar_button(const char *key) {
        auto *bar = panel().findChild<QToolBar *>("Toolbar1");
        auto *action = panel().findChild<QAction *>(key);
        return bar != nullptr && action != nullptr ? bar->widgetForAction(action) : nullptr;
    }

    // The time from the moment to the first paint of the map after its last redraw.
    std::optional<double> map_redrawn(Clock::time_point from) {
        settle();
        if (!redrawn_ || *redrawn_ < from)
            return std::nullopt;
        const auto painted = clock_.first_after(map(), *redrawn_);
        return painted ? std::optional(ms_between(from, *painted)) : std::nullopt;
    }

    void record(const std::string &name, std::optional<double> ms) {
        auto it = std::find_if(figures_.begin(), figures_.end(),
                               [&](const Figures &f) { return f.name == name; });
        if (it == figures_.end()) {
            figures_.push_back({name, {}});
            it = figures_.end() - 1;
        }
        if (ms)
            it->ms.push_back(*ms);
        else
            std::fprintf(stderr, "%s: no picture painted\n", name.c_str());
    }

    static void print(const Figures &f) {
        if (f.ms.empty()) {
            std::printf("%-34s %9s\n", f.name.c_str(), "failed");
            return;
        }
        std::vector<double> v = f.ms;
        std::sort(v.begin(), v.end());
        std::printf("%-34s %9.1f %9.1f %9.1f\n", f.name.c_str(), v[v.size() / 2], v.front(),
                    v.back());
    }

    // A left-button press and the moves of a hand dragging to the far corner; the
    // release is the caller's, which times it.
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(map(), from);
        QTest::mouseMove(map(), (from + to) / 2);
        QTest::mouseMove(map(), to);
    }

    void navigation() {
        const int w = map()->width(), h = map()->height();
        const QPoint a(w / 3, h / 3), b(2 * w / 3, 2 * h / 3);
        for (int i = 0; i < repeat_; ++i) {
            show(home_);
            auto t0 = Clock::now();
            QTest::mouseClick(toolbar_button("CtrlZoomin"), Qt::LeftButton);
            record("click zoom in", map_redrawn(t0));

            t0 = Clock::now();
            QTest::mouseClick(toolbar_button("ctrlZoomout"), Qt::LeftButton);
            record("click zoom out", map_redrawn(t0));

            show(home_);
            panel().tool_button("CtrlZoomWindow");
            const auto pressed = Clock::now();
            drag(a, b);
            const auto released = Clock::now();
            QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, b);
            const auto box = map_redrawn(released);
            record("zoom box (release to picture)", box);
            record("zoom box (press to picture)",
                   box ? std::optional(*box + ms_between(pressed, released)) : std::nullopt);

            show(home_);
            box_moves(a, b);

            show(home_);
            pan(a, b);

            show(home_);
            t0 = Clock::now();
            wheel(QPoint(w / 2, h / 2), 120);
            record("wheel in", map_redrawn(t0));
            t0 = Clock::now();
            wheel(QPoint(w / 2, h / 2), -120);
            record("wheel out", map_redrawn(t0));
        }
    }

    // The first zoom box after the project opened, before anything else was drawn.
    void first_zoom_box() {
        const int w = map()->width(), h = map()->height();
        panel().tool_button("CtrlZoomWindow");
        drag(QPoint(w / 3, h / 3), QPoint(2 * w / 3, 2 * h / 3));
        const auto released = Clock::now();
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, QPoint(2 * w / 3, 2 * h / 3));
        record("first zoom box after the load", map_redrawn(released));
    }

    // The moves of a zoom box being dragged, each to the box painted over the map: a
    // hand sends dozens of them a second, and each must be done before the next comes.
    void box_moves(QPoint from, QPoint to) {
        panel().tool_button("CtrlZoomWindow");
        QTest::mousePress(map(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(map(), from);
        settle();
        constexpr int kMoves = 10;
        for (int k = 1; k <= kMoves; ++k) {
            const QPoint p = from + (to - from) * k / kMoves;
            const auto t0 = Clock::now();
            QTest::mouseMove(map(), p);
            settle();
            const auto painted = clock_.first_after(map(), t0);
            record("zoom box drag move (to box painted)",
                   painted ? std::optional(ms_between(t0, *painted)) : std::nullopt);
        }
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, to);
        settle();
    }

    void pan(QPoint from, QPoint to) {
        Clock::time_point released;
        QTimer::singleShot(0, map(), [&] {
            drag(from, to);
            released = Clock::now();
            QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, to);
        });
        panel().tool_button("ctrlPan"); // back once the drag is over
        record("pan drag (release to picture)", map_redrawn(released));
    }

    void wheel(QPoint at, int delta) {
        QWheelEvent e(QPointF(at), QPointF(map()->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(map(), &e);
    }

    void click_map(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(map(), button, Qt::NoModifier, p);
    }

    app::MapSearches &map_searches() { return *frame_->map_searches(); }

    // The time from the moment to the last paint of the window that followed it.
    std::optional<double> window_painted(const QWidget *window, Clock::time_point from) {
        settle();
        if (window == nullptr || !window->isVisible())
            return std::nullopt;
        const auto painted = clock_.last_after(window, from);
        return painted ? std::optional(ms_between(from, *painted)) : std::nullopt;
    }

    // Each site-list search from its last click to its window painted; the window is
    // closed before the next, so that each search opens it afresh.
    void site_search(const char *name, const char *tool, const std::vector<QPoint> &corners) {
        panel().tool_button(tool);
        for (std::size_t k = 0; k + 1 < corners.size(); ++k)
            click_map(corners[k]);
        const auto t0 = Clock::now();
        click_map(corners.back(), corners.size() > 1 ? Qt::RightButton : Qt::LeftButton);
        app::Point_Dialog *d = map_searches().point_dialog();
        record(name, window_painted(d, t0));
    }

    void close_point_dialog() {
        if (QPointer<app::Point_Dialog> d = map_searches().point_dialog()) {
            d->close();
            settle();
        }
        state().interaction.Tool_Code = state::ToolCode::None;
    }

    static QPoint cell_centre(grid::Grid &g, int column, int row) {
        QTableWidget *t = g.table_widget();
        return t->visualItemRect(t->item(row - 1, column - 1)).center();
    }
    static void click_cell(grid::Grid &g, int column, int row) {
        QWidget *v = g.table_widget()->viewport();
        QTest::mousePress(v, Qt::LeftButton, {}, cell_centre(g, column, row));
        QTest::mouseRelease(v, Qt::LeftButton, {}, cell_centre(g, column, row));
    }
    // The second press of a double click, as the window system sends it, and its release.
    static void double_click_cell(grid::Grid &g, int column, int row) {
        QWidget *v = g.table_widget()->viewport();
        QTest::mouseDClick(v, Qt::LeftButton, {}, cell_centre(g, column, row));
        QTest::mouseRelease(v, Qt::LeftButton, {}, cell_centre(g, column, row));
    }

    static int row_of(grid::Grid &g, int column, const QString &text) {
        for (int r = 1; r <= g.row_count(); ++r)
            if (g.text(column, r).trimmed() == text)
                return r;
        return g.row_count() > 0 ? 1 : 0;
    }

    // A flash from the row's click: to its first pass painted and to the whole flash
    // painted (the click returns once the flash is over).
    void flash(const std::string &name, grid::Grid &g, int row) {
        const auto t0 = Clock::now();
        click_cell(g, 1, row);
        const auto returned = Clock::now();
        settle();
        const auto first = clock_.first_after(map(), t0);
        record(name + " (first pass painted)",
               first ? std::optional(ms_between(t0, *first)) : std::nullopt);
        const auto last = clock_.last_after(map()->window(), returned);
        record(name + " (whole flash)",
               std::optional(ms_between(t0, last ? std::max(*last, returned) : returned)));
    }

    void searches() {
        const int32_t dx = 30000, dy = 20000;
        for (int i = 0; i < repeat_; ++i) {
            show(street_);
            site_search("point search", "PointDataSearch", {pixel_of(kSiteX, kSiteY)});
            if (app::Point_Dialog *d = map_searches().point_dialog()) {
                grid::Grid &g = *d->PointInfo();
                const int row = row_of(g, 4, "RE0003");
                if (row > 0) {
                    flash("site point flash", g, row);
                    app::View_recevents *viewer = panel().site_viewer();
                    viewer->hide();
                    settle();
                    // The double click's first click flashes the site (above); the viewer
                    // is timed from the second.
                    click_cell(g, 4, row);
                    settle();
                    const auto t0 = Clock::now();
                    double_click_cell(g, 4, row);
                    record("record viewer (double click)", window_painted(viewer, t0));
                    viewer->hide();
                }
            }
            close_point_dialog();

            show(street_);
            site_search("polygon search", "PointPolySearch",
                        {pixel_of(kSiteX - dx, kSiteY - dy), pixel_of(kSiteX + dx, kSiteY - dy),
                         pixel_of(kSiteX + dx, kSiteY + dy), pixel_of(kSiteX - dx, kSiteY + dy)});
            close_point_dialog();

            show(street_);
            site_search("polyline search", "PointLineSearch",
                        {pixel_of(kSiteX - dx, kSiteY - 9000), pixel_of(kSiteX, kSiteY + 1000),
                         pixel_of(kSiteX + dx, kSiteY)});
            close_point_dialog();

            show(street_);
            planning();
        }
    }

    void planning() {
        panel().tool_button("MousePntSrch");
        const auto t0 = Clock::now();
        click_map(pixel_of(kSiteX, kSiteY));
        app::PlanningResult *r = map_searches().planning_result();
        record("interrogation (window painted)", window_painted(r, t0));
        record("interrogation (map redrawn)", map_redrawn(t0));
        if (r == nullptr)
            return;
        grid::Grid &g = *r->vaSpread1();
        const int row = row_of(g, 2, "RE0003");
        if (row > 0) {
            flash("drawn object flash", g, row);
            // The same without the deliberate pauses between the passes: the work alone.
            const auto pause = state().display.Flash_Pause;
            state().display.Flash_Pause = {};
            flash("drawn object flash, no pauses", g, row);
            state().display.Flash_Pause = pause;
        }
        r->close();
        settle();
    }

    // One zoom box more, with the moments of the steps after its release.
    void trace_zoom_box() {
        show(home_);
        const int w = map()->width(), h = map()->height();
        panel().tool_button("CtrlZoomWindow");
        const QPoint a(w / 3, h / 3), b(2 * w / 3, 2 * h / 3);
        drag(a, b);
        trace_.clear();
        clock_.paints.clear();
        tracing_ = true;
        const auto t0 = Clock::now();
        QTest::mouseRelease(map(), Qt::LeftButton, Qt::NoModifier, b);
        const auto returned = Clock::now();
        settle();
        tracing_ = false;
        std::printf("zoom box release, step by step (ms after the release):\n");
        for (const auto &[at, text] : trace_)
            std::printf("  %8.1f  status: %s\n", ms_between(t0, at), text.c_str());
        for (const PaintClock::Paint &p : clock_.paints)
            std::printf("  %8.1f  painted: %s\n", ms_between(t0, p.ended),
                        p.widget->objectName().toStdString().c_str());
        std::printf("  %8.1f  release handled\n", ms_between(t0, returned));
    }

    int repeat_;
    PaintClock clock_;
    std::unique_ptr<frmMain> frame_;
    std::optional<Clock::time_point> redrawn_;
    bool tracing_ = false;
    std::vector<std::pair<Clock::time_point, std::string>> trace_;
    state::ViewState home_, street_;
    std::vector<Figures> figures_;
};

} // namespace

int main(int argc, char **argv) {
    std::string data;
    int repeat = 7, width = 1920, height = 1080;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            data = argv[++i];
        else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else if (std::strcmp(argv[i], "--trace") == 0)
            trace = true;
    }
    if (data.empty() || width < 200 || height < 200) {
        std::fprintf(stderr,
                     "usage: latency_bench --data DIR [--repeat N] [--size WxH] [--trace]\n");
        return 2;
    }
    if (data.back() != '/')
        data += '/';
    QTemporaryDir work;
    // Offscreen unless told otherwise, on a screen of the size asked for: the frame
    // covers it, as it covers a user's screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        const QString screen = work.filePath("screen.json");
        QFile f(screen);
        if (f.open(QIODevice::WriteOnly))
            f.write(QString(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": %1, )"
                            R"("height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                        .arg(width)
                        .arg(height)
                        .toUtf8());
        f.close();
        ::setenv("QT_QPA_PLATFORM", QFile::encodeName("offscreen:configfile=" + screen).constData(),
                 1);
    }
    // What the offscreen platform cannot do (raise a window) is no news here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
        if (!m.startsWith("This plugin does not support"))
            std::fprintf(stderr, "%s\n", qPrintable(m));
    });
    // A settings store of the run's own: the user's last view and panel place stay out.
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath("config")).constData(), 1);
    QApplication app(argc, argv);
    Bench bench(data, repeat);
    if (!bench.ready()) {
        std::fprintf(stderr, "latency_bench: no project in %s\n", data.c_str());
        return 1;
    }
    bench.run(trace);
    return 0;
}
