// The list of drawn objects ("Select Drawn Object to Zoom TO"): every named object of
// the drawings with the centre and size of its extent. A click flashes the object on
// the map, a double click zooms the map to it. Built at project load from every
// drawing; the control panel rebuilds it from the active drawings on request.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "app/windows/map_window_api.h"
#include "drawing/object_list.h"
#include "project/session.h"

class QPushButton;

namespace grid {
class Grid;
}

namespace app {

class Zoom_To_Drawn_object : public QWidget {
  public:
    Zoom_To_Drawn_object(MapWindowApi &map, QWidget *parent = nullptr);

    // Adds drawing n's objects to the list and returns the site codes among them;
    // n = 0 empties the list.
    std::vector<std::string> Fill_Drawing_List(int n);
    // Sorts the list by object name.
    void sort_drawing_list();
    // The project's objects as its opening listed them, sorted by name (the list as the
    // project loads).
    void list_project(const std::vector<drawing::ObjectRow> &rows);
    // The first load lists the project's objects; later loads show the window.
    void Form_Load();

    // Shows the list, brought forward. The first time it opens it is placed beside the
    // map's middle, where a double click puts the object, and clear of the control
    // panel (panel: its frame on the screen); later it opens where the user left it.
    void open_beside(const QRect &map_area, const QRect &panel);

    // The object of that name (trimmed), for the control panel's site grid.
    std::optional<drawing::ObjectRow> find(const std::string &name) const;
    grid::Grid *list() const { return objects_grid_; }

    // Row (from 1) clicked or double-clicked, as the grid reports them.
    void object_clicked(int column, int row);
    void object_double_clicked(int column, int row);

  private:
    drawing::ObjectRow row_at(int row) const;
    void add_rows(const std::vector<drawing::ObjectRow> &rows);
    void loading(); // hidden, busy, titled so, while rows are added

    project::AppState &state_;
    MapWindowApi &map_;
    grid::Grid *objects_grid_ = nullptr;
    QPushButton *ok_button_ = nullptr;
    QPushButton *cancel_button_ = nullptr;
    bool filled_ = false;
    bool placed_ = false;
};

} // namespace app
