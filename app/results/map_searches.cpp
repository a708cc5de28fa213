#include "app/results/map_searches.h"

#include "app/panel/ctrl_panel.h"
#include "app/viewers/record_viewers.h"
#include "interrogation/planning_search.h"
#include "project/session.h"

namespace app {

MapSearches::MapSearches(MapWindowApi &map, interrogation::Searches &hooks,
                         const state::UiHooks &ui, CtrlPanel &panel, QWidget *parent)
    : state_(map.session().state()), site_search_{state_.points, state_.settings,
                                                  state_.interaction, state_.view},
      map_(map), ui_(ui), panel_(panel), parent_(parent) {
    hooks.Point_Data_Search = [this](int32_t &wx, int32_t &wy) {
        const std::optional<interrogation::SiteRows> rows =
            interrogation::Point_Data_Search(site_search_, wx, wy, &map_.session().dc(), ui_);
        map_.show_picture();
        if (rows)
            open_point_dialog().show_rows(
                *rows,
                {interrogation::SearchKind::Point, {{wx, wy, 0}}, state_.settings.Search_Buffer});
    };
    hooks.Interrogate_By_Drawn_polygon = [this](int32_t &sx, int32_t &sy, int32_t &wx, int32_t &wy,
                                                int32_t &button, int32_t &shape) {
        const std::optional<interrogation::SiteRows> rows =
            interrogation::Interrogate_By_Drawn_polygon(site_search_, shape_, &map_.session().dc(),
                                                        sx, sy, wx, wy, button, shape, ui_);
        map_.show_picture();
        if (rows)
            open_point_dialog().show_rows(*rows, drawn_search(shape));
    };
    hooks.Planning_Search_Object = [this](int32_t &wx, int32_t &wy) {
        const interrogation::PlanningHits hits = interrogation::Planning_Search_Object(
            state_.drawings, state_.settings, state_.interaction, wx, wy, ui_);
        open_planning_result().show_hits(
            hits,
            {interrogation::SearchKind::Planning, {{wx, wy, 0}}, state_.settings.Search_Buffer});
        map_.Redraw_Everything();
    };
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

Point_Dialog &MapSearches::open_point_dialog() {
    if (!point_dialog_) {
        point_dialog_ = new Point_Dialog(
            map_, ui_,
            [this](sites::RecordView record) {
                if (View_recevents *viewer = panel_.site_viewer())
                    viewer->show_record(std::move(record));
            },
            parent_);
        place(*point_dialog_, 40);
    }
    return *point_dialog_;
}

PlanningResult &MapSearches::open_planning_result() {
    if (!planning_result_) {
        planning_result_ = new PlanningResult(
            map_, ui_,
            [this](sites::ReferenceLookup found) {
                if (found.shows == sites::ReferenceLookup::Site && panel_.site_viewer())
                    panel_.site_viewer()->show_record(std::move(found.site));
                else if (found.shows == sites::ReferenceLookup::RazText && panel_.text_viewer())
                    panel_.text_viewer()->show_records(std::move(found.raz), std::move(found.era));
            },
            parent_);
        place(*planning_result_, 80);
    }
    return *planning_result_;
}

void MapSearches::place(QWidget &window, int from_bottom) const {
    if (parent_ == nullptr)
        return;
    const QRect frame = parent_->frameGeometry();
    const int x = frame.right() - window.width() - 24;
    const int y = frame.bottom() - window.height() - from_bottom - 40;
    window.move(std::max(frame.left(), x), std::max(frame.top(), y));
}

} // namespace app
