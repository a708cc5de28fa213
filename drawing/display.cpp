#include "drawing/display.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "drawing/drw_reader.h"
#include "drawing/group_elements.h"
#include "drawing/linked_data.h"
#include "drawing/patterns.h"
#include "platform/base/numbers.h"
#include "state/view_state.h"
#include "zent32i_binding.h"

namespace drawing {

namespace {

int32_t capacity_of(std::size_t n) {
    return static_cast<int32_t>(std::min<std::size_t>(n, std::numeric_limits<int32_t>::max()));
}

// Point_Buffer holds the object's points and the ring's closing copy; Screen_Points
// what the clipper can emit for them (two points per segment), the closing copy, and
// one spare for the polygon call's own closing point.
void ensure_room(DisplayState &s, int32_t points) {
    const std::size_t n = static_cast<std::size_t>(std::max(points, 0));
    if (s.Point_Buffer.size() < n + 1)
        s.Point_Buffer.resize(n + 1);
    if (s.Screen_Points.size() < 2 * n + 4)
        s.Screen_Points.resize(2 * n + 4);
}

// A box that projects to less than 2 pixels either way is shown as one light-grey
// pixel at its first corner and read no further.
bool shown_as_pixel(gdi::DeviceContext &dc, int32_t x_min, int32_t y_min, int32_t x_max,
                    int32_t y_max) {
    int32_t px1 = 0, py1 = 0, px2 = 0, py2 = 0;
    zt::ZT_Calc_3D_xy(x_min, y_min, 0, &px1, &py1);
    zt::ZT_Calc_3D_xy(x_max, y_max, 0, &px2, &py2);
    if (std::llabs(static_cast<int64_t>(px1) - px2) < 2 ||
        std::llabs(static_cast<int64_t>(py1) - py2) < 2) {
        dc.set_pixel(px1, py1, kSmallObjectColour);
        return true;
    }
    return false;
}

const state::DrawingEntry *current_entry(const DisplayContext &ctx) {
    const int n = ctx.state.Current_Drawing;
    if (n < 1 || n > ctx.drawings.count())
        return nullptr;
    return &ctx.drawings.entry(n);
}

// Screen points of count points, all projected, into Screen_Points. The library only
// reads the points it is handed.
void project_line(DisplayState &s, const ZT_Point3 *pts, int32_t count) {
    const ZT_Point3Array in{const_cast<ZT_Point3 *>(pts), count};
    ZT_Point2Array out{s.Screen_Points.data(), capacity_of(s.Screen_Points.size())};
    zt::ZT_CalcLine(&in, &out, count, &s.Screen_Point_Count);
}

// Screen points of count points: projected whole when the
// group lies inside the view, clipped otherwise.
void to_screen(DisplayContext &ctx, const ZT_Point3 *pts, int32_t count, int32_t inside,
               int32_t code) {
    DisplayState &s = ctx.state;
    if (inside == kGroupInsideView) {
        project_line(s, pts, count);
    } else {
        Clip_To_View(ctx.view, s, pts, count, s.Screen_Point_Count, code);
    }
}

gdi::Pen object_pen(const DisplayContext &ctx, const ObjectHeader &h, bool thick,
                    gdi::Colour colour) {
    int width = 0;
    if (h.line_width > 1) {
        // Line widths are in world units, so they grow and shrink with the zoom.
        width = num::nearest_clamped(static_cast<double>(h.line_width) * ctx.view.View_Scale);
        width = std::max(width, 0);
    } else if (thick) {
        width = 2;
    }
    const int stored = h.pen_style == 0 ? 1 : h.pen_style;
    int style = stored - 1;
    if (style > static_cast<int>(gdi::PenStyle::Null))
        style = static_cast<int>(gdi::PenStyle::Solid); // no such style: draw solid
    return gdi::Pen{static_cast<gdi::PenStyle>(style), width, colour};
}

// Projects a world point rounded to whole units, as the clipper's crossings are.
ZT_Point2 project_rounded(double x, double y, int32_t z) {
    ZT_Point2 p{0, 0};
    zt::ZT_Calc_3D_xy(num::nearest_clamped(x), num::nearest_clamped(y), z, &p.x, &p.y);
    return p;
}

// The part of segment a-b inside the view rectangle (Liang-Barsky); false if none.
bool clip_segment(const state::ViewState &v, const ZT_Point3 &a, const ZT_Point3 &b, double &t0,
                  double &t1) {
    const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - v.View_X_Min, v.View_X_Max - a.x, a.y - v.View_Y_Min,
                         v.View_Y_Max - a.y};
    t0 = 0.0;
    t1 = 1.0;
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
            continue;
        }
        const double r = q[k] / p[k];
        if (p[k] < 0.0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1)
            return false;
    }
    return true;
}

