#include "view/furniture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/base/numbers.h"
#include "platform/surface/gdi.h"
#include "state/ui_hooks.h"
#include "view/transform.h"

namespace view {

namespace {

constexpr gdi::Colour kBlue = gdi::rgb(0, 0, 255);
constexpr gdi::Colour kBarFill = gdi::rgb(0, 0, 250);

constexpr int kLabelOffset = 1; // pixels between a grid line and its label
constexpr int kBarHeight = 8;   // pixels
constexpr int kLabelPoints = 8; // label font size

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

gdi::Point pt(int64_t x, int64_t y) {
    return gdi::Point{num::clamp32(x), num::clamp32(y)};
}

// The label font, recreated at 8 points for the display's resolution every time the
// grid is drawn; it stays selected afterwards for the scale bar's texts.
gdi::Font label_font() {
    return gdi::Font{"Arial",
                     -num::nearest(static_cast<double>(kLabelPoints) / 72.0 *
                                   gdi::DeviceContext::pixels_per_inch()),
                     500};
}

struct GridPens {
    gdi::Pen axis{gdi::PenStyle::Solid, 0, kGridAxisColour}; // the line through the origin
    gdi::Pen line{gdi::PenStyle::Dot, 0, kGridLineColour};
    const gdi::Pen &for_value(int64_t c) const { return c == 0 ? axis : line; }
};

// The first and last grid values of a run of lines over [lo, hi] in steps of s, held to
// the values a world coordinate can take. False when there is nothing to walk.
bool grid_run(double lo, double hi, int64_t s, int64_t &first, int64_t &last) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || s <= 0)
        return false;
    const double from = std::nearbyint(std::clamp(lo, double(kInt32Min), double(kInt32Max)) /
                                       static_cast<double>(s));
    first = static_cast<int64_t>(from) * s;
    last = num::nearest_clamped(hi);
    while (first < kInt32Min)
        first += s;
    return first <= last;
}

void draw_label(const state::FurnitureSettings &s, int32_t &omit_chars, gdi::DeviceContext &dc,
                int64_t coord, const gdi::Point &at) {
    if (s.Grid_Labels == 0)
        return;
    const std::string text = grid_label(static_cast<int32_t>(coord), s.Grid_Precision, omit_chars);
    dc.text_out(at.x + kLabelOffset, at.y - kLabelOffset, text);
}

void draw_grid_lines(const state::ViewState &v, state::FurnitureSettings &s, gdi::DeviceContext &dc,
                     const GridPens &pens) {
    const int64_t step = grid_step(v.View_Y_Max - v.View_Y_Min, s.Grid_Spacing);
    int64_t first = 0, last = 0;

    // Lines of constant northing, labelled at their left end.
    if (grid_run(v.View_Y_Min, v.View_Y_Max, step, first, last)) {
        const int32_t left = num::nearest_clamped(v.View_X_Min);
        const int32_t right = num::nearest_clamped(v.View_X_Max);
        for (int64_t y = first; y <= last; y += step) {
            gdi::Point p[2]{};
            world_to_pixel(v, left, static_cast<int32_t>(y), p[0].x, p[0].y);
            world_to_pixel(v, right, static_cast<int32_t>(y), p[1].x, p[1].y);
            dc.select(pens.for_value(y));
            if (v.View_Y_Min <= static_cast<double>(y) && static_cast<double>(y) <= v.View_Y_Max) {
                draw_label(s, s.Omit_Chars, dc, y, p[0]);
                dc.polyline(p, 2);
            }
        }
    }

    // Lines of constant easting, labelled just above the bottom edge.
    if (grid_run(v.View_X_Min, v.View_X_Max, step, first, last)) {
        const int32_t bottom = num::nearest_clamped(v.View_Y_Min);
        const int32_t top = num::nearest_clamped(v.View_Y_Max);
        for (int64_t x = first; x <= last; x += step) {
            if (static_cast<double>(x) < v.View_X_Min || static_cast<double>(x) > v.View_X_Max)
                continue;
            dc.select(pens.for_value(x));
            gdi::Point p[2]{};
            world_to_pixel(v, static_cast<int32_t>(x), bottom, p[0].x, p[0].y);
            world_to_pixel(v, static_cast<int32_t>(x), top, p[1].x, p[1].y);
            draw_label(s, s.Omit_Chars, dc, x, p[0]);
            dc.polyline(p, 2);
        }
    }
}

