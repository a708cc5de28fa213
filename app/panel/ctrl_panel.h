// The control panel: the tool window beside the map from which the user picks what the
// mouse does in the map, switches the period maps and their colours, finds a site or a
// RAZ text, plots the site list, sets the search buffer, refreshes the display and
// leaves the program. It also loads the project at start-up. Every action ends in a call into the
// map window or the shared state; the panel keeps nothing of its own beyond its controls.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/windows/map_window_api.h"
#include "interrogation/enquiry.h"
#include "project/session.h"
#include "state/ui_hooks.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolBar;

namespace grid {
class Grid;
}

namespace app {

class PeriodGrid;
class View_recevents;
class view_RAZ_Text;
class Zoom_To_Drawn_object;

// Modal questions, replaceable so that tests (and scripted runs) answer them.
// The input box returns the text typed, or nothing when the user cancelled.
using InputBox = std::function<std::optional<std::string>(
    const std::string &title, const std::string &prompt, const std::string &proposal)>;
// The colour dialog starts from current (RGB, red in the low byte) and returns the
// colour chosen, or nothing when the user cancelled.
using ColourPicker = std::function<std::optional<int32_t>(int32_t current)>;
// A message with an OK button.
using MessageBox = std::function<void(const std::string &text)>;
// A question answered yes (true) or no.
using YesNoBox = std::function<bool(const std::string &text)>;
// The open dialog for a vector file: the file chosen, or nothing when the user cancelled.
using OpenDialog = std::function<std::optional<std::string>()>;

class CtrlPanel : public QWidget {
  public:
    CtrlPanel(app::MapWindowApi &map, const state::UiHooks &ui, std::function<void()> end_tavi,
              QWidget *parent = nullptr);
    ~CtrlPanel() override;

    // Loads the project of the data folder: rasters and drawings in the order the
    // project lists them, then the grid, and tells the user how to open the panel.
    // Ends the program through end_tavi when there is no project file.
    void LoadData();

    // A toolbar button pressed, by its key. Keys that name no button still put the
    // map's idle pointer back.
    void tool_button(const std::string &key);

    // The search-buffer button's caption from the buffer in force.
    void show_search_buffer();

    // The toolbar shows the tool in force pressed, and none once the tool is put down
    // (a search ended it, or its results window was cancelled); the help box then says
    // how to choose one again.
    void show_active_tool();
    // Esc in the panel: the keys go back to the map.
    std::function<void()> return_to_map;

    // The enquiry's part of the panel (ctrl_panel_enquiry.cpp): its radius, the shape
    // its tool digitises, and "Boundary from file...", which reads the file chosen and
    // hands the shape to enquire (the map's searches run it and show what it found). A
    // file that cannot be used is said in one line in a message box.
    std::function<void(const interrogation::EnquiryShape &shape)> enquire;
    void boundary_from_file_clicked();
    void set_open_dialog(OpenDialog dialog) { open_dialog_ = std::move(dialog); }
    QDoubleSpinBox *radius_box() const { return radius_box_; }
    QComboBox *enquiry_shape_box() const { return enquiry_shape_box_; }

    // Going to a grid reference: the panel comes forward with its field ready for one
    // (Ctrl+G); a reference entered there centres the map on its place at the height
    // the map has, and marks the place for a moment.
    void focus_go_to();
    void go_to_entered();
    // A distance in world units as the user reads it: whole metres, or kilometres to a
    // tenth, rounded up (a place 10 m off is not "0 km" away).
    static std::string distance_text(double world_units);

    // The site-database routines of the panel: the RAZ references into the drop-down
    // (appended), the record for RAZ_Reference in its viewer, the site list's names and
    // grey marks in the sites grid, the site list plotted on the map.
    void Fill_RAZ_Reference_List();
    void Show_RAZ_Text();
    void Mark_Sites_In_Datatable();
    void Plot_Excavation_Points();

    // The windows the panel opens, for tests and the result windows.
    Zoom_To_Drawn_object *object_list() const { return object_list_; }
    View_recevents *site_viewer() const { return site_viewer_; }
    view_RAZ_Text *text_viewer() const { return text_viewer_; }
    // Said instead of showing a viewer when the site database is not there.
    const std::string &missing_database_caption() const { return missing_caption_; }

