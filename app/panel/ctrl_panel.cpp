#include "app/panel/ctrl_panel.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

#include "platform/widgets/grid.h"
#include <QColorDialog>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/panel/period_grid.h"
#include "app/panel/toolbar_icons.h"
#include "app/shared/accessible.h"
#include "app/shared/app_icon.h"
#include "app/viewers/record_viewers.h"
#include "app/viewers/zoom_to_drawn_object.h"
#include "drawing/data_extent.h"
#include "drawing/main_colour.h"
#include "interrogation/mouse_tools.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/surface/gdi.h"
#include "platform/surface/pointer_shapes.h"
#include "project/load_data.h"
#include "project/project_file.h"
#include "project/session.h"
#include "project/settings.h"
#include "raster/raster_painting.h"
#include "view/grid_ref.h"
#include "view/navigation.h"

namespace app {

namespace {

struct ToolButton {
    const char *key; // compared exactly: the keys mix their first letter's case
    const char *tooltip;
    const char *help;
    QIcon (*icon)();
    const char *shortcut; // shown after the tooltip; the tooltip alone is the button's name
};

constexpr ToolButton kToolButtons[] = {
    {"CtrlZoomin", "Zoom In by 2", "Zoom In by 2.", &zoom_in_icon, "Alt+I"},
    {"ctrlZoomout", "Zoom out by 2", "Zoom Out by 2.", &zoom_out_icon, "Alt+O"},
    {"CtrlZoomWindow", "Use the mouse to define the zoom window",
     "Using the mouse, define a zoom window by pressing the left button and dragging the mouse "
     "to highlight the zoom window. Release the left button to end. The new window will be "
     "defined by the height of the zoom window and its south-west origin.",
     &zoom_window_icon, "Alt+W"},
    {"ctrlPan", "Point and drag to pan the Window",
     "Pan the view area by pressing the left button and dragging the mouse in the direction you "
     "wish to move the drawing.",
     &pan_icon, "Alt+P"},
    {"ctrlGotoObject", "Zoom to an object in the active list",
     "Show a list of all the active drawn objects. Select an object by highlighting its name in "
     "the list. Click once with the left button to highlight the object. Click twice to zoom to "
     "it.",
     &goto_object_icon, "Alt+G"},
    {"ctrlSearch", "Select RAZ text by Reference",
     "Search the database by typing in a text record reference to display that record",
     &text_search_icon, "Alt+R"},
    {"MousePntSrch", "Interrogate active elements by single point",
     "Interrogate through all the active drawn elements by pointing at the required location and "
     "clicking the left mouse button. Double click any item in the query results list to show "
     "the full record.",
     &object_point_search_icon, "Alt+E"},
    {"PointDataSearch", "Interrogate site list by individual point",
     "Interrogate the TAVI sitelist database using a point search. Point at the desired location "
     "and click the left mouse button to see all records within the search buffer. Double click "
     "any item in the query results list to show the full record.",
     &site_point_search_icon, "Alt+S"},
    {"PointPolySearch", "Interrogate site list using a polygon",
     "Interrogate the TAVI sitelist database using a polygon search. Define a search polygon by "
     "clicking the left mouse button, drawing from point to point. Close the polygon and perform "
     "the search by clicking the right button. Double click any item in the query results list "
     "to show the full record.",
     &site_polygon_search_icon, "Alt+Y"},
    {"PointLineSearch", "Interrogate site list using a polyline",
     "Interrogate the TAVI sitelist database using a polyline search. Define a search polyline "
     "by clicking the left mouse button, drawing from point to point. End the polyline and "
     "perform a search for all points within the buffer by clicking the right button. Double "
     "click any item in the query results list to show the full record.",
     &site_line_search_icon, "Alt+L"},
    {"EnquirySearch", "Enquiry: sites and drawn features within a radius of a shape",
     "Answer a planning enquiry: the sites and drawn features inside a boundary or within the "
     "radius set on the panel of it, of a route or of a point. Choose boundary, route or point "
     "on the panel, then draw the shape by clicking the left mouse button from point to point "
     "and end it with the right button (a point is one left click). The area searched is drawn "
     "hatched on the map until the next redraw. \"Boundary from file...\" on the panel reads "
     "the shape from a vector file instead.",
     &enquiry_icon, "Alt+N"},
};

const char *help_for(const std::string &key) {
    for (const auto &b : kToolButtons)
        if (key == b.key)
            return b.help;
    return "";
}

// The program's name as its dialogs are titled (the settings keep their own spelling).
constexpr const char *kDialogTitle = "TAVI";

constexpr const char *kToolDropped =
    "The search is over and its tool is put down: a click on the map searches nothing now. "
    "To search again choose a tool on the toolbar, or press its key (shown in its tooltip).";

constexpr const char *kPeriodGridHelp =
    "Left click over the tick-boxes to turn On or Off the ERA maps. Double click the clear cells "
    "to change the drawing colour.";

constexpr int32_t kWhite = gdi::rgb(255, 255, 255);
constexpr int32_t kBlack = gdi::rgb(0, 0, 0);

} // namespace

CtrlPanel::CtrlPanel(app::MapWindowApi &map, const state::UiHooks &ui,
                     std::function<void()> end_tavi, QWidget *parent)
    : QWidget(parent, Qt::Tool), state_(map.session().state()), map_(map), ui_(ui),
      end_tavi_(std::move(end_tavi)) {
    setWindowTitle("TAVI Control Panel");
    setWindowIcon(app_icon());
    setMinimumWidth(300);
    setObjectName("CtrlPanel");
    setMouseTracking(true);

    input_box_ = [this](const std::string &title, const std::string &prompt,
                        const std::string &proposal) -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(
            this, QString::fromStdString(title), QString::fromStdString(prompt), QLineEdit::Normal,
            QString::fromStdString(proposal), &ok);
        if (!ok)
            return std::nullopt;
        return text.toStdString();
    };
    colour_picker_ = [this](int32_t current) -> std::optional<int32_t> {
        const QColor c = QColorDialog::getColor(QColor::fromRgb(gdi::to_qrgb(current)), this);
        if (!c.isValid())
            return std::nullopt;
        return gdi::rgb(c.red(), c.green(), c.blue());
    };
    yes_no_box_ = [this](const std::string &text) {
        return QMessageBox::question(this, kDialogTitle, QString::fromStdString(text)) ==
               QMessageBox::Yes;
    };
    message_box_ = [this](const std::string &text) {
        if (ui_.message_box)
            ui_.box(text);
        else
            QMessageBox::information(this, kDialogTitle, QString::fromStdString(text));
    };

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    build_toolbar();
    layout->addWidget(toolbar_);