// An outline that leaves the view is drawn as the separate pieces that lie inside it.
// Joining its crossings into one line, as a fill needs, would draw lines along the
// view's edges where the feature does not run; with a wide pen they frame the map.
void draw_clipped_outline(DisplayContext &ctx, const ZT_Point3 *pts, int32_t count,
                          const gdi::Pen &pen) {
    DisplayState &s = ctx.state;
    const state::ViewState &v = ctx.view;
    gdi::DeviceContext &dc = ctx.dc;
    int32_t n = 0; // points of the piece being built
    bool open = false;
    auto flush = [&] {
        if (n >= 2)
            dc.polyline(s.Screen_Points.data(), n);
        n = 0;
        open = false;
    };
    auto add = [&](ZT_Point2 p) {
        if (n > 0 && s.Screen_Points[n - 1].x == p.x && s.Screen_Points[n - 1].y == p.y)
            return;
        s.Screen_Points[static_cast<std::size_t>(n++)] = p;
    };
    dc.select(pen);
    for (int32_t k = 0; k + 1 < count; ++k) {
        const ZT_Point3 &a = pts[k];
        const ZT_Point3 &b = pts[k + 1];
        double t0, t1;
        if (!clip_segment(v, a, b, t0, t1)) {
            flush();
            continue;
        }
        const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
        if (t0 > 0.0 || !open) {
            flush();
            add(project_rounded(a.x + t0 * dx, a.y + t0 * dy, a.z));
            open = true;
        }
        add(project_rounded(a.x + t1 * dx, a.y + t1 * dy, b.z));
        if (t1 < 1.0)
            flush();
        // Each segment adds at most two points and pieces start afresh: room was
        // made for 2n + 4 screen points.
    }
    flush();
    dc.select(gdi::Pen::black());
    s.Screen_Point_Count = 0;
}

// Reads an object's header and points into the display state, a ring closed. The
// number of points to draw, or -1 when the file ended inside the header.
int32_t read_line_object(files::BinaryFile &file, DisplayState &s, int32_t code) {
    ObjectHeader &h = s.Object_State;
    if (!read_record(file, h))
        return -1;
    const int32_t stored = bounded_point_count(file, h.point_count);
    ensure_room(s, stored);
    int32_t count = read_points(file, stored, s.Point_Buffer.data(), s.Point_Buffer.size());
    if (count > 0 && code == kCodePolygon) {
        // Rings are stored open; close them here.
        s.Point_Buffer[static_cast<std::size_t>(count)] = s.Point_Buffer[0];
        ++count;
        if (h.point_count < std::numeric_limits<int32_t>::max())
            ++h.point_count;
    }
    return count;
}