    void set_input_box(InputBox box) { input_box_ = std::move(box); }
    void set_colour_picker(ColourPicker picker) { colour_picker_ = std::move(picker); }
    void set_message_box(MessageBox box) { message_box_ = std::move(box); }
    void set_yes_no_box(YesNoBox box) { yes_no_box_ = std::move(box); }

  protected:
    void changeEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

  private:
    void build_toolbar();
    void build_switches();
    void build_buttons();
    void build_enquiry_controls();
    // Accessible names and descriptions, and the order Tab takes through the panel.
    void name_controls();

    void help(const char *text);
    void period_ticked(int column, int row);
    void period_double_clicked(int column, int row);
    void thick_lines_clicked();
    void fill_clicked();
    void background_clicked();
    void buffer_clicked();
    void show_problems();

    // The site-database part of the panel (ctrl_panel_sites.cpp).
    void build_site_controls();
    void site_clicked(int column, int row);
    void site_double_clicked(int column, int row);
    void raz_chosen();
    void plot_sites_clicked();
    // The site-list searches need the points: the plot switch is ticked (and the points
    // plotted) unless it already is.
    void plot_once();
    void colour_double_clicked();
    void build_go_to();
    void ctrlGotoObject();
    void ctrlSearch();
    // After the drawings are in: the object list, the sites grid, the RAZ references, as
    // the session's opening found them.
    void fill_site_lists();
    std::vector<std::string> site_codes_listed() const;
    void show_site_marks(const std::vector<sites::SiteMark> &marks);
    void add_raz_references(const std::vector<std::string> &refs);
    // Runs a site-database lookup; an error of the database ends it with its message.
    bool guarded(const std::function<void()> &lookup);
    bool site_listed(int row) const;
    // The site code of a listed row of the sites grid, with the status message a choice
    // gives; nothing for a row outside the grid or a site the database does not hold.
    std::optional<std::string> chosen_site(int row) const;
    // Brings the title bar back onto the screen when it lies beyond it.
    void keep_title_bar_on_screen();
    // Ticks, colours and the background switch as the loaded project has them.
    void sync_with_project();
    void end();

    project::AppState &state_;
    app::MapWindowApi &map_;
    state::UiHooks ui_; // a copy: the caller's hooks may be a temporary
    std::function<void()> end_tavi_;
    InputBox input_box_;
    ColourPicker colour_picker_;
    MessageBox message_box_;
    YesNoBox yes_no_box_;
    // Servers the user would not send a stored password to, this session: not asked again.
    std::vector<std::string> passwords_refused_;
    OpenDialog open_dialog_;

    QToolBar *toolbar_ = nullptr;
    QActionGroup *tools_ = nullptr; // the tool buttons, one pressed at most
    std::string tool_key_;          // the key of the tool chosen last
    bool syncing_tools_ = false;    // the buttons are being set to the tool in force
    int tool_presses_ = 0;          // toolbar buttons handled so far
    QPlainTextEdit *help_box_ = nullptr;
    PeriodGrid *period_grid_ = nullptr;
    QCheckBox *thick_lines_box_ = nullptr;
    QCheckBox *fill_box_ = nullptr;
    QCheckBox *background_box_ = nullptr;
    QPushButton *buffer_button_ = nullptr;
    QPushButton *refresh_button_ = nullptr;
    QPushButton *exit_button_ = nullptr;
    QPushButton *problems_button_ = nullptr;
    QLabel *radius_label_ = nullptr;
    QDoubleSpinBox *radius_box_ = nullptr;
    QComboBox *enquiry_shape_box_ = nullptr;
    QPushButton *from_file_button_ = nullptr;

    QLabel *sites_label_ = nullptr;
    grid::Grid *sites_grid_ = nullptr;
    QLabel *raz_label_ = nullptr;
    QComboBox *raz_box_ = nullptr;
    QCheckBox *plot_sites_box_ = nullptr;
    QLineEdit *colour_swatch_ = nullptr;
    QLabel *go_to_label_ = nullptr;
    QLineEdit *go_to_field_ = nullptr;
    bool entered_ = false; // Combo1 was just chosen from: the same choice reported again

    Zoom_To_Drawn_object *object_list_ = nullptr;
    View_recevents *site_viewer_ = nullptr;
    view_RAZ_Text *text_viewer_ = nullptr;
    std::string missing_caption_;
};

} // namespace app