    help_box_ = new QPlainTextEdit(this);
    help_box_->setObjectName("Text2");
    help_box_->setReadOnly(true);
    help_box_->setFocusPolicy(Qt::NoFocus);
    help_box_->setFixedHeight(help_box_->fontMetrics().lineSpacing() * 6 + 8);
    layout->addWidget(help_box_);

    period_grid_ = new PeriodGrid(this);
    period_grid_->setObjectName("vaSpread1");
    period_grid_->on_tick = [this](int column, int row) { period_ticked(column, row); };
    period_grid_->on_double_click = [this](int column, int row) {
        period_double_clicked(column, row);
    };
    period_grid_->on_focus_in = [this] { help(kPeriodGridHelp); };
    period_grid_->on_focus_out = [this] { help_box_->clear(); };
    layout->addWidget(period_grid_);

    // The sites grid, the text references and the site plot, between the period maps
    // and the display switches.
    build_site_controls();
    layout->addWidget(sites_label_);
    layout->addWidget(sites_grid_, 1);
    layout->addWidget(raz_label_);
    layout->addWidget(raz_box_);
    auto *plot = new QHBoxLayout;
    plot->addWidget(plot_sites_box_);
    plot->addWidget(colour_swatch_);
    plot->addStretch(1);
    layout->addLayout(plot);
    build_go_to();
    auto *go_to = new QHBoxLayout;
    go_to->addWidget(go_to_label_);
    go_to->addWidget(go_to_field_, 1);
    layout->addLayout(go_to);

