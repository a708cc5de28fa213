#include "serve/map_picture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "drawing/map_fonts.h"
#include "raster/raster_painting.h"
#include "view/redraw.h"
#include "view/transform.h"

namespace serve {

namespace {

// Where a transparent picture is transparent: the map is cleared to this colour, which
// neither the drawing palette nor the site symbols use, and it is then made clear.
constexpr gdi::Colour kClearKey = gdi::rgb(254, 1, 253);

// One pass of the content drawing: what the viewer draws in one redraw, in its order
// (background, drawings in project order, sites). A request's layers in another order
// take several passes over one picture.
struct Pass {
    bool background = false;
    std::vector<int> drawings; // entries, ascending
    bool sites = false;
};

std::vector<Pass> passes_of(const ServiceLayers &layers, const std::vector<int> &order) {
    std::vector<Pass> out(1);
    for (const int at : order) {
        const Layer &l = layers.layers[static_cast<std::size_t>(at)];
        Pass *p = &out.back();
        const bool started = p->background || !p->drawings.empty() || p->sites;
        switch (l.kind) {
        case Layer::Kind::Background:
            if (started)
                p = &out.emplace_back();
            p->background = true;
            break;
        case Layer::Kind::Drawing:
            if (p->sites || (!p->drawings.empty() && l.drawing <= p->drawings.back()))
                p = &out.emplace_back();
            p->drawings.push_back(l.drawing);
            break;
        case Layer::Kind::Sites:
            if (p->sites)
                p = &out.emplace_back();
            p->sites = true;
            break;
        }
    }
    return out;
}

// What a drawing pass changes of the session's switches, put back afterwards.
struct KeptSwitches {
    std::vector<bool> active;
    uint8_t background = 0;

    explicit KeptSwitches(const project::AppState &st) {
        for (int n = 1; n <= st.drawings.count(); ++n)
            active.push_back(st.drawings.entry(n).active);
        if (st.rasters.count() >= 1)
            background = st.rasters.entry(1).display;
    }
    void restore(project::AppState &st) const {
        for (int n = 1; n <= st.drawings.count(); ++n)
            st.drawings.entry(n).active = active[static_cast<std::size_t>(n - 1)];
        if (st.rasters.count() >= 1)
            st.rasters.entry(1).display = background;
    }
};

void make_clear(QImage &image) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = gdi::to_qrgb(kClearKey);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (row[x] == key)
                row[x] = 0;
    }
}

} // namespace

RequestView request_view(const MapRequest &m) {
    const double bw = m.bbox.max_x - m.bbox.min_x, bh = m.bbox.max_y - m.bbox.min_y;
    // The library has one scale both ways: the larger of the two the box asks for would
    // make the picture larger than asked, so the smaller is taken.
    const double pixels_per_metre = std::min(m.width / bw, m.height / bh);
    RequestView v;
    v.width = std::clamp(static_cast<int>(std::lround(bw * pixels_per_metre)), 1, m.width);
    v.height = std::clamp(static_cast<int>(std::lround(bh * pixels_per_metre)), 1, m.height);
    v.x_min = m.bbox.min_x * state::kUnitsPerMetre;
    v.y_min = m.bbox.min_y * state::kUnitsPerMetre;
    v.height_units =
        std::max<int32_t>(1, static_cast<int32_t>(std::lround(bh * state::kUnitsPerMetre)));
    return v;
}

DrawnMap draw_map(project::Session &session, const ServiceLayers &layers, const MapRequest &m,
                  Deadline deadline) {
    project::AppState &st = session.state();
    const RequestView rv = request_view(m);
    const gdi::Colour clear = m.transparent
                                  ? kClearKey
                                  : gdi::rgb((m.background >> 16) & 0xFF,
                                             (m.background >> 8) & 0xFF, m.background & 0xFF);
    DrawnMap out;
    out.image = QImage(rv.width, rv.height, QImage::Format_RGB32);
    const KeptSwitches kept(st);
    {
        gdi::DeviceContext dc(out.image);
        drawing::MapFonts fonts;
        drawing::create_map_fonts(dc, fonts);
        // A view of its own: the session's is the one its own picture shows.
        state::ViewState view;
        view.View_X_Min = rv.x_min;
        view.View_Y_Min = rv.y_min;
        view.View_Height_Units = rv.height_units;
        view.Zoom_Limits_On = st.view.Zoom_Limits_On;

        // The drawing walk lets events run every few groups: there the deadline stops it.
        state::UiHooks hooks;
        hooks.process_events = [&] {
            if (std::chrono::steady_clock::now() > deadline) {
                out.stopped = true;
                st.progress.Abort_Drawing = true;
            }
        };
        drawing::DisplayContext ctx = session.display_context(view, dc, hooks, &fonts.Initial_Font);
        state::FurnitureSettings furniture = st.furniture;
        furniture.Grid_On = 0;
        furniture.Scale_Bar_On = 0;
        state::FurnitureBoxes boxes;
        raster::RasterUi raster_quiet;
        raster_quiet.cursor_style = st.interaction.Cursor_Style;
        raster_quiet.pause = [](int) {}; // no one is waiting to read a message

        // As the full redraw starts, but with no frame round the picture: the pen that
        // would draw it draws nothing, and the stock pen is back before anything else.
        dc.clear(clear);
        dc.select(gdi::Pen::null());
        view::Prepare_View(view, dc, rv.width, rv.height);
        dc.select(gdi::Pen::black());

        for (const Pass &pass : passes_of(layers, m.layers)) {
            if (out.stopped || std::chrono::steady_clock::now() > deadline) {
                out.stopped = true;
                break;
            }
            for (int n = 1; n <= st.drawings.count(); ++n)
                st.drawings.entry(n).active =
                    std::find(pass.drawings.begin(), pass.drawings.end(), n) != pass.drawings.end();
            raster::Set_Background_Display(st.rasters, pass.background);
            view::RedrawContext rc{ctx,
                                   furniture,
                                   boxes,
                                   pass.sites ? &st.points : nullptr,
                                   pass.background ? std::function<void()>([&] {
                                       raster::Paint_Rasters(st.rasters, view, raster_quiet);
                                   })
                                                   : std::function<void()>(),
                                   rv.width,
                                   rv.height,
                                   false,
                                   clear};
            view::Draw_Map_Content(rc);
        }
        drawing::release_map_fonts(dc, fonts);
        dc.image(); // ends the context's painting before the picture is handed out
    }
    st.progress.Abort_Drawing = false;
    kept.restore(st);

    if (rv.width != m.width || rv.height != m.height)
        out.image =
            out.image.scaled(m.width, m.height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (m.transparent)
        make_clear(out.image);
    return out;
}

} // namespace serve
