#include "drawing/flash.h"

#include <QImage>

#include <thread>
#include <vector>

#include "drawing/drw_reader.h"
#include "drawing/group_reader.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/db/dbase.h"
#include "zent32i_binding.h"

namespace drawing {

namespace {

constexpr std::size_t kReferenceWidth = 12;

// Draws, as objects of drawing drnum, the group whose -200 unit is unit `start`, in the
// colours the options ask for.
void draw_group(DisplayContext &ctx, int32_t drnum, files::BinaryFile &file, int32_t start) {
    GroupRecord g;
    // The group record follows the -200 unit.
    if (start < 1 || !file.seek(static_cast<int64_t>(kUnitBytes) * start) || !read_record(file, g))
        return;
    int32_t divisor = 1;
    units_for_kind(ctx.view, g.kind, divisor);
    const int32_t inside = zt::ZT_INBOX(&g.x_min, &g.y_min) + zt::ZT_INBOX(&g.x_max, &g.y_max);
    GroupElements elements;
    read_rest_of_group(file, elements);
    Draw_Elements(ctx, drnum, elements, 0, elements.elements.size(), inside);
}

// The highlight's fill is not drawn over again by the pass in the group's own colours
// when polygons are not filled: every pixel still in the highlight colour gets back what
// the picture had before the flash, whatever was drawn elsewhere meanwhile.
void put_back_under_highlight(QImage &picture, const QImage &before) {
    if (picture.size() != before.size() || picture.format() != QImage::Format_RGB32 ||
        before.format() != QImage::Format_RGB32)
        return;
    const QRgb highlight = gdi::to_qrgb(kFlashColour) | 0xFF000000u;
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        const auto *was = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            if ((line[x] | 0xFF000000u) == highlight)
                line[x] = was[x];
    }
}

void flash_group(DisplayContext &ctx, int32_t drnum, files::BinaryFile &file, int32_t start,
                 bool filling, const QImage &before) {
    DisplayOptions &o = ctx.options;
    for (int pass = 0; pass < 2; ++pass) {
        o.Forced_Colour = pass == 0 ? kFlashColour : 0;
        o.Polygon_Filling = pass == 0 ? true : filling;
        draw_group(ctx, drnum, file, start);
        if (pass == 1)
            put_back_under_highlight(ctx.dc.image(), before);
        // On the screen for the whole pause, not from its end.
        ctx.ui.show();
        std::this_thread::sleep_for(o.Flash_Pause);
        ctx.ui.events();
    }
}

// The units at which the groups holding the reference start, from the object table.
std::vector<int32_t> starts_of(const std::string &table_path, const std::string &ref,
                               const state::UiHooks &ui, bool &table_found) {
    std::vector<int32_t> starts;
    dbase::Table table;
    table_found = table.open(files::resolve(table_path));
    const int first = table.field("FIRSTREC");
    if (!table_found || first < 0 || !table.select_tag("DRAWING")) {
        table_found = false;
        ui.message("Object table not found: " + table_path);
        return starts;
    }
    std::string key = text::trim_blanks(ref);
    key.resize(kReferenceWidth, ' ');
    table.top();
    for (bool found = table.seek(key); found; found = table.seek_next())
        starts.push_back(table.read_long(first));
    return starts;
}

} // namespace

void Flash_DRW(DisplayContext &ctx, int32_t drnum, const std::string &ref, int32_t seekto) {
    DisplayOptions &o = ctx.options;
    if (drnum < 1 || drnum > ctx.drawings.count()) {
        ctx.ui.message("No drawing " + std::to_string(drnum) + " in this project");
        return;
    }
    const std::string drw = text::trim_blanks(ctx.drawings.entry(drnum).file_name);
    auto file = files::BinaryFile::open_existing(files::resolve(drw));
    if (!file.is_open()) {
        ctx.ui.message("Drawing not found " + drw);
        return;
    }
    // The flash is drawn in the map's own view, whatever was drawn since the last redraw.
    state::Set_Library_View(ctx.view);
    const bool filling = o.Polygon_Filling;
    const QImage before = ctx.dc.image().copy();
    if (seekto > 0) {
        flash_group(ctx, drnum, file, seekto, filling, before);
    } else {
        bool table_found = false;
        const std::vector<int32_t> starts =
            starts_of(files::with_extension3(drw, "dbf"), ref, ctx.ui, table_found);
        if (table_found && starts.empty())
            ctx.ui.message(text::trim_blanks(ref) + " not found in the object table");
        for (const int32_t start : starts)
            flash_group(ctx, drnum, file, start, filling, before);
        ctx.ui.events();
    }
    file.close();
    ctx.ui.pointer(ctx.cursor_style + 1);
    ctx.dc.set_rop2(gdi::Rop2::CopyPen);
    o.Forced_Colour = 0;
    if (ctx.view.Fine_Units != 0)
        ctx.view.Fine_Units = state::ReScale(ctx.view);
    o.Polygon_Filling = filling;
}

} // namespace drawing