    build_switches();
    layout->addWidget(thick_lines_box_, 0, Qt::AlignLeft);
    layout->addWidget(fill_box_, 0, Qt::AlignLeft);
    layout->addWidget(background_box_, 0, Qt::AlignLeft);

    build_buttons();
    layout->addWidget(buffer_button_);
    build_enquiry_controls();
    auto *enquiry = new QHBoxLayout;
    enquiry->addWidget(radius_label_);
    enquiry->addWidget(radius_box_);
    enquiry->addWidget(enquiry_shape_box_, 1);
    layout->addLayout(enquiry);
    layout->addWidget(from_file_button_);
    layout->addWidget(refresh_button_);
    layout->addWidget(exit_button_);
    layout->addWidget(problems_button_);

    state_.settings.Search_Buffer = state::kPanelSearchBuffer;
    show_search_buffer();
    sync_with_project();
    name_controls();
}

void CtrlPanel::name_controls() {
    describe(toolbar_, "Map tools",
             "What the mouse does in the map, and the windows the panel opens; each tool's "
             "key is in its tooltip.");
    describe(help_box_, "Help", "Describes the control in use.");
    describe(period_grid_, "Period maps", kPeriodGridHelp);
    describe(go_to_field_, "Go to",
             "A grid reference to centre the map on, then Enter: SK 9660 7025, SK9660070255 or "
             "eastings and northings in metres. Ctrl+G comes here from the map.");
    describe(thick_lines_box_, thick_lines_box_->text(), "Draw the period maps with thick lines.");
    describe(fill_box_, fill_box_->text(), "Show the drawings' polygons filled.");
    describe(background_box_, background_box_->text(),
             "Show the background map under the drawings.");
    describe(buffer_button_, buffer_button_->text(),
             "Set the width in metres of the point and polyline searches' buffer: sites within "
             "half of it are found. The polygon search does not use it; the enquiry has its "
             "own radius.");
    describe(radius_box_, "Enquiry radius",
             "The enquiry's radius in metres, 0 to 5000: sites and drawn features inside a "
             "boundary or within this distance of it, of a route or of a point.");
    describe(enquiry_shape_box_, "Enquiry shape",
             "What the enquiry tool draws: a boundary, a route or a point.");
    describe(from_file_button_, "Boundary from file",
             "Read the enquiry's boundary or route from a vector file (GeoJSON, Shapefile, "
             "GeoPackage, KML, DXF) and search within the radius of it.");
    describe(refresh_button_, refresh_button_->text(), "Draw the whole map again.");
    describe(exit_button_, exit_button_->text(), "End TAVI.");
    describe(problems_button_, "Problems",
             "List the files the loading of the project skipped or found damaged.");
    // Tab runs down the panel as it is laid out; the toolbar is reached by its keys.
    QWidget *order[] = {period_grid_,      sites_grid_,     raz_box_,         plot_sites_box_,
                        colour_swatch_,    go_to_field_,    thick_lines_box_, fill_box_,
                        background_box_,   buffer_button_,  radius_box_,      enquiry_shape_box_,
                        from_file_button_, refresh_button_, exit_button_,     problems_button_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    // Esc anywhere in the panel hands the keys back to the map (a list that is open
    // closes first, as it takes the key itself).
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setObjectName("EscToMap");
    esc->setContext(Qt::WidgetWithChildrenShortcut);
    connect(esc, &QShortcut::activated, this, [this] {
        if (return_to_map)
            return_to_map();
    });
}

CtrlPanel::~CtrlPanel() {
    // They belong to the main window for the window manager's sake, but read the state
    // that the panel was given: they go with it.
    delete object_list_;
    delete site_viewer_;
    delete text_viewer_;
}

void CtrlPanel::build_toolbar() {
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName("Toolbar1");
    toolbar_->setIconSize(QSize(24, 24));
    // The buttons that choose a map tool stay pressed while their tool is in force; none
    // is pressed when no tool is.
    tools_ = new QActionGroup(this);
    tools_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const auto &b : kToolButtons) {
        QAction *action = toolbar_->addAction(b.icon(), QString());
        action->setObjectName(b.key);
        if (interrogation::tool_for_key(b.key)) {
            action->setCheckable(true);
            tools_->addAction(action);
        }
        const QKeySequence keys(QString::fromLatin1(b.shortcut));
        action->setShortcut(keys);
        // The frame adds the same actions, so the keys work over the map as well.
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(b.tooltip),
                                                         keys.toString(QKeySequence::NativeText)));
        describe(toolbar_->widgetForAction(action), QString::fromLatin1(b.tooltip),
                 QString::fromLatin1(b.help));
        const std::string key = b.key;
        connect(action, &QAction::triggered, this, [this, key] { tool_button(key); });
        // Assistive technology toggles a checkable button rather than click it: the
        // toggle alone (no trigger after it) chooses the tool as well.
        if (action->isCheckable())
            connect(action, &QAction::toggled, this, [this, key](bool on) {
                if (!on || syncing_tools_)
                    return;
                QTimer::singleShot(0, this, [this, key, stamp = tool_presses_] {
                    if (tool_presses_ == stamp)
                        tool_button(key);
                });
            });
    }
}