void draw_line_object(DisplayContext &ctx, const ObjectHeader &h, const ZT_Point3 *pts,
                      int32_t count, int32_t code, int32_t inside) {
    DisplayState &s = ctx.state;
    if (count <= 0)
        return;
    ensure_room(s, count);

    const state::DrawingEntry *entry = current_entry(ctx);
    const bool thick = entry != nullptr && entry->thick;
    const int32_t fixed = entry != nullptr ? entry->fixed_colour : 0;
    gdi::Colour colour;
    if (s.Forced_Colour == 0 && fixed != 0)
        colour = fixed;
    else if (s.Forced_Colour != 0)
        colour = s.Forced_Colour;
    else
        colour = s.Drawing_Palette[h.colour];
    const gdi::Pen pen = object_pen(ctx, h, thick, colour);
    s.Screen_Point_Count = 0;

    const bool filled = code == kCodePolygon && h.fill != 0 && s.Polygon_Filling;
    if (!filled && inside != kGroupInsideView) {
        draw_clipped_outline(ctx, pts, count, pen);
        return;
    }
    to_screen(ctx, pts, count, inside, code);
    gdi::DeviceContext &dc = ctx.dc;

    if (!filled) {
        if (s.Screen_Point_Count >= 2) {
            dc.select(pen);
            dc.polyline(s.Screen_Points.data(), s.Screen_Point_Count);
            dc.select(gdi::Pen::black());
        }
        s.Screen_Point_Count = 0;
        return;
    }

    int32_t &n = s.Screen_Point_Count;
    if (n == 0)
        return;
    if (n == 1) {
        dc.set_pixel(s.Screen_Points[0].x, s.Screen_Points[0].y, kSmallObjectColour);
        return;
    }
    s.Screen_Points[static_cast<std::size_t>(n)] = s.Screen_Points[0];
    ++n;
    const int pattern = std::min<int>(h.fill, kLastFillPattern);
    // A ring cut by the view is filled as the clipper closed it, along the view's edges,
    // but only its own edges are stroked: a wide pen would otherwise frame the map.
    const bool cut = inside != kGroupInsideView;
    dc.select(cut ? gdi::Pen::null() : pen);
    dc.select(pattern_brush(pattern, colour));
    dc.set_text_colour(colour); // the colour of the pattern's set bits
    dc.polygon(s.Screen_Points.data(), n);
    dc.select(gdi::Pen::black());
    dc.select(gdi::Brush::black());
    if (cut)
        draw_clipped_outline(ctx, pts, count, pen);
}

// Reads lettering's record and points into the display state: how many points, or -1
// when the file ended inside the record.
int32_t read_annotation(files::BinaryFile &file, DisplayState &s) {
    if (!read_record(file, s.Annotation_State))
        return -1;
    const int32_t stored = bounded_point_count(file, s.Annotation_State.point_count);
    ensure_room(s, stored);
    return read_points(file, stored, s.Point_Buffer.data(), s.Point_Buffer.size());
}

// Lettering is not drawn; only a label that collapses to a single pixel leaves a mark,
// so that the map shows where it is.
void draw_annotation(DisplayContext &ctx, const ZT_Point3 *pts, int32_t count) {
    DisplayState &s = ctx.state;
    ensure_room(s, count);
    s.Screen_Point_Count = 0;
    if (count > 0)
        project_line(s, pts, count);
    if (s.Screen_Point_Count == 1)
        ctx.dc.set_pixel(s.Screen_Points[0].x, s.Screen_Points[0].y, kSmallObjectColour);
}

// A group start just read into Group_State: switches to its units, and tells whether
// the rest of the group can be passed over, as it lies outside the view or shows as
// one pixel (which it then draws).
bool group_passed_over(DisplayContext &ctx) {
    state::ViewState &v = ctx.view;
    const GroupRecord &g = ctx.state.Group_State;
    int32_t divisor = 1;
    units_for_kind(v, g.kind, divisor);
    const bool outside = g.x_max < v.View_X_Min || g.y_min > v.View_Y_Max ||
                         g.x_min > v.View_X_Max || g.y_max < v.View_Y_Min;
    return outside || shown_as_pixel(ctx.dc, g.x_min, g.y_min, g.x_max, g.y_max);
}

