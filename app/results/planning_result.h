// The planning results window ("TAVI Map Interrogation Results"): the drawn features the
// planning search found at a point, one row per feature with its class and name, under
// a label naming the place searched. A click flashes the feature on the map, a double
// click opens its record: a site's record for a site code, else the RAZ text of the
// feature's reference. "Report…" saves the search report (the search, a map with the
// features outlined, the rows) as PDF.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "app/results/save_report.h"
#include "app/windows/map_window_api.h"
#include "interrogation/planning_search.h"
#include "interrogation/search_report.h"
#include "project/session.h"
#include "sites/site_lookups.h"
#include "state/ui_hooks.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace grid {
class Grid;
}

namespace app {

class PlanningResult : public QWidget {
  public:
    // show_lookup shows what a reference names in the control panel's viewers.
    PlanningResult(MapWindowApi &map, const state::UiHooks &ui,
                   std::function<void(sites::ReferenceLookup)> show_lookup,
                   QWidget *parent = nullptr);

    // The features of a search, replacing what the window showed, and its label; the
    // search itself is what the report describes.
    void show_hits(const interrogation::PlanningHits &hits,
                   const interrogation::SearchDescription &search = {});

    void report_clicked(); // save the search report
    void feature_clicked(int column, int row);
    void feature_double_clicked(int column, int row);

    grid::Grid *vaSpread1() const { return features_grid_; }
    QLabel *Label1() const { return search_label_; }
    void set_save_dialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }

  private:
    // The RAZ reference a row names (see interrogation::raz_reference).
    std::string reference_of(int row) const;

    project::AppState &state_;
    MapWindowApi &map_;
    state::UiHooks ui_;
    std::function<void(sites::ReferenceLookup)> show_lookup_;
    interrogation::PlanningHits hits_;
    interrogation::SearchDescription search_;
    SaveDialog save_dialog_;

    grid::Grid *features_grid_ = nullptr;
    QLabel *search_label_ = nullptr;
    QLineEdit *ReportTitle_ = nullptr;
    QPushButton *report_button_ = nullptr;
    QPushButton *exit_button_ = nullptr;
};

} // namespace app