void CtrlPanel::build_switches() {
    thick_lines_box_ = new QCheckBox("Use thick lines", this);
    thick_lines_box_->setObjectName("Check2");
    connect(thick_lines_box_, &QCheckBox::clicked, this, [this] { thick_lines_clicked(); });

    fill_box_ = new QCheckBox("Show Polygons Filled", this);
    fill_box_->setObjectName("fillpoly");
    fill_box_->setChecked(state_.settings.Polygon_Filling != 0);
    connect(fill_box_, &QCheckBox::clicked, this, [this] { fill_clicked(); });

    background_box_ = new QCheckBox("Background Map", this);
    background_box_->setObjectName("LOADrasta");
    connect(background_box_, &QCheckBox::clicked, this, [this] { background_clicked(); });
}

void CtrlPanel::build_buttons() {
    buffer_button_ = new QPushButton(this);
    buffer_button_->setObjectName("SetBuf");
    connect(buffer_button_, &QPushButton::clicked, this, [this] { buffer_clicked(); });

    refresh_button_ = new QPushButton("Refresh Display", this);
    refresh_button_->setObjectName("Command2");
    connect(refresh_button_, &QPushButton::clicked, this, [this] { map_.Redraw_Everything(); });

    exit_button_ = new QPushButton("Exit TAVI", this);
    exit_button_->setObjectName("Command3");
    connect(exit_button_, &QPushButton::clicked, this, [this] { end(); });

    // Shown only when the load skipped or found damaged files.
    problems_button_ = new QPushButton(this);
    problems_button_->setObjectName("Problems");
    problems_button_->setVisible(false);
    connect(problems_button_, &QPushButton::clicked, this, [this] { show_problems(); });
}

void CtrlPanel::build_go_to() {
    go_to_label_ = new QLabel("Go to", this);
    go_to_label_->setObjectName("GoToLabel");
    go_to_field_ = new QLineEdit(this);
    go_to_field_->setObjectName("GoTo");
    go_to_field_->setPlaceholderText("SK 9660 7025");
    go_to_field_->setToolTip(
        "Grid reference to centre the map on (Ctrl+G): SK 9660 7025, SK9660070255 "
        "or eastings and northings in metres, then Enter");
    go_to_label_->setBuddy(go_to_field_);
    connect(go_to_field_, &QLineEdit::returnPressed, this, [this] { go_to_entered(); });
}

void CtrlPanel::focus_go_to() {
    show();
    raise();
    activateWindow();
    go_to_field_->setFocus(Qt::ShortcutFocusReason);
    go_to_field_->selectAll();
}