// Reads what follows one control unit into out, as far as drawing needs it: objects
// and lettering with their points, and a group start's record. What draws nothing (a
// layer, a header without points, hidden points) is read past.
void read_element(files::BinaryFile &file, DisplayState &s, int16_t code, GroupElements &out) {
    auto add = [&](uint32_t record, int32_t points) {
        GroupElement e;
        e.code = code;
        e.record = record;
        e.points = std::max(points, 0);
        e.first = out.points.size();
        out.points.insert(out.points.end(), s.Point_Buffer.begin(),
                          s.Point_Buffer.begin() + e.points);
        out.elements.push_back(e);
    };
    auto as_index = [](std::size_t n) { return static_cast<uint32_t>(n); };
    switch (code) {
    case kCodeHeaderOnly:
        // Its points follow as plain units, which the caller passes over.
        out.complete &= read_record(file, s.Object_State);
        break;
    case kCodeHiddenA:
    case kCodeHiddenB:
        if (read_record(file, s.Object_State))
            skip_units(file, s.Object_State.point_count);
        else
            out.complete = false;
        break;
    case kCodeLayer: {
        LayerRecord layer;
        read_record(file, layer, false);
        break;
    }
    case kCodeGroup:
        if (read_record(file, s.Group_State)) {
            out.groups.push_back(s.Group_State);
            add(as_index(out.groups.size() - 1), 0);
        } else {
            out.complete = false;
        }
        break;
    case kCodeAnnotation: {
        const int32_t count = read_annotation(file, s);
        out.complete &= count >= 0;
        if (count > 0) {
            out.annotations.push_back(s.Annotation_State);
            add(as_index(out.annotations.size() - 1), count);
        }
        break;
    }
    case kCodePolyline:
    case kCodePolygon: {
        const int32_t count = read_line_object(file, s, code);
        out.complete &= count >= 0;
        if (count > 0) {
            out.objects.push_back(s.Object_State);
            add(as_index(out.objects.size() - 1), count);
        }
        break;
    }
    default:
        break;
    }
}

// Draws elements [first, end) of groups; true when the last was a group start that
// can be passed over.
bool draw_elements(DisplayContext &ctx, const GroupElements &groups, std::size_t first,
                   std::size_t end, int32_t inside) {
    DisplayState &s = ctx.state;
    bool pass_over = false;
    for (std::size_t i = first; i < end; ++i) {
        const GroupElement &e = groups.elements[i];
        const ZT_Point3 *pts = groups.points.data() + e.first;
        pass_over = false;
        switch (e.code) {
        case kCodeGroup:
            s.Group_State = groups.groups[e.record];
            pass_over = group_passed_over(ctx);
            break;
        case kCodeAnnotation:
            s.Annotation_State = groups.annotations[e.record];
            draw_annotation(ctx, pts, e.points);
            break;
        default:
            s.Object_State = groups.objects[e.record];
            draw_line_object(ctx, s.Object_State, pts, e.points, e.code, inside);
            break;
        }
    }
    return pass_over;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return std::round(d.count() * 1000.0) / 1000.0;
}

// What registration finds wrong with a drawing's files goes to the user's list of
// problems. A missing drawing keeps its entry, so that later drawings keep their
// numbers, but draws nothing; nothing is ever created in the data folder. A damaged
// one is still drawn as far as it reads.
void check_files(DisplayContext &ctx, state::DrawingEntry &e, const std::string &zixfile) {
    const std::filesystem::path path = files::resolve(e.file_name);
    auto file = files::BinaryFile::open_existing(path);
    if (!file.is_open()) {
        // A folder, pipe or device under a drawing's name is never read: it could
        // block the program or never end.
        e.missing = true;
        ctx.ui.problem(files::kind_of(path) == files::Kind::Other
                           ? "Drawing skipped, not a regular file: " + e.file_name
                           : "Drawing not found: " + e.file_name);
        return;
    }
    const int64_t units = file.size() / static_cast<int64_t>(kUnitBytes);
    if (file.size() % static_cast<int64_t>(kUnitBytes) != 0)
        ctx.ui.problem("Drawing damaged (it ends inside a unit): " + e.file_name);
    if (!e.has_index)
        return;
    auto index = files::BinaryFile::open_existing(files::resolve(zixfile));
    bool sound = index.size() % static_cast<int64_t>(kIndexRecordBytes) == 0;
    IndexRecord r;
    for (int64_t i = index_record_count(index.size()); sound && i > 0; --i)
        sound = read_record(index, r) && r.first_unit >= 1 && r.first_unit <= units;
    if (!sound)
        ctx.ui.problem("Drawing index damaged: " + zixfile);
}

