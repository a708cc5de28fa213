// The searches the map's tools start, and the windows that show what they find: the
// point data, polygon and polyline searches of the site list fill the point results
// window, the planning search of the drawn objects the planning results window. The
// map window calls the hooks filled in here; each search runs headless over the state
// and the windows only show what it returns.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/results/planning_result.h"
#include "app/results/point_dialog.h"
#include "app/windows/map_window_api.h"
#include "interrogation/enquiry.h"
#include "interrogation/mouse_tools.h"
#include "interrogation/search_report.h"
#include "interrogation/site_search.h"
#include "project/session.h"
#include "state/ui_hooks.h"

namespace app {

class CtrlPanel;

class MapSearches {
  public:
    // Fills hooks (the map window's). The records the result windows open are shown in
    // the control panel's viewers. ui must outlive this object.
    MapSearches(MapWindowApi &map, interrogation::Searches &hooks, const state::UiHooks &ui,
                CtrlPanel &panel, QWidget *parent);

    // The windows while they are open; nothing once the user closed them.
    Point_Dialog *point_dialog() const { return point_dialog_; }
    PlanningResult *planning_result() const { return planning_result_; }
    // The shape being digitised.
    const interrogation::DrawnShape &drawn_shape() const { return shape_; }

    // The enquiry run: its area drawn on the map (until the next redraw) with the sites
    // found ringed, and its sites in the point results window titled by the search.
    void enquire(const interrogation::Enquiry &enquiry);

  private:
    Point_Dialog &open_point_dialog(const interrogation::SearchDescription &searched);
    // The shape just searched (1 polygon, 2 polyline), for the report.
    interrogation::SearchDescription drawn_search(int32_t search_shape) const;
    PlanningResult &open_planning_result(const interrogation::SearchDescription &searched);
    // Where the search's shape and buffer lie on the screen; empty when not on it.
    QRect searched_area(const interrogation::SearchDescription &searched) const;
    // A new results window goes over the map clear of the panel, the other windows and
    // the area searched.
    void place(QWidget &window, const interrogation::SearchDescription &searched) const;

    project::AppState &state_;
    interrogation::SiteSearchState site_search_;
    MapWindowApi &map_;
    const state::UiHooks &ui_;
    CtrlPanel &panel_;
    QWidget *parent_;
    interrogation::DrawnShape shape_;
    QPointer<Point_Dialog> point_dialog_;
    QPointer<PlanningResult> planning_result_;
};

} // namespace app
