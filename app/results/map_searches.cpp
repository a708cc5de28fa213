#include "app/results/map_searches.h"

#include <QApplication>

#include "app/panel/ctrl_panel.h"
#include "app/shared/open_beside.h"
#include "app/viewers/record_viewers.h"
#include "interrogation/enquiry_report.h"
#include "interrogation/enquiry_tool.h"
#include "interrogation/planning_search.h"
#include "platform/base/numbers.h"
#include "platform/db/dao.h"
#include "project/session.h"
#include "view/transform.h"

#include <algorithm>

namespace app {

namespace {

// A results window closed from the keyboard leaves no window active where no window
// manager hands the focus on: the keys go back to the map, where the next search is.
void back_to_map(CtrlPanel &panel) {
    if (QApplication::activeWindow() == nullptr && panel.return_to_map)
        panel.return_to_map();
}

} // namespace

MapSearches::MapSearches(MapWindowApi &map, interrogation::Searches &hooks,
                         const state::UiHooks &ui, CtrlPanel &panel, QWidget *parent)
    : state_(map.session().state()), site_search_{state_.points, state_.settings,
                                                  state_.interaction, state_.view},
      map_(map), ui_(ui), panel_(panel), parent_(parent) {
    hooks.Point_Data_Search = [this](int32_t &wx, int32_t &wy) {
        const std::optional<interrogation::SiteRows> rows =
            interrogation::Point_Data_Search(site_search_, wx, wy, &map_.session().dc(), ui_);
        map_.show_picture();
        if (rows) {
            const interrogation::SearchDescription searched{
                interrogation::SearchKind::Point, {{wx, wy, 0}}, state_.settings.Search_Buffer};
            open_point_dialog(searched).show_rows(*rows, searched);
        }
    };
    hooks.Interrogate_By_Drawn_polygon = [this](int32_t &sx, int32_t &sy, int32_t &wx, int32_t &wy,
                                                int32_t &button, int32_t &shape) {
        const std::optional<interrogation::SiteRows> rows =
            interrogation::Interrogate_By_Drawn_polygon(site_search_, shape_, &map_.session().dc(),
                                                        sx, sy, wx, wy, button, shape, ui_);
        map_.show_picture();
        if (rows) {
            const interrogation::SearchDescription searched = drawn_search(shape);
            open_point_dialog(searched).show_rows(*rows, searched);
        }
    };
    hooks.Enquiry_Search = [this](int32_t &sx, int32_t &sy, int32_t &wx, int32_t &wy,
                                  int32_t &button) {
        const std::optional<interrogation::Enquiry> e = interrogation::Digitise_Enquiry(
            state_.interaction, shape_, &map_.session().dc(), sx, sy, wx, wy, button, ui_);
        map_.show_picture();
        if (e)
            enquire(*e);
    };
    panel.enquire = [this](const interrogation::EnquiryShape &shape) {
        interrogation::Enquiry e;
        e.shape = shape;
        e.radius_m = state_.interaction.Enquiry_Radius;
        enquire(e);
    };
    hooks.Planning_Search_Object = [this](int32_t &wx, int32_t &wy) {
        const interrogation::PlanningHits hits = interrogation::Planning_Search_Object(
            state_.drawings, state_.settings, state_.interaction, wx, wy, ui_);
        const interrogation::SearchDescription searched{
            interrogation::SearchKind::Planning, {{wx, wy, 0}}, state_.settings.Search_Buffer};
        open_planning_result(searched).show_hits(hits, searched);
        map_.Redraw_Everything();
    };
}

void MapSearches::enquire(const interrogation::Enquiry &enquiry) {
    ui_.pointer(state::kPointerBusy);
    interrogation::EnquiryResult result;
    try {
        result = interrogation::run_enquiry(state_.points, state_.drawings, enquiry, ui_);
    } catch (const dao::Error &e) {
        ui_.message(e.what());
        ui_.pointer(state_.interaction.Cursor_Style + 1);
        return;
    }
    gdi::DeviceContext &dc = map_.session().dc();
    interrogation::draw_enquiry_area(dc, state_.view, enquiry);
    std::vector<int32_t> found;
    for (const interrogation::EnquiryPoint &p : result.points)
        found.push_back(p.index);
    state::Set_Library_View(state_.view);
    interrogation::mark_points(dc, state_.points, found);
    map_.show_picture();
    ui_.pointer(state_.interaction.Cursor_Style + 1);
    const interrogation::SearchDescription searched = interrogation::enquiry_description(result);
    open_point_dialog(searched).show_enquiry(result);
    ui_.message(interrogation::enquiry_title(enquiry) + ": " + std::to_string(result.rows.count()) +
                " sites, " + std::to_string(result.features.size()) + " drawn features");
}

interrogation::SearchDescription MapSearches::drawn_search(int32_t search_shape) const {
    interrogation::SearchDescription d;
    const bool polygon = search_shape == 1;
    d.kind = polygon ? interrogation::SearchKind::Polygon : interrogation::SearchKind::Polyline;
    // A polygon's last vertex closes it back to the first; the report lists each once.
    const int32_t n = std::max(0, shape_.count - (polygon ? 1 : 0));
    d.vertices.assign(shape_.world.begin(), shape_.world.begin() + n);
    d.search_buffer = state_.settings.Search_Buffer;
    return d;
}

Point_Dialog &MapSearches::open_point_dialog(const interrogation::SearchDescription &searched) {
    if (!point_dialog_) {
        point_dialog_ = new Point_Dialog(
            map_, ui_,
            [this](sites::RecordView record) {
                if (View_recevents *viewer = panel_.site_viewer())
                    viewer->show_record(std::move(record));
            },
            parent_);
        // Cancelled, it has put the tool down: the toolbar shows none pressed.
        QObject::connect(point_dialog_, &QObject::destroyed, &panel_, [panel = &panel_] {
            panel->show_active_tool();
            back_to_map(*panel);
        });
        place(*point_dialog_, searched);
    }
    return *point_dialog_;
}

PlanningResult &
MapSearches::open_planning_result(const interrogation::SearchDescription &searched) {
    if (!planning_result_) {
        planning_result_ = new PlanningResult(
            map_, ui_,
            [this](sites::ReferenceLookup found) {
                if (found.shows == sites::ReferenceLookup::Site && found.site.found &&
                    panel_.site_viewer())
                    panel_.site_viewer()->show_record(std::move(found.site));
                else if (found.shows == sites::ReferenceLookup::RazText && panel_.text_viewer())
                    panel_.text_viewer()->show_records(std::move(found.raz), std::move(found.era));
            },
            parent_);
        place(*planning_result_, searched);
        QObject::connect(planning_result_, &QObject::destroyed, &panel_,
                         [panel = &panel_] { back_to_map(*panel); });
    }
    return *planning_result_;
}

QRect MapSearches::searched_area(const interrogation::SearchDescription &searched) const {
    const QRect map = map_.screen_area();
    // An enquiry's area is drawn already grown by its radius.
    interrogation::Shape points = searched.vertices;
    for (const interrogation::Shape &ring : searched.area)
        points.insert(points.end(), ring.begin(), ring.end());
    if (!map.isValid() || points.empty())
        return {};
    // The shape's box and the buffer round it, as it lies on the screen.
    const double reach = searched.area.empty() ? searched.search_buffer / 2.0 : 0.0;
    double x1 = points.front().x, y1 = points.front().y;
    double x2 = x1, y2 = y1;
    for (const auto &v : points) {
        x1 = std::min<double>(x1, v.x);
        y1 = std::min<double>(y1, v.y);
        x2 = std::max<double>(x2, v.x);
        y2 = std::max<double>(y2, v.y);
    }
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    view::world_to_pixel(state_.view, num::nearest_clamped(x1 - reach),
                         num::nearest_clamped(y2 + reach), left, top);
    view::world_to_pixel(state_.view, num::nearest_clamped(x2 + reach),
                         num::nearest_clamped(y1 - reach), right, bottom);
    return QRect(QPoint(left, top), QPoint(right, bottom)).translated(map.topLeft());
}

void MapSearches::place(QWidget &window, const interrogation::SearchDescription &searched) const {
    // Beside the panel (one of the program's other windows) and clear of what was
    // searched, so that the finds can be looked at on the map beside their rows.
    std::vector<QRect> keep_clear;
    if (const QRect area = searched_area(searched); area.isValid())
        keep_clear.push_back(area);
    open_beside(window, map_.screen_area(), std::move(keep_clear));
}

} // namespace app