void read_sequentially(DisplayContext &ctx, const std::string &drwfile) {
    DisplayState &s = ctx.state;
    auto file = s.Shortcuts ? s.Drawing_Cache.open(files::resolve(drwfile), 64 * 1024)
                            : files::BinaryFile::open_existing(files::resolve(drwfile));
    ctx.ui.message("Drawing File " + drwfile);
    ctx.ui.pointer(state::kPointerBusy);
    s.Drawing_In_Progress = true;
    Unit u;
    while (!s.Abort_Drawing && read_unit(file, u)) {
        if (u.control())
            Draw_Vector_Objects(ctx, file, u.code(), 0, 1);
    }
    file.close();
}

// Reads the group an index entry names, from its first unit on, into out as the
// entry's elements.
void read_group(files::BinaryFile &file, DisplayState &s, const IndexEntry &r, GroupElements &out) {
    Unit u;
    // An index entry names the group starting at its first unit. One pointing before
    // the first unit, past the end, at an end mark or anywhere but a group start names
    // no group: read on from there, it would take the rest of the file for the group,
    // and a hundred such entries would read it a hundred times.
    if (seek_unit(file, r.first_unit) && read_unit(file, u) && u.control() &&
        u.code() == kCodeGroup) {
        out.complete &= read_record(file, s.Group_State);
        // The group ends at the next group start or end mark; the unit just past its
        // stated length is the last one looked at, so that entries naming the same group
        // cannot each read on through a file with nothing after it.
        const int64_t last = int64_t{r.first_unit} + std::max(s.Group_State.length, 5);
        while (current_unit(file) <= last && read_unit(file, u)) {
            if (!u.control())
                continue;
            const int16_t code = u.code();
            read_element(file, s, code, out);
            if (code == kCodeGroup || code == kCodeEndMark)
                break;
        }
    }
    out.ends.push_back(out.elements.size());
}

int32_t inside_of(const IndexEntry &r) {
    return zt::ZT_INBOX(&r.x_min, &r.y_min) + zt::ZT_INBOX(&r.x_max, &r.y_max);
}

// Reads the group of every entry of an index into out. The last records read are left
// as they were, so that the redraw reads on from the same state whether or not it read
// the groups first.
void read_every_group(DisplayState &s, const DrawingIndex &index, files::BinaryFile &file,
                      GroupElements &out) {
    const GroupRecord group = s.Group_State;
    const ObjectHeader object = s.Object_State;
    const AnnotationRecord annotation = s.Annotation_State;
    // Every point a unit at most, unless entries name the same group twice.
    out.points.reserve(static_cast<std::size_t>(file.size()) / kUnitBytes);
    const int64_t budget = s.Drawing_Cache.budget();
    for (std::size_t i = 0; i < index.size() && out.complete; ++i) {
        read_group(file, s, index[i], out);
        // Entries naming a large group many times over must not fill the memory.
        if (out.bytes() > budget)
            out.complete = false;
    }
    s.Group_State = group;
    s.Object_State = object;
    s.Annotation_State = annotation;
}

// The groups of an indexed drawing, held between redraws; null when they cannot be.
std::shared_ptr<const GroupElements> held_groups(DisplayState &s, const std::string &drwfile,
                                                 const std::string &zixfile,
                                                 const DrawingIndex &index) {
    return s.Drawing_Cache.groups(files::resolve(drwfile), files::resolve(zixfile),
                                  [&](files::BinaryFile &file, GroupElements &out) {
                                      read_every_group(s, index, file, out);
                                  });
}

// Groups are read in index order, not file order: a file read through the system gets a
// small buffer, as each group costs a fill of it.
constexpr std::size_t kIndexedReadBuffer = 8 * 1024;