void CtrlPanel::go_to_entered() {
    const std::string typed = go_to_field_->text().trimmed().toStdString();
    if (typed.empty())
        return;
    if (state_.interaction.Data_Loading) {
        ui_.message("Please wait Data Loading");
        return;
    }
    const auto place = view::parse_grid_reference(typed);
    if (!place) {
        ui_.message("Not a grid reference: " + typed);
        return;
    }
    const auto [x, y] = *place;
    state_.interaction.Refresh_Mode = 1;
    view::Centre_On(state_.view, x, y, [this] { map_.Redraw_Everything(); });
    map_.mark_place(x, y);
    // A place beyond the drawings shows an empty map: say so, and how far off it lies.
    const std::optional<drawing::WorldExtent> data =
        drawing::drawings_extent(state_.drawings, map_.session().drawing_cache());
    const double off = data ? drawing::distance_outside(*data, x, y) : 0.0;
    if (off > 0.0)
        ui_.message("Centred on " + view::grid_reference(x, y) +
                    ", which lies outside the project's drawings, " + distance_text(off) +
                    " from them");
    else
        ui_.message("Centred on " + view::grid_reference(x, y));
}

std::string CtrlPanel::distance_text(double world_units) {
    const double metres = world_units / state::kUnitsPerMetre;
    if (metres < 1000.0)
        return std::to_string(static_cast<int64_t>(std::ceil(metres))) + " m";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f km", std::ceil(metres / 100.0) / 10.0);
    return text;
}

void CtrlPanel::help(const char *text) {
    help_box_->setPlainText(QString::fromLatin1(text));
}

void CtrlPanel::tool_button(const std::string &key) {
    ++tool_presses_;
    auto &ia = state_.interaction;
    if (ia.Data_Loading) {
        ui_.message("Please wait Data Loading");
        show_active_tool(); // the button pressed does not stay pressed
        return;
    }
    // Zooming and panning let window events run, and the pan waits for a whole drag:
    // the panel may be gone by the time they return.
    QPointer<CtrlPanel> self(this);
    app::MapWindowApi &map = map_;
    if (key == "CtrlZoomin") {
        help(help_for(key));
        ui_.events();
        if (!self)
            return;
        map.Zoom(0.5);
    } else if (key == "ctrlZoomout") {
        help(help_for(key));
        ui_.events();
        if (!self)
            return;
        map.Zoom(2);
    } else if (key == "CtrlZoomWindow") {
        help(help_for(key));
        map.ZoomWindow();
    } else if (key == "ctrlPan") {
        help(help_for(key));
        map.set_pointer(state::kPointerSizeAll);
        map.Pan();
    } else if (key == "ctrlGotoObject") {
        help(help_for(key));
        ctrlGotoObject();
    } else if (key == "ctrlSearch") {
        help(help_for(key));
        ctrlSearch();
    } else if (const std::optional<state::ToolCode> tool = interrogation::tool_for_key(key)) {
        // The site-list tools search the plotted points: plot them first, once.
        if (interrogation::searches_site_list(*tool))
            plot_once();
        help(help_for(key));
        interrogation::choose_tool(ia, key);
        tool_key_ = key;
    }
    if (!self)
        return;
    show_active_tool();
    // Whatever the button did, the map shows the user's idle pointer again; the pan's
    // move pointer must not outlive the drag.
    map.set_pointer(ia.Cursor_Style + 1);
}

void CtrlPanel::show_active_tool() {
    const bool in_force = state_.interaction.Tool_Code != state::ToolCode::None;
    QAction *pressed = nullptr;
    for (QAction *a : tools_->actions())
        if (in_force && a->objectName().toStdString() == tool_key_)
            pressed = a;
    const bool was_pressed = tools_->checkedAction() != nullptr;
    syncing_tools_ = true;
    for (QAction *a : tools_->actions())
        a->setChecked(a == pressed);
    syncing_tools_ = false;
    if (was_pressed && pressed == nullptr)
        help(kToolDropped);
}

void CtrlPanel::period_ticked(int column, int row) {
    if (column != PeriodGrid::kTickColumn)
        return;
    // Rows beyond the project's drawings control nothing.
    if (row < 1 || row > state_.drawings.count())
        return;
    state_.drawings.entry(row).active = period_grid_->ticked(row);
    map_.Redraw_Everything();
}

