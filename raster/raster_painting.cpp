#include "raster/raster_painting.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <QImage>

#include "platform/base/numbers.h"
#include "platform/surface/gdi.h"
#include "platform/surface/rasterlib.h"
#include "zent32i_binding.h"

namespace raster {

namespace {

// The image cells shown by the output pixels [first, last) of a destination that spans
// [dst_from, dst_to) and shows source cells [src_from, src_to): each output pixel shows
// the cell under its centre. Cells outside [0, size) - the image holds fewer pixels than
// its world-info file says - are left out, together with their output pixels; `start`
// receives the first output pixel kept.
std::vector<int32_t> cells_for(int64_t first, int64_t last, int64_t dst_from, int64_t dst_to,
                               int64_t src_from, int64_t src_to, int32_t size, int64_t &start) {
    std::vector<int32_t> cells;
    const __int128 span_dst = dst_to - dst_from;
    const __int128 span_src = src_to - src_from;
    start = last;
    for (int64_t p = first; p < last; ++p) {
        const __int128 twice = 2 * static_cast<__int128>(p - dst_from) + 1;
        const int64_t cell = static_cast<int64_t>(src_from + (twice * span_src) / (2 * span_dst));
        if (cell < 0)
            continue;
        if (cell >= size)
            break;
        if (cells.empty())
            start = p;
        cells.push_back(static_cast<int32_t>(cell));
    }
    return cells;
}

// Paints the cut source rectangle into the destination rectangle, reading only what
// lands inside the window. Returns the image library's result code.
int draw_cut(gdi::DeviceContext &dc, rasterlib::Image &image, const SourceCut &cut,
             int64_t dst_left, int64_t dst_top, int64_t dst_right, int64_t dst_bottom) {
    if (dst_right <= dst_left || dst_bottom <= dst_top)
        return rasterlib::kSuccess;
    int64_t frame_w = dc.width(), frame_h = dc.height();
    if (const double ratio = dc.device_pixel_ratio(); ratio != 1.0) {
        // A finer picture shows the raster at its own resolution: the cells are chosen
        // for each device pixel of the same rectangle.
        constexpr int64_t kOne = 1024;
        const auto num = static_cast<int64_t>(std::lround(ratio * kOne));
        const auto scale = [num](int64_t v) {
            const __int128 p = static_cast<__int128>(v) * num;
            const __int128 q = p >= 0 ? p / kOne : -((-p + kOne - 1) / kOne);
            constexpr __int128 kMost = std::numeric_limits<int64_t>::max() / 2;
            return static_cast<int64_t>(std::clamp<__int128>(q, -kMost, kMost));
        };
        dst_left = scale(dst_left);
        dst_top = scale(dst_top);
        dst_right = scale(dst_right);
        dst_bottom = scale(dst_bottom);
        const QImage &picture = dc.image();
        frame_w = picture.width();
        frame_h = picture.height();
    }
    const int64_t x_from = std::max<int64_t>(dst_left, 0);
    const int64_t x_to = std::min<int64_t>(dst_right, frame_w);
    const int64_t y_from = std::max<int64_t>(dst_top, 0);
    const int64_t y_to = std::min<int64_t>(dst_bottom, frame_h);
    if (x_to <= x_from || y_to <= y_from)
        return rasterlib::kSuccess;
    const rasterlib::FileInfo &info = image.info();
    int64_t x0 = 0, y0 = 0;
    const std::vector<int32_t> columns =
        cells_for(x_from, x_to, dst_left, dst_right, cut.src_left, cut.src_right, info.width, x0);
    const std::vector<int32_t> rows =
        cells_for(y_from, y_to, dst_top, dst_bottom, cut.src_top, cut.src_bottom, info.height, y0);
    if (columns.empty() || rows.empty())
        return rasterlib::kSuccess;
    // Straight into the window's image: no second screen-sized copy.
    return image.render(columns, rows, dc.image(), static_cast<int>(x0), static_cast<int>(y0));
}

} // namespace

SourceCut Cut_To_View(const state::RasterEntry &e, const state::ViewState &v) {
    SourceCut c;
    c.overlaps = v.View_X_Min < e.east && e.west < v.View_X_Max && e.south < v.View_Y_Max &&
                 v.View_Y_Min < e.north;
    if (!c.overlaps)
        return c;
    const double pw = e.pixel_width;
    const double ph = e.pixel_height;
    c.src_right = e.columns;
    c.src_bottom = e.rows;
    c.world_left = e.west;
    c.world_bottom = e.south;
    c.world_right = e.east;
    c.world_top = e.north;

    const int32_t left_cut = num::nearest_clamped((v.View_X_Min - e.west) / pw);
    if (left_cut >= 1) {
        c.src_left = left_cut;
        c.world_left = num::nearest_clamped(v.View_X_Min);
    }
    const double east_over = (e.east - v.View_X_Max) / pw;
    if (east_over >= 0) {
        const int32_t right_column = num::nearest_clamped(e.columns - east_over);
        if (right_column >= 1) {
            c.src_right = right_column;
            c.world_right = num::nearest_clamped(v.View_X_Max);
        }
    }
    const int32_t bottom_cut = num::nearest_clamped((v.View_Y_Min - e.south) / ph);
    if (bottom_cut >= 1) {
        c.src_bottom = num::nearest_clamped(static_cast<double>(e.rows) - bottom_cut);
        c.world_bottom = num::nearest_clamped(v.View_Y_Min);
    }
    const double north_over = (e.north - v.View_Y_Max) / ph;
    if (north_over >= 0) {
        const int32_t top_row = num::nearest_clamped(e.rows - north_over);
        if (top_row >= 1) {
            c.src_top = num::nearest_clamped(static_cast<double>(e.rows) - top_row);
            c.world_top = num::nearest_clamped(v.View_Y_Max);
        }
    }
    // The rule of the paint call, then what a stretch needs: a source rectangle that is
    // not empty (rounding can cut a sliver of less than a pixel down to nothing).
    c.paint = (c.src_left != 0 || c.src_right != 0) && (c.src_bottom != 0 || c.src_top != 0) &&
              c.src_right > c.src_left && c.src_bottom > c.src_top;
    return c;
}

void Paint_A_Lead_Raster(state::RasterTable &table, int n, const state::ViewState &v,
                         const RasterUi &ui) {
    if (n < 1 || n > table.count())
        return;
    state::RasterEntry &e = table.entry(n);
    gdi::DeviceContext *dc = v.Map_DC;
    if (dc == nullptr || v.View_Scale == 0.0 || !e.bitmap || !e.bitmap->is_open())
        return;
    const SourceCut cut = Cut_To_View(e, v);
    if (!cut.paint)
        return;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    zt::ZT_Calc_3D_xy(cut.world_left, cut.world_bottom, 0, &x1, &y1);
    zt::ZT_Calc_3D_xy(cut.world_right, cut.world_top, 0, &x2, &y2);
    const int code = draw_cut(*dc, *e.bitmap, cut, x1, y2, x2, y1);
    if (code < 0) {
        ui.hooks.message("Image display error " + num::Str(code));
        if (ui.pause)
            ui.pause(kDisplayErrorPauseMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kDisplayErrorPauseMs));
    }
}

void Paint_Rasters(state::RasterTable &table, const state::ViewState &v, const RasterUi &ui) {
    if (table.count() >= 1 && table.entry(1).display == 1)
        Paint_A_Lead_Raster(table, 1, v, ui);
}

void Set_Background_Display(state::RasterTable &table, bool on) {
    if (table.count() >= 1)
        table.entry(1).display = on ? 1 : 0;
}

} // namespace raster
