// The control panel's site-database part: the sites grid, the RAZ references, the site
// plot and its colour, and the two toolbar commands that reach the database and the
// object list.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>

#include "app/panel/ctrl_panel.h"
#include "app/shared/accessible.h"
#include "app/shared/open_beside.h"
#include "app/viewers/record_viewers.h"
#include "app/viewers/zoom_to_drawn_object.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/widgets/grid.h"
#include "project/session.h"
#include "sites/point_plot.h"
#include "sites/site_lookups.h"
#include "view/navigation.h"

namespace app {

namespace {

constexpr const char *kSitesGridHelp =
    "Click on the top bar to sort the data. Double click on an item to zoom to show the site in "
    "the window centre.  Single click to flash the site polygon.";
constexpr const char *kNotInDatatable = "Site not in datatable";
// The site grid's mark for a code the site list does not hold.
constexpr gdi::Colour kUnlistedGrey = gdi::rgb(128, 128, 128);
// The drawing whose objects are the excavated areas, named by their site codes.
constexpr int32_t kExcavatedAreasDrawing = 8;
enum SiteColumn { kSiteName = 1, kSiteCode = 2 };

// A swatch: a read-only box whose colour is the point colour; a double click opens the
// colour dialog.
class Swatch : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    std::function<void()> on_double_click;

  protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override {
        event->accept();
        if (on_double_click)
            on_double_click();
    }
    // From the keyboard: Enter or Space opens the colour dialog as a double click does.
    void keyPressEvent(QKeyEvent *event) override {
        const int k = event->key();
        if ((k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Space) &&
            !(event->modifiers() & ~Qt::KeypadModifier)) {
            event->accept();
            if (on_double_click)
                on_double_click();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

void paint_swatch(QLineEdit *swatch, int32_t rgb) {
    QPalette p = swatch->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(gdi::to_qrgb(rgb)));
    swatch->setPalette(p);
}

} // namespace

void CtrlPanel::build_site_controls() {
    sites_label_ = new QLabel("Show Site", this);
    sites_label_->setObjectName("Label2");
    sites_grid_ = new grid::Grid(this);
    sites_grid_->setObjectName("vaSpread2");
    sites_grid_->setToolTip("Zoom to (double click) or flash site (single click)");
    sites_grid_->set_column_count(2);
    sites_grid_->set_row_count(0);
    sites_grid_->set_text(kSiteName, 0, "Site");
    sites_grid_->set_text(kSiteCode, 0, "Code");
    sites_grid_->set_row_headers_visible(false);
    sites_grid_->set_sort_on_header_click(true);
    sites_grid_->setMinimumHeight(170);
    // The names take the room; the codes keep theirs.
    QHeaderView *columns = sites_grid_->table_widget()->horizontalHeader();
    columns->setSectionResizeMode(kSiteName - 1, QHeaderView::Stretch);
    columns->setSectionResizeMode(kSiteCode - 1, QHeaderView::ResizeToContents);
    sites_grid_->on_click = [this](int c, int r) { site_clicked(c, r); };
    sites_grid_->on_double_click = [this](int c, int r) { site_double_clicked(c, r); };
    sites_grid_->on_focus_in = [this] { help(kSitesGridHelp); };
    sites_grid_->on_focus_out = [this] { help_box_->clear(); };

    raz_label_ = new QLabel("Display RAZ Text", this);
    raz_label_->setObjectName("Label1");
    raz_box_ = new QComboBox(this);
    raz_box_->setObjectName("Combo1");
    raz_box_->setEditable(true);
    raz_box_->setInsertPolicy(QComboBox::NoInsert);
    // A reference typed and ended with Enter is looked up as one chosen from the list.
    // One Enter reaches the edit field twice (the box hands the key back to it) and, for
    // a listed text, also activates the box: all of it is one choice, looked up once.
    const auto chosen = [this] {
        if (entered_)
            return;
        entered_ = true;
        QTimer::singleShot(0, this, [this] { entered_ = false; });
        raz_chosen();
    };
    connect(raz_box_->lineEdit(), &QLineEdit::returnPressed, this, chosen);
    connect(raz_box_, &QComboBox::activated, this, chosen);

    plot_sites_box_ = new QCheckBox("Plot Excavation Locations", this);
    plot_sites_box_->setObjectName("Check1");
    plot_sites_box_->setEnabled(false); // until the project is loaded
    connect(plot_sites_box_, &QCheckBox::clicked, this, [this] { plot_sites_clicked(); });

    auto *swatch = new Swatch(this);
    swatch->setObjectName("Text1");
    swatch->setReadOnly(true);
    swatch->setFixedWidth(40);
    swatch->setToolTip("Colour of the plotted excavation points (double click to change)");
    swatch->on_double_click = [this] { colour_double_clicked(); };
    colour_swatch_ = swatch;
    paint_swatch(colour_swatch_, state_.interaction.Point_Colour);

    describe(sites_grid_, "Sites", kSitesGridHelp);
    describe(raz_box_, "Display RAZ Text",
             "Choose or type a RAZ text reference and press Enter to show its record.");
    describe(raz_box_->lineEdit(), "RAZ text reference",
             "Type a RAZ text reference and press Enter to show its record.");
    describe(plot_sites_box_, plot_sites_box_->text(),
             "Plot the site list's points on the map; the searches of the site list need "
             "them.");
    describe(colour_swatch_, "Colour of the plotted excavation points",
             "Press Enter or double click to choose the colour the site points are plotted in.");

    // The list and the viewers belong to the main window, as the panel does, so that
    // the window manager keeps them above the map (see ~CtrlPanel for their end).
    QWidget *owner = parentWidget() != nullptr ? parentWidget() : this;
    object_list_ = new Zoom_To_Drawn_object(map_, owner);
    site_viewer_ = new View_recevents(ui_, owner);
    text_viewer_ = new view_RAZ_Text(ui_, owner);
    // Beside the panel and the results, over the map where it has room.
    site_viewer_->place_first = [this](QWidget &w) { open_beside(w, map_.screen_area(), {}); };
    text_viewer_->place_first = [this](QWidget &w) { open_beside(w, map_.screen_area(), {}); };
}

bool CtrlPanel::guarded(const std::function<void()> &lookup) {
    try {
        lookup();
        return true;
    } catch (const dao::PasswordWithheld &e) {
        // The project names a server the user's stored password has not been allowed to
        // go to: the user is asked, once, naming the server; a yes is kept in TAVI.ini.
        std::string names;
        bool refused = false;
        for (const std::string &s : e.servers()) {
            names += (names.empty() ? "" : ", ") + s;
            refused = refused || std::find(passwords_refused_.begin(), passwords_refused_.end(),
                                           s) != passwords_refused_.end();
        }
        if (!refused && yes_no_box_ &&
            yes_no_box_("The site database's server " + names +
                        " asks for a password. Send it the password you stored for it "
                        "(PGPASSWORD or ~/.pgpass)?\n\nYour answer is kept in TAVI's settings "
                        "(TAVI.ini).")) {
            if (dao::allow_stored_passwords(e.servers()))
                return guarded(lookup);
        } else if (!refused) {
            passwords_refused_.insert(passwords_refused_.end(), e.servers().begin(),
                                      e.servers().end());
        }
        ui_.message(e.what());
        return false;
    } catch (const dao::Error &e) {
        ui_.message(e.what());
        return false;
    }
}

void CtrlPanel::fill_site_lists() {
    // Every drawing's objects, and the site codes among them for the sites grid, as the
    // opening found them.
    const project::ProjectLists &lists = map_.session().lists();
    object_list_->list_project(lists.objects);
    const std::vector<std::string> &codes = lists.site_codes;
    sites_grid_->set_redraw(false);
    sites_grid_->set_row_count(static_cast<int>(codes.size()));
    for (int r = 1; r <= static_cast<int>(codes.size()); ++r)
        sites_grid_->set_text(kSiteCode, r, QString::fromStdString(codes[r - 1]));
    sites_grid_->set_redraw(true);
    show_site_marks(lists.site_marks);
    add_raz_references(lists.raz_references);
}

std::vector<std::string> CtrlPanel::site_codes_listed() const {
    std::vector<std::string> codes;
    for (int r = 1; r <= sites_grid_->row_count(); ++r)
        codes.push_back(text::trim_blanks(sites_grid_->text(kSiteCode, r).toStdString()));
    return codes;
}

void CtrlPanel::Mark_Sites_In_Datatable() {
    std::vector<sites::SiteMark> marks;
    if (guarded([&] { marks = sites::mark_sites(site_codes_listed(), state_.drawings, ui_); }))
        show_site_marks(marks);
}

void CtrlPanel::show_site_marks(const std::vector<sites::SiteMark> &marks) {
    const std::vector<std::string> codes = site_codes_listed();
    // The marks come in the order of the codes, blank codes passed over.
    std::size_t m = 0;
    sites_grid_->set_redraw(false);
    for (int r = 1; r <= sites_grid_->row_count() && m < marks.size(); ++r) {
        if (codes[static_cast<std::size_t>(r - 1)].empty() ||
            marks[m].code != codes[static_cast<std::size_t>(r - 1)])
            continue;
        if (!marks[m].listed)
            sites_grid_->set_back_colour(kSiteCode, r, kUnlistedGrey);
        else if (!marks[m].name.empty())
            sites_grid_->set_text(kSiteName, r, QString::fromStdString(marks[m].name));
        ++m;
    }
    sites_grid_->set_redraw(true);
}

void CtrlPanel::Fill_RAZ_Reference_List() {
    std::vector<std::string> refs;
    if (guarded([&] { refs = sites::raz_references(state_.drawings, ui_); }))
        add_raz_references(refs);
}

void CtrlPanel::add_raz_references(const std::vector<std::string> &refs) {
    const QString typed = raz_box_->currentText();
    for (const std::string &r : refs)
        raz_box_->addItem(QString::fromStdString(r));
    // The list fills behind the edit field, which keeps what it showed.
    raz_box_->setEditText(typed);
}

void CtrlPanel::Show_RAZ_Text() {
    sites::ReferenceLookup found;
    if (!guarded([&] {
            found = sites::show_raz_text(state_.interaction.RAZ_Reference, state_.drawings, ui_);
        }))
        return;
    if (found.missing) {
        missing_caption_ = *found.missing;
        ui_.message(missing_caption_);
        return;
    }
    if (const std::string note = sites::lookup_note(state_.interaction.RAZ_Reference, found);
        !note.empty())
        ui_.message(note);
    // A reference the site list lacks is said in the status bar; no empty form beside it.
    if (found.shows == sites::ReferenceLookup::Site && found.site.found)
        site_viewer_->show_record(std::move(found.site));
    else if (found.shows == sites::ReferenceLookup::RazText)
        text_viewer_->show_records(std::move(found.raz), std::move(found.era));
}

void CtrlPanel::raz_chosen() {
    state_.interaction.RAZ_Reference = raz_box_->currentText().toStdString();
    Show_RAZ_Text();
}

bool CtrlPanel::site_listed(int row) const {
    return sites_grid_->back_colour(kSiteCode, row) != kUnlistedGrey;
}

std::optional<std::string> CtrlPanel::chosen_site(int row) const {
    if (row < 1 || row > sites_grid_->row_count())
        return std::nullopt;
    if (!site_listed(row)) {
        ui_.message(kNotInDatatable);
        return std::nullopt;
    }
    ui_.message("Site " + sites_grid_->text(kSiteName, row).toStdString() + " found");
    return text::trim_blanks(sites_grid_->text(kSiteCode, row).toStdString());
}

void CtrlPanel::site_clicked(int /*column*/, int row) {
    if (const std::optional<std::string> code = chosen_site(row))
        map_.Flash_DRW(kExcavatedAreasDrawing, *code, 0);
}

void CtrlPanel::site_double_clicked(int /*column*/, int row) {
    const std::optional<std::string> code = chosen_site(row);
    if (!code)
        return;
    const std::optional<drawing::ObjectRow> area = object_list_->find(*code);
    if (!area)
        return;
    state_.interaction.Refresh_Mode = 1;
    view::Zoom_To_Object(state_.view, area->centre_x, area->centre_y, area->height,
                         [this] { map_.Redraw_Everything(); });
    map_.keyboard_pointer_to_centre();
}

void CtrlPanel::plot_sites_clicked() {
    if (!plot_sites_box_->isChecked()) {
        state_.points.clear();
        map_.Redraw_Everything();
        return;
    }
    Plot_Excavation_Points();
}

void CtrlPanel::plot_once() {
    if (plot_sites_box_->isChecked())
        return;
    plot_sites_box_->setChecked(true);
    plot_sites_clicked();
}

void CtrlPanel::Plot_Excavation_Points() {
    std::optional<sites::PlotResult> plotted;
    const bool read = guarded([&] { plotted = map_.session().plot_sites(); });
    map_.show_picture();
    // A plot that failed (no database, or one that cannot be read) leaves the switch
    // off, so that the next tick or site-list tool tries again rather than search an
    // empty store.
    if (!read || !plotted)
        plot_sites_box_->setChecked(false);
}

void CtrlPanel::colour_double_clicked() {
    const std::optional<int32_t> picked =
        colour_picker_ ? colour_picker_(state_.interaction.Point_Colour) : std::nullopt;
    if (!picked)
        return;
    state_.interaction.Current_Colour = *picked & 0xFFFFFF;
    state_.interaction.Point_Colour = state_.interaction.Current_Colour;
    paint_swatch(colour_swatch_, state_.interaction.Point_Colour);
}

void CtrlPanel::ctrlGotoObject() {
    object_list_->Fill_Drawing_List(0);
    for (int n = 1; n <= state_.drawings.count(); ++n)
        if (state_.drawings.entry(n).active)
            object_list_->Fill_Drawing_List(n);
    object_list_->sort_drawing_list();
    object_list_->open_beside(map_.screen_area(), frameGeometry());
}

void CtrlPanel::ctrlSearch() {
    const std::optional<std::string> answer =
        input_box_ ? input_box_("RAZ Text Search", "Enter RAZ Text Reference to find", "")
                   : std::nullopt;
    state_.interaction.RAZ_Reference = text::trim_blanks(answer.value_or(std::string()));
    Show_RAZ_Text();
}

} // namespace app