void CtrlPanel::period_double_clicked(int column, int row) {
    if (column != PeriodGrid::kColourColumn)
        return;
    if (row < 1 || row > PeriodGrid::kRows || row > state_.drawings.count())
        return;
    // The dialog starts from the row's own colour: white for a drawing in its own colours.
    const int32_t fixed = state_.drawings.entry(row).fixed_colour;
    const std::optional<int32_t> picked =
        colour_picker_ ? colour_picker_(fixed != 0 ? fixed : PeriodGrid::kNoColour) : std::nullopt;
    // Cancelling leaves the row, the drawing and the last picked colour as they were.
    if (!picked)
        return;
    const int32_t colour = *picked & 0xFFFFFF;
    state_.interaction.Current_Colour = colour;
    // A fixed colour of 0 means "the drawing's own colours", so black cannot be fixed:
    // it shows as white, the mark of no fixed colour, rather than pretend to be one.
    const bool own_colours = colour == kWhite || colour == kBlack;
    state_.drawings.entry(row).fixed_colour = own_colours ? 0 : colour;
    period_grid_->set_colour(row, own_colours ? PeriodGrid::kNoColour : colour);
    map_.Redraw_Everything();
}

void CtrlPanel::thick_lines_clicked() {
    const bool thick = thick_lines_box_->isChecked();
    for (int n = 1; n <= state_.drawings.count(); ++n)
        state_.drawings.entry(n).thick = thick;
    state_.settings.Polygon_Outline = 0;
    map_.Redraw_Everything();
}

void CtrlPanel::fill_clicked() {
    const bool fill = fill_box_->isChecked();
    state_.settings.Polygon_Filling = fill ? 1 : 0;
    state_.display.Polygon_Filling = fill;
    map_.Redraw_Everything();
}

void CtrlPanel::background_clicked() {
    if (state_.rasters.count() < 1)
        return;
    raster::Set_Background_Display(state_.rasters, background_box_->isChecked());
    map_.Redraw_Everything();
}

void CtrlPanel::buffer_clicked() {
    double &buffer = state_.settings.Search_Buffer;
    const std::optional<std::string> answer =
        input_box_ ? input_box_(kDialogTitle, "Enter New Search Buffer Size in metres",
                                num::Str(buffer / state::kUnitsPerMetre))
                   : std::nullopt;
    // Cancelled or left empty, the buffer stays as it was; anything typed is clamped,
    // and text that is no number reads as 0 and gives the smallest buffer.
    if (!answer || text::trim_blanks(*answer).empty())
        return;
    const double wanted = num::Val(*answer) * state::kUnitsPerMetre;
    if (!(wanted >= state::kMinSearchBuffer)) // also catches a value that is not a number
        buffer = state::kMinSearchBuffer;
    else if (wanted > state::kMaxSearchBuffer)
        buffer = state::kMaxSearchBuffer;
    else
        buffer = wanted;
    show_search_buffer();
}

void CtrlPanel::show_search_buffer() {
    const int32_t metres = num::nearest(state_.settings.Search_Buffer) / state::kUnitsPerMetre;
    // The figure is a width (a diameter): the point search finds sites within half of it.
    buffer_button_->setText(
        QString::fromStdString("Set Search Buffer " + num::Str(metres) + " metres wide"));
    // Read out with the buffer it sets, as it is seen.
    buffer_button_->setAccessibleName(QString::fromStdString(
        "Set Search Buffer, now " + std::to_string(metres) + " metres wide"));
}

void CtrlPanel::show_problems() {
    std::string text = "These files of the project were skipped or are damaged:\n";
    for (const std::string &p : state_.problems)
        text += "\n" + p;
    if (message_box_)
        message_box_(text);
}

