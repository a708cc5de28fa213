#include "view/redraw.h"

#include <chrono>
#include <utility>

#include "drawing/symbols.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace view {

namespace {

// The site points the view shows, each as its symbol. A point outside the view costs one
// box test and nothing more; with the shortcuts, the points beyond the view's left and
// right edges cost nothing at all (the store is kept in easting order), and the symbols
// are stamped, which paints the same pixels as drawing each (in plain copy mode, in
// which the map is drawn).
void plot_points_in_view(drawing::DisplayContext &ctx, const state::PointStore &store) {
    const bool shortcuts = ctx.options.Shortcuts && ctx.dc.rop2() == gdi::Rop2::CopyPen;
    // A unit of room either side: the library holds the view's edges it was handed, and
    // the box test below has the last word.
    const auto [first, end] = shortcuts
                                  ? store.x_slice(ctx.view.View_X_Min - 1, ctx.view.View_X_Max + 1)
                                  : std::pair<int32_t, int32_t>{0, store.count()};
    drawing::SymbolStamps &stamps = ctx.stamps;
    for (int32_t i = first; i < end; ++i) {
        const int32_t x = store.easting(i), y = store.northing(i);
        if (zt::ZT_INBOX(&x, &y) == 0)
            continue;
        const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
        int32_t px = 0, py = 0;
        zt::ZT_Calc_3D_xy(x, y, p.elevation, &px, &py);
        if (shortcuts)
            stamps.plot(ctx.dc, p.symbol_number, p.symbol_size, px, py, p.colour);
        else
            drawing::Plot_A_Symbol(ctx.dc, p.symbol_number, p.symbol_size, px, py, p.colour);
    }
    stamps.finish(ctx.dc);
}

} // namespace

void Draw_Map_Content(RedrawContext &rc) {
    auto &ctx = rc.display;
    ctx.ui.pointer(state::kPointerBusy);
    if (rc.paint_rasters)
        rc.paint_rasters();

    // Later drawings cover earlier ones; a flash colour never outlives its drawing.
    for (int n = 1; n <= ctx.drawings.count(); ++n) {
        auto &entry = ctx.drawings.entry(n);
        entry.file_name = text::trim_blanks(entry.file_name);
        if (entry.active)
            drawing::Display_A_Drawing(ctx, entry.file_name);
        ctx.options.Forced_Colour = 0;
    }

    if (rc.points != nullptr && !rc.points->empty()) {
        const state::PointStore &store = *rc.points;
        const auto start = std::chrono::steady_clock::now();
        plot_points_in_view(ctx, store);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ctx.ui.message(num::Str(static_cast<int64_t>(store.count())) + " points in " +
                       num::Str(seconds) + "seconds");
    }
    ctx.ui.pointer(state::kPointerCross);
}

void Redraw_Everything(RedrawContext &rc) {
    auto &ctx = rc.display;
    ctx.ui.pointer(state::kPointerBusy);
    ctx.ui.events();
    ctx.ui.message("Redrawing Map View");
    ctx.dc.clear(rc.background);
    if (!rc.minimised) {
        Prepare_View(ctx.view, ctx.dc, rc.client_width, rc.client_height);
        Keep_Scale_Bar_Inside(rc.furniture, rc.client_width, rc.client_height);
        Draw_Map_Content(rc);
        Draw_Grid(ctx.view, rc.furniture, rc.boxes, ctx.dc, ctx.ui, 0);
    }
    if (ctx.drawings.count() > 0)
        ctx.ui.message("Redrawing Complete");
    ctx.ui.pointer(state::kPointerCross);
}

} // namespace view