void read_through_index(DisplayContext &ctx, const std::string &drwfile,
                        const std::string &zixfile) {
    DisplayState &s = ctx.state;
    state::ViewState &v = ctx.view;
    ctx.ui.pointer(state::kPointerBusy);
    s.Drawing_In_Progress = true;
    ctx.ui.message("Drawing File " + drwfile);

    const DrawingIndex &index = s.Drawing_Cache.index(files::resolve(zixfile));
    // The entries the view may show, found in whole units; the walk below tests each as
    // it tests every entry of the index, in the index's order.
    std::vector<uint32_t> &picked = s.Index_Candidates;
    if (v.Fine_Units == 0 && s.Shortcuts)
        index.candidates(v.View_X_Min, v.View_Y_Min, v.View_X_Max, v.View_Y_Max, picked);
    else
        index.every_entry(picked);
    std::shared_ptr<const GroupElements> held =
        s.Shortcuts ? held_groups(s, drwfile, zixfile, index) : nullptr;
    if (held && held->ends.size() != index.size())
        held = nullptr;     // the index was written again between the two looks at it
    files::BinaryFile file; // opened at the first group to be read
    bool opened = false;
    int32_t divisor = 1;
    for (const uint32_t at : picked) {
        const IndexEntry &r = index[at];
        const int64_t i = int64_t{at} + 1; // the record's number in the index
        units_for_kind(v, r.kind, divisor);
        if (r.x_max < v.View_X_Min || r.y_max < v.View_Y_Min || r.y_min > v.View_Y_Max)
            continue;
        // The index is ordered by x min: nothing after this record can be in view.
        if (r.x_min > v.View_X_Max)
            break;
        if (shown_as_pixel(ctx.dc, r.x_min, r.y_min, r.x_max, r.y_max))
            continue;
        if (held) {
            draw_elements(ctx, *held, held->begin_of(at), held->ends[at], inside_of(r));
        } else {
            if (!opened) {
                file = s.Shortcuts
                           ? s.Drawing_Cache.open(files::resolve(drwfile), kIndexedReadBuffer)
                           : files::BinaryFile::open_existing(files::resolve(drwfile));
                opened = true;
            }
            GroupElements &one = s.Group_Scratch;
            one.clear();
            read_group(file, s, r, one);
            draw_elements(ctx, one, 0, one.elements.size(), inside_of(r));
        }
        if (i % 10 == 0)
            ctx.ui.events(); // where a right-button release can ask to stop
        if (s.Abort_Drawing)
            break;
    }
}

} // namespace

void Draw_Vector_Objects(DisplayContext &ctx, files::BinaryFile &file, int32_t code,
                         int32_t /*units*/, int32_t inside) {
    DisplayState &s = ctx.state;
    GroupElements &one = s.Group_Scratch;
    one.clear();
    read_element(file, s, static_cast<int16_t>(code), one);
    if (draw_elements(ctx, one, 0, one.elements.size(), inside)) {
        // Past the rest of the group. A damaged length never moves backwards, which
        // would read the same units again and again.
        skip_units(file, static_cast<int64_t>(s.Group_State.length) - 5);
    }
}

namespace {

// The library's out-codes and the corner regions made of two of them.
constexpr int kAbove = ZT_OUT_ABOVE, kRight = ZT_OUT_RIGHT, kBelow = ZT_OUT_BELOW,
              kLeft = ZT_OUT_LEFT;

bool is_corner_region(int region) {
    return (region & (kLeft | kRight)) != 0 && (region & (kAbove | kBelow)) != 0;
}

// Clips the segments of one polyline to the view, one at a time, and writes the screen
// points of what shows into the display state's screen buffer (which has room for two
// points a segment and the polygon's closing copy).
class ViewClipper {
  public:
    ViewClipper(const state::ViewState &v, DisplayState &s)
        : s_(s), out_(s.Screen_Points.data()), x_min_(v.View_X_Min), x_max_(v.View_X_Max),
          y_min_(v.View_Y_Min), y_max_(v.View_Y_Max) {}