void CtrlPanel::sync_with_project() {
    const int count = state_.drawings.count();
    for (int row = 1; row <= PeriodGrid::kRows && row <= count; ++row) {
        const state::DrawingEntry &e = state_.drawings.entry(row);
        period_grid_->set_ticked(row, e.active);
        period_grid_->set_colour(row, e.fixed_colour != 0 ? e.fixed_colour : PeriodGrid::kNoColour);
        // The colour the period is drawn in when none is fixed: the list is the map's key.
        const std::optional<uint8_t> own =
            e.missing ? std::nullopt
                      : drawing::main_colour(e.file_name, map_.session().drawing_cache());
        period_grid_->set_own_colour(row, own ? state_.display.Drawing_Palette[*own] & 0xFFFFFF
                                              : PeriodGrid::kNoColour);
    }
    background_box_->setChecked(state_.rasters.count() >= 1 &&
                                state_.rasters.entry(1).display == 1);
    // Start-up switches filling off after the panel was made: show what the map does.
    fill_box_->setChecked(state_.display.Polygon_Filling);
    thick_lines_box_->setChecked(count > 0 && state_.drawings.entry(1).thick);
}

void CtrlPanel::end() {
    if (end_tavi_)
        end_tavi_();
}

void CtrlPanel::LoadData() {
    auto &ia = state_.interaction;
    map_.zoomext();
    ia.Data_Loading = true;

    const std::string folder = state_.settings.Data_Folder;
    const std::string project = project::project_file_of(folder);
    state::UiHooks hooks = ui_;
    hooks.message_box = message_box_;
    // Without its project the viewer has nothing to show; it ends without a word. The
    // toolbar keeps refusing work while it goes.
    if (!project::FileExists(project, folder, hooks)) {
        end();
        return;
    }
    ui_.message("Please Wait ! Loading Data");

    // Opening lets window events run between files: the panel may be closed meanwhile.
    QPointer<CtrlPanel> self(this);
    app::MapWindowApi &map = map_;
    project::OpenSteps steps;
    steps.object_list = true;
    steps.site_lists = true;
    steps.step = [ui = ui_](const std::string &what) { ui.message(what); };
    const bool loaded = map.session().open(folder, steps);
    if (!self)
        return;
    if (!loaded) { // the project went away between the test and the reading
        end();
        return;
    }
    sync_with_project();
    fill_site_lists();

    setCursor(pointers::pointer_shape(ia.Cursor_Style + 1));
    plot_sites_box_->setEnabled(true);
    // Opening registered what the project lists; the first redraw draws it.
    map.Redraw_Everything();
    if (!self)
        return;
    const auto skipped = static_cast<int64_t>(state_.problems.size());
    problems_button_->setText(QString::fromStdString("Problems (" + std::to_string(skipped) + ")"));
    problems_button_->setVisible(skipped > 0);
    ui_.message(skipped == 0
                    ? std::string("All Data Loaded Click Left to Open Control Panel")
                    : "All Data Loaded," + num::Str(skipped) + (skipped == 1 ? " file" : " files") +
                          " skipped or damaged (see Problems) Click Left to Open "
                          "Control Panel");
    ia.Data_Loading = false;
    map_.maximise();
}

void CtrlPanel::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        setCursor(Qt::ArrowCursor);
    QWidget::changeEvent(event);
}

void CtrlPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    keep_title_bar_on_screen();
    // The window manager tells the frame's size some time after the window appears, and
    // then says nothing that reaches the panel: look again once it has had time to.
    for (const int ms : {150, 600, 1500})
        QTimer::singleShot(ms, this, [this] { keep_title_bar_on_screen(); });
}

void CtrlPanel::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    // The window manager tells the frame's size after the window is shown; the title
    // bar may then turn out to lie above the screen.
    keep_title_bar_on_screen();
}

void CtrlPanel::keep_title_bar_on_screen() {
    if (!isVisible())
        return;
    const QRect frame = frameGeometry();
    const QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    // The title bar must be reachable: its top inside the screen, and enough of it
    // across to take hold of.
    constexpr int kGrip = 48;
    QPoint to = frame.topLeft();
    to.setY(std::clamp(to.y(), room.top(), std::max(room.top(), room.bottom() - kGrip)));
    to.setX(std::clamp(to.x(), room.left() - frame.width() + kGrip,
                       std::max(room.left(), room.right() - kGrip)));
    if (to != frame.topLeft())
        move(to);
}

void CtrlPanel::mouseMoveEvent(QMouseEvent *event) {
    setCursor(Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

} // namespace app
