#include "app/viewers/zoom_to_drawn_object.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/shared/accessible.h"
#include "app/shared/open_beside.h"
#include "platform/base/text.h"
#include "platform/widgets/grid.h"
#include "view/navigation.h"
#include "view/window_place.h"

namespace app {

namespace {

// Columns: the name, the centre, the size, and where the object lies in which drawing.
enum Column {
    kName = 1,
    kCentreX,
    kCentreY,
    kWidth,
    kHeight,
    kUnit,
    kValue,
    kDrawing,
    kColumns = 8
};

} // namespace

Zoom_To_Drawn_object::Zoom_To_Drawn_object(MapWindowApi &map, QWidget *parent)
    : QWidget(parent, Qt::Tool), state_(map.session().state()), map_(map) {
    setObjectName("Zoom_To_Drawn_object");
    setWindowTitle("Select Drawn Object to Zoom TO");
    auto *layout = new QVBoxLayout(this);

    objects_grid_ = new grid::Grid(this);
    objects_grid_->setObjectName("vaSpread1");
    objects_grid_->set_column_count(kColumns);
    objects_grid_->set_row_count(0);
    objects_grid_->set_text(kName, 0, "Drawing");
    objects_grid_->set_text(kCentreX, 0, "Centroid X");
    objects_grid_->set_text(kCentreY, 0, "Centroid Y");
    for (int c = kWidth; c <= kDrawing; ++c)
        objects_grid_->set_text(c, 0, " "); // no caption
    for (int c = kCentreX; c <= kDrawing; ++c)
        objects_grid_->set_column_type(c, grid::CellType::Numeric, 0);
    objects_grid_->on_click = [this](int c, int r) { object_clicked(c, r); };
    objects_grid_->on_double_click = [this](int c, int r) { object_double_clicked(c, r); };
    layout->addWidget(objects_grid_);

    auto *buttons = new QHBoxLayout;
    ok_button_ = new QPushButton("OK", this);
    ok_button_->setObjectName("OKButton");
    cancel_button_ = new QPushButton("Cancel", this);
    cancel_button_->setObjectName("CancelButton");
    connect(ok_button_, &QPushButton::clicked, this, [this] { hide(); });
    connect(cancel_button_, &QPushButton::clicked, this, [this] { hide(); });
    buttons->addStretch(1);
    buttons->addWidget(ok_button_);
    buttons->addWidget(cancel_button_);
    layout->addLayout(buttons);
    describe(objects_grid_, "Drawn objects",
             "The active drawn objects: Space or a click flashes the focused object on the "
             "map, Enter or a double click zooms to it.");
    describe(ok_button_, ok_button_->text(), "Close the list.");
    describe(cancel_button_, cancel_button_->text(), "Close the list.");
    // Esc hides the list as its buttons do: it is kept for the next time.
    close_on_escape(this, [this] { hide(); });
    resize(520, 560);
}

namespace {
// Pixels the list keeps between itself and the map's centre.
constexpr int kClearOfMiddle = 16;
} // namespace

void Zoom_To_Drawn_object::open_beside(const QRect &map_area, const QRect &panel) {
    if (!placed_ && map_area.isValid()) {
        placed_ = true;
        // At most half the map each way, so that a place clear of its middle exists;
        // never smaller than its buttons and list need in the interface's font, which
        // is the size it will show at.
        const QSize frame_extra = size_when_shown(*this) - size();
        resize(std::min(width(), map_area.width() / 2 - kClearOfMiddle - frame_extra.width()),
               std::min(height(), map_area.height() / 2 - kClearOfMiddle - frame_extra.height()));
        const QSize shown = size_when_shown(*this);
        // The object a double click zooms to fills about the middle half of the map.
        const QRect middle(map_area.left() + map_area.width() / 4,
                           map_area.top() + map_area.height() / 4, map_area.width() / 2,
                           map_area.height() / 2);
        view::PlaceWanted wanted;
        wanted.area = map_area;
        wanted.size = shown;
        // The middle itself most of all: every place hides some of the middle half,
        // and the one chosen must not hide the point the object is put on.
        const QPoint centre = map_area.center();
        const QRect at_centre(centre - QPoint(kClearOfMiddle, kClearOfMiddle),
                              QSize(2 * kClearOfMiddle, 2 * kClearOfMiddle));
        wanted.keep_clear = {middle, panel, at_centre, at_centre, at_centre, at_centre};
        move(view::least_hidden_place(wanted));
    }
    show();
    raise();
    activateWindow();
}

void Zoom_To_Drawn_object::add_rows(const std::vector<drawing::ObjectRow> &rows) {
    objects_grid_->set_redraw(false);
    int r = objects_grid_->row_count();
    objects_grid_->set_row_count(r + static_cast<int>(rows.size()));
    for (const drawing::ObjectRow &o : rows) {
        ++r;
        objects_grid_->set_text(kName, r, QString::fromStdString(o.name));
        objects_grid_->set_value(kCentreX, r, o.centre_x);
        objects_grid_->set_value(kCentreY, r, o.centre_y);
        objects_grid_->set_value(kWidth, r, o.width);
        objects_grid_->set_value(kHeight, r, o.height);
        objects_grid_->set_value(kUnit, r, o.first_unit);
        objects_grid_->set_value(kValue, r, o.group_value);
        objects_grid_->set_value(kDrawing, r, o.drawing);
    }
}

void Zoom_To_Drawn_object::loading() {
    hide();
    map_.set_pointer(state::kPointerBusy);
    setWindowTitle("Loading Data");
}

std::vector<std::string> Zoom_To_Drawn_object::Fill_Drawing_List(int n) {
    if (n == 0) {
        objects_grid_->set_row_count(0);
        return {};
    }
    loading();
    const std::vector<drawing::ObjectRow> rows = drawing::list_objects(state_.drawings, n);
    add_rows(rows);
    return drawing::site_codes(rows);
}

void Zoom_To_Drawn_object::list_project(const std::vector<drawing::ObjectRow> &rows) {
    filled_ = true;
    objects_grid_->set_row_count(0);
    objects_grid_->setEnabled(state_.drawings.count() > 0);
    if (state_.drawings.count() > 0)
        loading();
    add_rows(rows);
    sort_drawing_list();
}

void Zoom_To_Drawn_object::sort_drawing_list() {
    setWindowTitle("Double Click Drawing Name to Zoom TO it");
    objects_grid_->sort_rows(grid::Block{1, 1, kColumns, objects_grid_->row_count()}, kName);
    objects_grid_->set_redraw(true);
    map_.set_pointer(state_.interaction.Cursor_Style + 1);
}

void Zoom_To_Drawn_object::Form_Load() {
    if (!filled_) {
        list_project(map_.session().lists().objects);
        return;
    }
    show();
    raise();
}

drawing::ObjectRow Zoom_To_Drawn_object::row_at(int row) const {
    drawing::ObjectRow o;
    o.name = objects_grid_->text(kName, row).toStdString();
    o.centre_x = static_cast<int32_t>(objects_grid_->value(kCentreX, row));
    o.centre_y = static_cast<int32_t>(objects_grid_->value(kCentreY, row));
    o.width = static_cast<int32_t>(objects_grid_->value(kWidth, row));
    o.height = static_cast<int32_t>(objects_grid_->value(kHeight, row));
    o.first_unit = static_cast<int32_t>(objects_grid_->value(kUnit, row));
    o.group_value = static_cast<int16_t>(objects_grid_->value(kValue, row));
    o.drawing = static_cast<int32_t>(objects_grid_->value(kDrawing, row));
    return o;
}

std::optional<drawing::ObjectRow> Zoom_To_Drawn_object::find(const std::string &name) const {
    const int r = objects_grid_->search_column(kName, 1, objects_grid_->row_count(),
                                               QString::fromStdString(name), grid::Match::Prefix);
    if (r < 1)
        return std::nullopt;
    drawing::ObjectRow o = row_at(r);
    if (text::trim_blanks(o.name) != text::trim_blanks(name))
        return std::nullopt;
    return o;
}

void Zoom_To_Drawn_object::object_clicked(int /*column*/, int row) {
    if (row < 1 || row > objects_grid_->row_count())
        return;
    const drawing::ObjectRow o = row_at(row);
    map_.Flash_DRW(o.drawing, text::trim_blanks(o.name), o.first_unit);
}

void Zoom_To_Drawn_object::object_double_clicked(int /*column*/, int row) {
    if (row < 1 || row > objects_grid_->row_count())
        return;
    const drawing::ObjectRow o = row_at(row);
    state_.interaction.Refresh_Mode = 1;
    view::Zoom_To_Object(state_.view, o.centre_x, o.centre_y, o.height,
                         [this] { map_.Redraw_Everything(); });
    map_.keyboard_pointer_to_centre();
}

} // namespace app