    void segment(const ZT_Point3 &a, const ZT_Point3 &b) {
        const int ra = zt::ZT_clipBOX(&a.x, &a.y);
        const int rb = zt::ZT_clipBOX(&b.x, &b.y);
        if (ra == 0 && rb == 0) {
            emit_checked(a.x, a.y, a.z);
            emit_checked(b.x, b.y, b.z);
        } else if (ra == rb) {
            // Both ends in the same outside region: nothing of it shows.
        } else if (ra == 0) {
            emit_checked(a.x, a.y, a.z);
            crossing(rb, a, b);
        } else if (rb == 0) {
            crossing(ra, a, b);
            emit_checked(b.x, b.y, b.z);
        } else if ((ra & rb) != 0) {
            // Both beyond the same edge: the segment is drawn along it via the corners
            // it passes.
            if (is_corner_region(ra))
                corner(ra, a.z);
            if (is_corner_region(rb))
                corner(rb, a.z);
        } else {
            crossing(ra, a, b);
            crossing(rb, a, b);
        }
    }

    int32_t count() const { return count_; }

  private:
    enum Edge { Top, Right, Bottom, Left };

    static ZT_Point2 project(int32_t x, int32_t y, int32_t z) {
        ZT_Point2 p{0, 0};
        zt::ZT_Calc_3D_xy(x, y, z, &p.x, &p.y);
        return p;
    }

    // A point of the object: dropped when it lands on the screen point emitted last.
    void emit_checked(int32_t x, int32_t y, int32_t z) {
        const ZT_Point2 p = project(x, y, z);
        if (p.x != s_.Last_Screen_Point.x || p.y != s_.Last_Screen_Point.y) {
            out_[count_++] = p;
            s_.Last_Screen_Point = p;
        }
    }

    // Computed crossings go in as they are, without the repeat check.
    void emit_plain(int32_t x, int32_t y, int32_t z) { out_[count_++] = project(x, y, z); }

    // The view corner of a corner region.
    void corner(int region, int32_t z) {
        const double cx = (region & kRight) ? x_max_ : x_min_;
        const double cy = (region & kAbove) ? y_max_ : y_min_;
        emit_checked(num::nearest_clamped(cx), num::nearest_clamped(cy), z);
    }

    // Where segment a-b meets the line of one view edge, into xi, yi (left as they were
    // when the lines are parallel).
    void meet_edge(Edge e, const ZT_Point3 &a, const ZT_Point3 &b, double &xi, double &yi) const {
        const double ax = a.x, ay = a.y, bx = b.x, by = b.y;
        double x1 = x_min_, y1 = y_min_, x2 = x_min_, y2 = y_max_; // Left
        switch (e) {
        case Top:
            x1 = x_min_, y1 = y_max_, x2 = x_max_, y2 = y_max_;
            break;
        case Right:
            x1 = x_max_, y1 = y_min_, x2 = x_max_, y2 = y_max_;
            break;
        case Bottom:
            x1 = x_min_, y1 = y_min_, x2 = x_max_, y2 = y_min_;
            break;
        case Left:
            break;
        }
        zt::LINE_INTERSECTION(&ax, &ay, &bx, &by, &x1, &y1, &x2, &y2, &xi, &yi);
    }

    // The crossing of segment a-b with the edge facing an end in the given region. From
    // a corner region the side edge is tried first; a crossing beyond the top or bottom
    // is taken on that edge instead.
    void crossing(int region, const ZT_Point3 &a, const ZT_Point3 &b) {
        double xi = b.x, yi = b.y;
        const bool side = (region & (kLeft | kRight)) != 0;
        if (region & kRight)
            meet_edge(Right, a, b, xi, yi);
        else if (region & kLeft)
            meet_edge(Left, a, b, xi, yi);
        if ((region & kAbove) && (!side || yi > y_max_))
            meet_edge(Top, a, b, xi, yi);
        else if ((region & kBelow) && (!side || yi < y_min_))
            meet_edge(Bottom, a, b, xi, yi);
        emit_plain(num::nearest_clamped(xi), num::nearest_clamped(yi), b.z);
    }