// 1, 2 or 5 times a power of ten, the largest not above limit (at least 1).
double round_step(double limit) {
    double step = 1;
    while (step * 10 <= limit)
        step *= 10;
    if (step * 5 <= limit)
        return step * 5;
    if (step * 2 <= limit)
        return step * 2;
    return step;
}

// The outline of a box d wide and h high whose bottom-left corner is (x, y0).
void draw_rectangle_outline(gdi::DeviceContext &dc, int64_t x, int64_t y0, int64_t d, int64_t h) {
    dc.box(num::clamp32(x), num::clamp32(y0), num::clamp32(x + d), num::clamp32(y0 - h));
}

} // namespace

ScaleBarChoice choose_scale_bar(int32_t smaller_extent) {
    struct Row {
        int32_t up_to;
        int32_t length;
        const char *label;
        int divisions;
    };
    // The bar for each band of the smaller extent, up to and including `up_to`. The 5 m
    // bar really is 500 units, five times the 100 cm bar of the band below.
    static constexpr std::array<Row, 15> kRows{{
        {100, 25, "25 cms.", 5},
        {250, 50, "50 cms.", 5},
        {1'000, 100, "100 cms.", 10},
        {5'000, 500, "5 m.", 5},
        {10'000, 2'000, "20 m.", 10},
        {25'000, 5'000, "50 m.", 5},
        {100'000, 10'000, "100 m.", 10},
        {250'000, 50'000, "500 m.", 5},
        {1'000'000, 100'000, "1 km.", 10},
        {2'500'000, 500'000, "5 km.", 5},
        {10'000'000, 1'000'000, "10 km.", 10},
        {25'000'000, 5'000'000, "50 km.", 5},
        {100'000'000, 10'000'000, "100 km.", 10},
        {250'000'000, 50'000'000, "500 km.", 10},
        {kInt32Max, 100'000'000, "1000 km.", 10},
    }};
    for (const Row &r : kRows)
        if (smaller_extent <= r.up_to)
            return {static_cast<double>(r.length), r.label, r.divisions};
    return {static_cast<double>(kRows.back().length), kRows.back().label, kRows.back().divisions};
}

ScaleBarChoice page_scale_bar(double width) {
    const double metres = round_step(width / state::kUnitsPerMetre / 5);
    char label[32];
    if (metres >= 1000)
        std::snprintf(label, sizeof label, "%g km", metres / 1000);
    else
        std::snprintf(label, sizeof label, "%g m", metres);
    return {metres * state::kUnitsPerMetre, label, 4};
}

int32_t grid_step(double span, int32_t spacing) {
    int64_t s = spacing;
    // A spacing of zero or less would never advance; it is replaced like a too-fine one.
    if (s <= 0 || span / static_cast<double>(s) > kMaxGridLines) {
        const double q = span / kMaxGridLines;
        s = std::isfinite(q) ? static_cast<int64_t>(num::nearest_clamped(q)) : int64_t{kInt32Max};
        if (s < 100)
            s = 10;
        else if (s > 999'999)
            s -= s % 1000;
        else if (s >= 101)
            s -= s % 100;
    }
    return static_cast<int32_t>(s);
}

double page_grid_step(int32_t height_units) {
    // The height is taken in whole metres.
    return round_step(height_units / state::kUnitsPerMetre / kPageGridLines) *
           state::kUnitsPerMetre;
}

std::string grid_label(int32_t coord, int precision, int32_t &omit_chars) {
    std::string text;
    if (precision == 3) {
        text =
            num::Str(static_cast<int32_t>(coord / state::kUnitsPerMetre)); // truncated toward zero
        omit_chars = 2;
    } else {
        text = num::Str(coord);
    }
    // A negative count drops nothing: there is no such thing as a negative prefix.
    if (omit_chars > 0 && text.size() > static_cast<std::size_t>(omit_chars))
        text.erase(0, static_cast<std::size_t>(omit_chars));
    return text;
}

void Draw_Grid(state::ViewState &v, state::FurnitureSettings &s, state::FurnitureBoxes &boxes,
               gdi::DeviceContext &dc, const state::UiHooks &hooks, int /*flag*/) {
    const GridPens pens{};
    dc.select(gdi::Font::system());
    dc.select(label_font());
    dc.set_text_colour(kGridAxisColour);

    if (s.Grid_On != 0)
        draw_grid_lines(v, s, dc, pens);
    dc.select(gdi::Pen::black());

    if (s.Scale_Bar_On != 0)
        Draw_Scale_Bar(v, s, boxes, dc);
    hooks.events();
}

void Keep_Scale_Bar_Inside(state::FurnitureSettings &s, int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    constexpr int32_t kFromEdge = 75;
    // The bar's top is its origin's row + 1 - its height (see Draw_Scale_Bar).
    if (static_cast<int64_t>(s.Bar_Origin_Y) + 1 - kBarHeight < 0)
        s.Bar_Origin_Y = std::max(height - kFromEdge, kBarHeight);
    if (s.Bar_Origin_X < 0 || s.Bar_Origin_X >= width)
        s.Bar_Origin_X = std::min(kFromEdge, width - 1);
}

void Draw_Scale_Bar(const state::ViewState &v, const state::FurnitureSettings &s,
                    state::FurnitureBoxes &boxes, gdi::DeviceContext &dc) {
    dc.select(gdi::Pen{gdi::PenStyle::Solid, 0, kBlue});
    dc.select(gdi::Brush::solid(kBarFill));

    const int64_t m = std::min(std::llabs(static_cast<int64_t>(v.View_Height_Units)),
                               std::llabs(static_cast<int64_t>(v.View_Width_Units)));
    const ScaleBarChoice bar = choose_scale_bar(num::clamp32(m));
    const int64_t L = num::nearest_clamped(bar.length * v.View_Scale);
    const int64_t h = kBarHeight;
    const int64_t d =
        num::nearest_clamped(static_cast<double>(bar.length) / bar.divisions * v.View_Scale);

    const int64_t x0 = static_cast<int64_t>(s.Bar_Origin_X) + 1;
    int64_t y0 = static_cast<int64_t>(s.Bar_Origin_Y) + 1;
    if (y0 > v.Window_Height_Px)
        y0 = static_cast<int64_t>(v.Window_Height_Px) - 20;
    boxes.bar_left = num::clamp32(x0);
    boxes.bar_top = num::clamp32(y0 - h);
    boxes.bar_right = num::clamp32(x0 + L);
    boxes.bar_bottom = num::clamp32(y0);
    // A window without width or height has no relative position to speak of.
    boxes.bar_rel_x = v.Window_Width_Px != 0 ? double(x0) / v.Window_Width_Px : 0.0;
    boxes.bar_rel_y = v.Window_Height_Px != 0 ? double(y0) / v.Window_Height_Px : 0.0;

    draw_rectangle_outline(dc, x0, y0, L, h);

    switch (s.Scale_Bar_Style) {
    case 0: {
        const gdi::Point wedge[4] = {pt(x0, y0), pt(x0 + L, y0), pt(x0 + L, y0 - h - 1),
                                     pt(x0, y0 - 1)};
        dc.polygon(wedge, 4);
        break;
    }
    case 1: {
        int64_t x = x0;
        for (int i = 0; i < bar.divisions; ++i, x += d) {
            if (i % 2 != 0)
                continue;
            const gdi::Point r[4] = {pt(x, y0), pt(x + d, y0), pt(x + d, y0 - h), pt(x, y0 - h)};
            dc.polygon(r, 4);
        }
        break;
    }
    case 2: {
        int64_t x = x0;
        for (int i = 0; i < bar.divisions; ++i, x += d) {
            draw_rectangle_outline(dc, x, y0, d, h);
            const gdi::Point tooth[4] = {pt(x, y0), pt(x + d, y0), pt(x + d, y0 - h + 1),
                                         pt(x + 1, y0)};
            dc.polygon(tooth, 4);
        }
        break;
    }
    case 3: {
        int64_t x = x0;
        for (int i = 0; i < bar.divisions; ++i, x += d) {
            if (i % 2 != 0)
                continue;
            draw_rectangle_outline(dc, x, y0, d, h);
            const gdi::Point mid[2] = {pt(x, y0 - h / 2), pt(x + d, y0 - h / 2)};
            dc.polyline(mid, 2);
        }
        break;
    }
    default:
        break; // outline only
    }

    const gdi::Point zero_at = pt(x0 - h, y0 - h - 2);
    const gdi::Point label_at = pt(x0 + h + L, y0 - h - 2);
    dc.text_out(zero_at.x, zero_at.y, "0");
    dc.text_out(label_at.x, label_at.y, bar.label);

    dc.select(gdi::Brush::black());
    dc.select(gdi::Pen::black());

    if (s.North_Point_On != 0)
        Draw_North_Point(boxes, dc);
}

NorthPoint screen_north_point() {
    // An arrow of size 25, in whole pixels.
    constexpr int32_t size = 25;
    constexpr double tip_x = 55, tip_y = 45;
    const double half = size / 2;                            // 12
    const double barb_y = num::nearest(1.5 * size + tip_y);  // 82
    const double notch_y = num::nearest(0.5 * size + tip_y); // 57.5 goes to 58
    const double tail_y = tip_y + 2 * size;
    return {{tip_x, tip_y},
            {tip_x, notch_y},
            {tip_x - half, barb_y},
            {tip_x + half, barb_y},
            {tip_x, tail_y}};
}

NorthPoint page_north_point() {
    // Broader and shorter than the screen's, without a shaft: it stands on a round ground
    // of its own in a corner of the printed map.
    return {{0, -7}, {0, 4}, {-5, 9}, {5, 9}, {0, -7}};
}

void Draw_North_Point(state::FurnitureBoxes &boxes, gdi::DeviceContext &dc) {
    const NorthPoint n = screen_north_point();
    // Whole pixels, as screen_north_point gives them.
    const auto px = [](const NorthPoint::At &a) {
        return gdi::Point{static_cast<int32_t>(a.x), static_cast<int32_t>(a.y)};
    };
    const gdi::Point tip = px(n.tip);

    boxes.north_left = tip.x;
    boxes.north_top = tip.y;
    boxes.north_right = px(n.right_barb).x;
    boxes.north_bottom = px(n.tail).y;

    dc.select(gdi::Pen{gdi::PenStyle::Solid, 1, kBlue});
    dc.select(gdi::Brush::solid(kBarFill));
    dc.set_text_colour(kBarFill);

    const gdi::Point head[5] = {tip, px(n.right_barb), px(n.notch), px(n.left_barb), tip};
    dc.polygon(head, 5);
    const gdi::Point shaft[2] = {tip, px(n.tail)};
    dc.polyline(shaft, 2);

    dc.select(gdi::Brush::black());
    dc.select(gdi::Pen::black());
}

void Draw_Place_Mark(gdi::DeviceContext &dc, int x, int y) {
    // No two strokes share a pixel, so every pixel is inverted once and a second drawing
    // puts it back.
    constexpr int kInner = 6, kOuter = 11, kTickFrom = 14, kTickTo = 24;
    const gdi::Rop2 old_rop = dc.set_rop2(gdi::Rop2::XorPen);
    const gdi::Pen old_pen = dc.select(gdi::Pen{gdi::PenStyle::Solid, 0, gdi::rgb(255, 255, 255)});
    const gdi::Brush old_brush = dc.select(gdi::Brush::null());
    for (const int r : {kInner, kOuter})
        dc.ellipse(x - r, y - r, x + r + 1, y + r + 1);
    const gdi::Point ticks[4][2] = {{{x - kTickTo, y}, {x - kTickFrom, y}},
                                    {{x + kTickFrom, y}, {x + kTickTo, y}},
                                    {{x, y - kTickTo}, {x, y - kTickFrom}},
                                    {{x, y + kTickFrom}, {x, y + kTickTo}}};
    for (const auto &t : ticks)
        dc.polyline(t, 2);
    dc.select(old_brush);
    dc.select(old_pen);
    dc.set_rop2(old_rop);
}

} // namespace view
