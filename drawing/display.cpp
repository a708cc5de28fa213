#include "drawing/display.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>

#include "drawing/drw_reader.h"
#include "drawing/group_reader.h"
#include "drawing/patterns.h"
#include "platform/base/numbers.h"
#include "state/view_state.h"
#include "zent32i_binding.h"

namespace drawing {

namespace {

int32_t capacity_of(std::size_t n) {
    return static_cast<int32_t>(std::min<std::size_t>(n, std::numeric_limits<int32_t>::max()));
}

// What one drawing pass works with: the entry it draws, the screen points of the object
// in hand, the group start read last and a group read from the file. A pass's own: the
// next pass, or a pass over another view, starts afresh.
struct Pass {
    DisplayContext &ctx;
    int drawing = 0; // the entry drawn, from 1
    const state::DrawingEntry *entry = nullptr;
    ScreenLine line;
    GroupRecord group;
    GroupElements read; // a group read from its file, to be drawn
};

// Screen_Points holds what the clipper can emit for an object's points (two a segment),
// the closing copy, and one spare for the polygon call's own closing point.
void ensure_room(ScreenLine &line, int32_t points) {
    const std::size_t n = static_cast<std::size_t>(std::max(points, 0));
    if (line.points.size() < 2 * n + 4)
        line.points.resize(2 * n + 4);
}

// Whether a box projects to less than 2 pixels either way; corner is its first corner's
// pixel.
bool below_two_pixels(int32_t x_min, int32_t y_min, int32_t x_max, int32_t y_max,
                      ZT_Point2 &corner) {
    int32_t px2 = 0, py2 = 0;
    zt::ZT_Calc_3D_xy(x_min, y_min, 0, &corner.x, &corner.y);
    zt::ZT_Calc_3D_xy(x_max, y_max, 0, &px2, &py2);
    return std::llabs(static_cast<int64_t>(corner.x) - px2) < 2 ||
           std::llabs(static_cast<int64_t>(corner.y) - py2) < 2;
}

// A box that projects to less than 2 pixels either way is shown as one light-grey
// pixel at its first corner and read no further.
bool shown_as_pixel(gdi::DeviceContext &dc, int32_t x_min, int32_t y_min, int32_t x_max,
                    int32_t y_max) {
    ZT_Point2 corner{0, 0};
    if (!below_two_pixels(x_min, y_min, x_max, y_max, corner))
        return false;
    dc.set_pixel(corner.x, corner.y, kSmallObjectColour);
    return true;
}

// Screen points of count points, all projected, into the pass's line. The library only
// reads the points it is handed.
void project_line(ScreenLine &line, const ZT_Point3 *pts, int32_t count) {
    const ZT_Point3Array in{const_cast<ZT_Point3 *>(pts), count};
    ZT_Point2Array out{line.points.data(), capacity_of(line.points.size())};
    zt::ZT_CalcLine(&in, &out, count, &line.count);
}

// Screen points of count points: projected whole when the
// group lies inside the view, clipped otherwise.
void to_screen(Pass &p, const ZT_Point3 *pts, int32_t count, int32_t inside, int32_t code) {
    if (inside == kGroupInsideView)
        project_line(p.line, pts, count);
    else
        Clip_To_View(p.ctx.view, pts, count, code, p.line);
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
void draw_clipped_outline(Pass &pass, const ZT_Point3 *pts, int32_t count, const gdi::Pen &pen) {
    ScreenLine &line = pass.line;
    const state::ViewState &v = pass.ctx.view;
    gdi::DeviceContext &dc = pass.ctx.dc;
    int32_t n = 0; // points of the piece being built
    bool open = false;
    auto flush = [&] {
        if (n >= 2)
            dc.polyline(line.points.data(), n);
        n = 0;
        open = false;
    };
    auto add = [&](ZT_Point2 p) {
        if (n > 0 && line.points[n - 1].x == p.x && line.points[n - 1].y == p.y)
            return;
        line.points[static_cast<std::size_t>(n++)] = p;
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
    line.count = 0;
}

void draw_line_object(Pass &pass, const ObjectHeader &h, const ZT_Point3 *pts, int32_t count,
                      int32_t code, int32_t inside) {
    if (count <= 0)
        return;
    DisplayContext &ctx = pass.ctx;
    const DisplayOptions &o = ctx.options;
    ScreenLine &line = pass.line;
    ensure_room(line, count);

    const state::DrawingEntry *entry = pass.entry;
    const bool thick = entry != nullptr && entry->thick;
    const int32_t fixed = entry != nullptr ? entry->fixed_colour : 0;
    gdi::Colour colour;
    if (o.Forced_Colour == 0 && fixed != 0)
        colour = fixed;
    else if (o.Forced_Colour != 0)
        colour = o.Forced_Colour;
    else
        colour = o.Drawing_Palette[h.colour];
    const gdi::Pen pen = object_pen(ctx, h, thick, colour);
    line.count = 0;

    const bool filled = code == kCodePolygon && h.fill != 0 && o.Polygon_Filling;
    if (!filled && inside != kGroupInsideView) {
        draw_clipped_outline(pass, pts, count, pen);
        return;
    }
    to_screen(pass, pts, count, inside, code);
    gdi::DeviceContext &dc = ctx.dc;

    if (!filled) {
        if (line.count >= 2) {
            dc.select(pen);
            dc.polyline(line.points.data(), line.count);
            dc.select(gdi::Pen::black());
        }
        line.count = 0;
        return;
    }

    int32_t &n = line.count;
    if (n == 0)
        return;
    if (n == 1) {
        dc.set_pixel(line.points[0].x, line.points[0].y, kSmallObjectColour);
        return;
    }
    line.points[static_cast<std::size_t>(n)] = line.points[0];
    ++n;
    const int pattern = std::min<int>(h.fill, kLastFillPattern);
    // A ring cut by the view is filled as the clipper closed it, along the view's edges,
    // but only its own edges are stroked: a wide pen would otherwise frame the map.
    const bool cut = inside != kGroupInsideView;
    dc.select(cut ? gdi::Pen::null() : pen);
    dc.select(pattern_brush(pattern, colour));
    dc.set_text_colour(colour); // the colour of the pattern's set bits
    dc.polygon(line.points.data(), n);
    dc.select(gdi::Pen::black());
    dc.select(gdi::Brush::black());
    if (cut)
        draw_clipped_outline(pass, pts, count, pen);
}

// Lettering is not drawn; only a label that collapses to a single pixel leaves a mark,
// so that the map shows where it is.
void draw_annotation(Pass &pass, const ZT_Point3 *pts, int32_t count) {
    ScreenLine &line = pass.line;
    ensure_room(line, count);
    line.count = 0;
    if (count > 0)
        project_line(line, pts, count);
    if (line.count == 1)
        pass.ctx.dc.set_pixel(line.points[0].x, line.points[0].y, kSmallObjectColour);
}

// A group start just met: switches to its units, and tells whether the rest of the
// group can be passed over, as it lies outside the view or shows as one pixel (which it
// then draws).
bool group_passed_over(Pass &pass, const GroupRecord &g) {
    state::ViewState &v = pass.ctx.view;
    int32_t divisor = 1;
    units_for_kind(v, g.kind, divisor);
    const bool outside = g.x_max < v.View_X_Min || g.y_min > v.View_Y_Max ||
                         g.x_min > v.View_X_Max || g.y_max < v.View_Y_Min;
    return outside || shown_as_pixel(pass.ctx.dc, g.x_min, g.y_min, g.x_max, g.y_max);
}

// Draws elements [first, end) of groups; true when the last was a group start that
// can be passed over.
bool draw_elements(Pass &pass, const GroupElements &groups, std::size_t first, std::size_t end,
                   int32_t inside) {
    bool pass_over = false;
    for (std::size_t i = first; i < end; ++i) {
        const GroupElement &e = groups.elements[i];
        const ZT_Point3 *pts = groups.points.data() + e.first;
        pass_over = false;
        switch (e.code) {
        case kCodeGroup:
            pass.group = groups.groups[e.record];
            pass_over = group_passed_over(pass, pass.group);
            break;
        case kCodeAnnotation:
            draw_annotation(pass, pts, e.points);
            break;
        default:
            draw_line_object(pass, groups.objects[e.record], pts, e.points, e.code, inside);
            break;
        }
    }
    return pass_over;
}

// Consumes what follows one control unit of the given code, at the file's position,
// and draws it when the code asks for that.
void Draw_Vector_Objects(Pass &pass, files::BinaryFile &file, int16_t code, int32_t inside) {
    GroupElements &one = pass.read;
    one.clear();
    read_element(file, code, one);
    if (draw_elements(pass, one, 0, one.elements.size(), inside)) {
        // Past the rest of the group. A damaged length never moves backwards, which
        // would read the same units again and again.
        skip_units(file, static_cast<int64_t>(pass.group.length) - 5);
    }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return std::round(d.count() * 1000.0) / 1000.0;
}

// Every unit of the drawing, in file order.
void read_all_units(Pass &pass, const std::string &drwfile) {
    DisplayContext &ctx = pass.ctx;
    auto file = ctx.options.Shortcuts ? ctx.cache.open(files::resolve(drwfile), 64 * 1024)
                                      : files::BinaryFile::open_existing(files::resolve(drwfile));
    Unit u;
    while (!ctx.progress.Abort_Drawing && read_unit(file, u)) {
        if (u.control())
            Draw_Vector_Objects(pass, file, u.code(), 1);
    }
    file.close();
}

void read_sequentially(Pass &pass, const std::string &drwfile) {
    DisplayContext &ctx = pass.ctx;
    ctx.ui.message("Drawing File " + drwfile);
    ctx.ui.pointer(state::kPointerBusy);
    ctx.progress.Drawing_In_Progress = true;
    read_all_units(pass, drwfile);
}

int32_t inside_of(const IndexEntry &r) {
    return zt::ZT_INBOX(&r.x_min, &r.y_min) + zt::ZT_INBOX(&r.x_max, &r.y_max);
}

// Groups are read in index order, not file order: a file read through the system gets a
// small buffer, as each group costs a fill of it.
constexpr std::size_t kIndexedReadBuffer = 8 * 1024;

// What the index walk makes of an entry in the view, once in the entry's units.
enum class Verdict { Beside, Beyond, Pixel, Draw };

Verdict test_entry(state::ViewState &v, const IndexEntry &r, int32_t &divisor, ZT_Point2 &pixel) {
    units_for_kind(v, r.kind, divisor);
    if (r.x_max < v.View_X_Min || r.y_max < v.View_Y_Min || r.y_min > v.View_Y_Max)
        return Verdict::Beside;
    // The index is ordered by x min: nothing after this record can be in view.
    if (r.x_min > v.View_X_Max)
        return Verdict::Beyond;
    if (below_two_pixels(r.x_min, r.y_min, r.x_max, r.y_max, pixel))
        return Verdict::Pixel;
    return Verdict::Draw;
}

// One drawing of a group: the entry whose group it is, whether it is clipped, and the
// units in force. Drawn twice, in copy mode, it paints the same pixels twice.
struct GroupDrawn {
    uint32_t group = 0;
    int32_t inside = 0;
    int32_t fine_units = 0;
    bool operator==(const GroupDrawn &) const = default;
    bool operator<(const GroupDrawn &o) const {
        return std::tie(group, inside, fine_units) < std::tie(o.group, o.inside, o.fine_units);
    }
};

// Which of the candidates need not be drawn, as a later candidate draws the same group
// the same way: in copy mode a pixel keeps what was painted on it last, so the earlier
// drawing is painted over wherever it shows. Found by walking the candidates once without
// drawing, which gives the walk's own answers only where every entry sets its units
// itself (else the units after a group depend on what the group holds): empty otherwise.
std::vector<char> drawn_again_later(state::ViewState &v, const DrawingIndex &index,
                                    const std::vector<uint32_t> &picked) {
    std::vector<char> later;
    if (!index.names_a_unit_twice() || !index.sets_its_units())
        return later;
    later.assign(picked.size(), 0);
    const int32_t units_before = v.Fine_Units;
    std::map<GroupDrawn, std::size_t> last;
    int32_t divisor = 1;
    ZT_Point2 pixel{0, 0};
    for (std::size_t k = 0; k < picked.size(); ++k) {
        const IndexEntry &r = index[picked[k]];
        const Verdict verdict = test_entry(v, r, divisor, pixel);
        if (verdict == Verdict::Beyond)
            break;
        if (verdict != Verdict::Draw)
            continue;
        const GroupDrawn drawn{index.group_of(picked[k]), inside_of(r), v.Fine_Units};
        const auto [at, first] = last.try_emplace(drawn, k);
        if (!first) {
            later[at->second] = 1;
            at->second = k;
        }
    }
    if (v.Fine_Units != units_before)
        v.Fine_Units = state::ReScale(v);
    return later;
}

// Switches the units as drawing elements [first, end) would, without drawing them.
void switch_units_as_drawn(state::ViewState &v, const GroupElements &groups, std::size_t first,
                           std::size_t end) {
    int32_t divisor = 1;
    for (std::size_t i = first; i < end; ++i)
        if (groups.elements[i].code == kCodeGroup)
            units_for_kind(v, groups.groups[groups.elements[i].record].kind, divisor);
}

// The groups an index walk reads from the drawing file. A group that several entries
// name is read once and kept for the pass (as far as the cache's budget allows).
class GroupsFromFile {
  public:
    GroupsFromFile(DisplayContext &ctx, const std::string &drwfile, GroupElements &scratch)
        : ctx_(ctx), drwfile_(drwfile), scratch_(scratch) {}

    const GroupElements &group(const DrawingIndex &index, uint32_t at) {
        const uint32_t group = index.group_of(at);
        if (index.sharing(at) != DrawingIndex::kAlone) {
            if (const auto found = shared_.find(group); found != shared_.end())
                return found->second;
        }
        if (!opened_) {
            file_ = ctx_.options.Shortcuts
                        ? ctx_.cache.open(files::resolve(drwfile_), kIndexedReadBuffer)
                        : files::BinaryFile::open_existing(files::resolve(drwfile_));
            opened_ = true;
        }
        scratch_.clear();
        read_indexed_group(file_, index[at], scratch_);
        if (index.sharing(at) != DrawingIndex::kAlone &&
            shared_bytes_ + scratch_.bytes() <= ctx_.cache.budget()) {
            shared_bytes_ += scratch_.bytes();
            return shared_.emplace(group, scratch_).first->second;
        }
        return scratch_;
    }

  private:
    DisplayContext &ctx_;
    const std::string &drwfile_;
    GroupElements &scratch_;
    files::BinaryFile file_; // opened at the first group to be read
    bool opened_ = false;
    std::unordered_map<uint32_t, GroupElements> shared_;
    int64_t shared_bytes_ = 0;
};

void walk_index(Pass &pass, const DrawingIndex &index, std::shared_ptr<const GroupElements> held,
                const std::string &drwfile) {
    DisplayContext &ctx = pass.ctx;
    const bool shortcuts = ctx.options.Shortcuts;
    state::ViewState &v = ctx.view;
    // The entries the view may show, found in whole units; the walk below tests each as
    // it tests every entry of the index, in the index's order.
    std::vector<uint32_t> picked;
    if (v.Fine_Units == 0 && shortcuts)
        index.candidates(v.View_X_Min, v.View_Y_Min, v.View_X_Max, v.View_Y_Max, picked);
    else
        index.every_entry(picked);
    if (held && held->ends.size() != index.size())
        held = nullptr;
    // A group drawn again over itself with nothing between, or drawn again later in the
    // same way, is drawn once.
    const bool copying = shortcuts && ctx.dc.rop2() == gdi::Rop2::CopyPen;
    const std::vector<char> later =
        copying ? drawn_again_later(v, index, picked) : std::vector<char>{};
    // The group painted last, with nothing painted since; none at first.
    const GroupDrawn none{DrawingIndex::kAlone, 0, 0};
    GroupDrawn painted_last = none;
    GroupsFromFile from_file(ctx, drwfile, pass.read);
    int32_t divisor = 1;
    ZT_Point2 pixel{0, 0};
    for (std::size_t k = 0; k < picked.size(); ++k) {
        const uint32_t at = picked[k];
        const IndexEntry &r = index[at];
        const int64_t i = int64_t{at} + 1; // the record's number in the index
        const Verdict verdict = test_entry(v, r, divisor, pixel);
        if (verdict == Verdict::Beside)
            continue;
        if (verdict == Verdict::Beyond)
            break;
        if (verdict == Verdict::Pixel) {
            ctx.dc.set_pixel(pixel.x, pixel.y, kSmallObjectColour);
            painted_last = none;
            continue;
        }
        const uint32_t group = index.group_of(at);
        const GroupElements &groups = held ? *held : from_file.group(index, at);
        const std::size_t first = held ? held->begin_of(group) : 0;
        const std::size_t end = held ? held->ends[group] : groups.elements.size();
        const GroupDrawn drawn{group, inside_of(r), v.Fine_Units};
        if (copying && ((!later.empty() && later[k]) || painted_last == drawn)) {
            switch_units_as_drawn(v, groups, first, end);
        } else {
            draw_elements(pass, groups, first, end, drawn.inside);
            painted_last = drawn;
        }
        if (i % 10 == 0) {
            ctx.ui.events();     // where a right-button release can ask to stop
            painted_last = none; // what runs meanwhile may paint
        }
        if (ctx.progress.Abort_Drawing)
            break;
    }
}

void read_through_index(Pass &pass, const std::string &drwfile, const std::string &zixfile) {
    DisplayContext &ctx = pass.ctx;
    ctx.ui.pointer(state::kPointerBusy);
    ctx.progress.Drawing_In_Progress = true;
    ctx.ui.message("Drawing File " + drwfile);

    const DrawingCache::Indexed got =
        ctx.cache.indexed(files::resolve(drwfile), files::resolve(zixfile), ctx.options.Shortcuts);
    if (!got.news.empty())
        ctx.ui.problem("Drawing index not used, " + got.news + ": " + zixfile);
    // Without an index to use, the drawing is read whole, as one that has none.
    if (got.index)
        walk_index(pass, *got.index, got.groups, drwfile);
    else
        read_all_units(pass, drwfile);
}

} // namespace

void Draw_Elements(DisplayContext &ctx, int drawing, const GroupElements &groups, std::size_t first,
                   std::size_t end, int32_t inside) {
    Pass pass{ctx, drawing, nullptr, {}, {}, {}};
    if (drawing >= 1 && drawing <= ctx.drawings.count())
        pass.entry = &ctx.drawings.entry(drawing);
    draw_elements(pass, groups, first, end, inside);
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
    ViewClipper(const state::ViewState &v, ScreenLine &line)
        : line_(line), out_(line.points.data()), x_min_(v.View_X_Min), x_max_(v.View_X_Max),
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
        if (p.x != line_.last.x || p.y != line_.last.y) {
            out_[count_++] = p;
            line_.last = p;
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

    ScreenLine &line_;
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

void Clip_To_View(const state::ViewState &v, const ZT_Point3 *pts, int32_t point_count,
                  int32_t code, ScreenLine &out) {
    out.last = ZT_Point2{-1000000000, -1000000000};
    out.count = 0;
    const int32_t n = std::max(point_count, 0);
    // Every segment emits at most two points; one more for the polygon's closing copy.
    const std::size_t room = 2 * static_cast<std::size_t>(std::max(n - 1, 0)) + 2;
    if (out.points.size() < room)
        out.points.resize(room);

    ViewClipper clipper(v, out);
    for (int32_t k = 0; k + 1 < n; ++k)
        clipper.segment(pts[k], pts[k + 1]);
    out.count = clipper.count();
    if (code == kCodePolygon && out.count > 0)
        out.points[static_cast<std::size_t>(out.count)] = out.points[0];
}

void Display_A_Drawing(DisplayContext &ctx, const std::string &drwfile) {
    state::ViewState &v = ctx.view;
    const auto start = std::chrono::steady_clock::now();
    ctx.progress.Abort_Drawing = false;
    const int n = ctx.drawings.find(drwfile);
    if (n == 0)
        return;
    const state::DrawingEntry &entry = ctx.drawings.entry(n);
    if (entry.missing) {
        ctx.ui.message("Drawing not found " + drwfile);
        return;
    }
    Pass pass{ctx, n, &entry, {}, {}, {}};
    if (entry.has_index)
        read_through_index(pass, drwfile, files::with_extension3(drwfile, "zix"));
    else
        read_sequentially(pass, drwfile);

    ctx.progress.Drawing_In_Progress = false;
    if (v.Fine_Units != 0)
        v.Fine_Units = state::ReScale(v);
    ctx.progress.Abort_Drawing = false;
    ctx.ui.pointer(ctx.cursor_style + 1);
    if (ctx.initial_font != nullptr)
        ctx.dc.select(*ctx.initial_font);
    ctx.ui.events();
    ctx.ui.message("Drawing Done " + drwfile + num::Str(seconds_since(start)));
}

} // namespace drawing
