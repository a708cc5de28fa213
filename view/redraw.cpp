#include "view/redraw.h"

#include <chrono>

#include "drawing/symbols.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace view {

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
            drawing::Display_A_Drawing(ctx, entry.file_name, 0);
        ctx.state.Forced_Colour = 0;
    }

    if (rc.points != nullptr && !rc.points->empty()) {
        const state::PointStore &store = *rc.points;
        const auto start = std::chrono::steady_clock::now();
        for (int32_t i = 0; i < store.count(); ++i) {
            const int32_t x = store.easting(i), y = store.northing(i);
            // One box test for a point outside the view, nothing more.
            if (zt::ZT_INBOX(&x, &y) == 0)
                continue;
            const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
            int32_t px = 0, py = 0;
            zt::ZT_Calc_3D_xy(x, y, p.elevation, &px, &py);
            drawing::Plot_A_Symbol(ctx.dc, p.symbol_number, p.symbol_size, px, py, p.colour);
        }
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