    DisplayState &s_;
    ZT_Point2 *out_;
    int32_t count_ = 0;
    double x_min_, x_max_, y_min_, y_max_;
};

} // namespace

void units_for_kind(state::ViewState &v, int16_t kind, int32_t &divisor) {
    const int32_t d = divisor_of_kind(kind);
    if (d == 1 && v.Fine_Units != 0)
        v.Fine_Units = state::ReScale(v);
    else if (d == 10 && v.Fine_Units == 0)
        v.Fine_Units = state::ReScale(v);
    if (d != 0)
        divisor = d;
}

void Clip_To_View(const state::ViewState &v, DisplayState &s, const ZT_Point3 *pts,
                  int32_t point_count, int32_t &screen_count, int32_t code) {
    s.Last_Screen_Point = ZT_Point2{-1000000000, -1000000000};
    screen_count = 0;
    const int32_t n = std::max(point_count, 0);
    // Every segment emits at most two points; one more for the polygon's closing copy.
    const std::size_t room = 2 * static_cast<std::size_t>(std::max(n - 1, 0)) + 2;
    if (s.Screen_Points.size() < room)
        s.Screen_Points.resize(room);

    ViewClipper clipper(v, s);
    for (int32_t k = 0; k + 1 < n; ++k)
        clipper.segment(pts[k], pts[k + 1]);
    screen_count = clipper.count();
    if (code == kCodePolygon && screen_count > 0)
        s.Screen_Points[static_cast<std::size_t>(screen_count)] = s.Screen_Points[0];
}

void Clip_To_View(const state::ViewState &v, DisplayState &s, int32_t point_count,
                  int32_t &screen_count, int32_t code) {
    const auto n = static_cast<int32_t>(
        std::clamp<int64_t>(point_count, 0, static_cast<int64_t>(s.Point_Buffer.size())));
    Clip_To_View(v, s, s.Point_Buffer.data(), n, screen_count, code);
}

void Display_A_Drawing(DisplayContext &ctx, const std::string &drwfile, int32_t flag) {
    DisplayState &s = ctx.state;
    state::ViewState &v = ctx.view;
    const auto start = std::chrono::steady_clock::now();
    s.Abort_Drawing = false;
    const std::string zixfile = files::with_extension3(drwfile, "zix");
    const std::string supfile = files::with_extension3(drwfile, "sup");

    int n = 0;
    if (flag == 1) {
        if (ctx.drawings.full()) {
            ctx.ui.message("Too Many Drawings, Not Loaded " + drwfile);
            return;
        }
        state::DrawingEntry e;
        e.active = true;
        e.file_name = drwfile;
        e.has_index = files::exists(zixfile);
        n = ctx.drawings.add(std::move(e));
        if (n == 0)
            return;
        drawing::read_linked_data(supfile, ctx.data_folder, ctx.program_folder,
                                  ctx.drawings.entry(n));
        check_files(ctx, ctx.drawings.entry(n), zixfile);
    } else {
        n = ctx.drawings.find(drwfile);
        if (n == 0)
            return;
    }
    s.Current_Drawing = n;
    if (ctx.drawings.entry(n).missing) {
        ctx.ui.message("Drawing not found " + drwfile);
        return;
    }

    if (ctx.drawings.entry(n).has_index)
        read_through_index(ctx, drwfile, zixfile);
    else
        read_sequentially(ctx, drwfile);

    s.Drawing_In_Progress = false;
    if (v.Fine_Units != 0)
        v.Fine_Units = state::ReScale(v);
    s.Abort_Drawing = false;
    ctx.ui.pointer(ctx.cursor_style + 1);
    if (ctx.initial_font != nullptr)
        ctx.dc.select(*ctx.initial_font);
    ctx.ui.events();
    ctx.ui.message("Drawing Done " + drwfile + num::Str(seconds_since(start)));
}

} // namespace drawing
