// A drawing, its index and its object table, drawn as the map window draws them (once
// through the index and once from end to end) and flashed as a result list flashes an
// object: by the unit its group starts at and by a reference through the object table.
//
// Input: one byte of choices, then the index, the object table and the drawing, each
// part but the last ending at the first "~#~" after it. Seeds: the sample project's
// drawings with their index and object table.
#include <QGuiApplication>

#include <string>

#include "drawing/display.h"
#include "drawing/flash.h"
#include "fuzz_support.h"
#include "project/load_data.h"
#include "project/session.h"
#include "view/transform.h"

namespace {

constexpr std::string_view kSeparator = "~#~";

std::string_view next_part(std::string_view &rest) {
    const std::size_t at = rest.find(kSeparator);
    if (at == std::string_view::npos) {
        const std::string_view all = rest;
        rest = {};
        return all;
    }
    const std::string_view part = rest.substr(0, at);
    rest.remove_prefix(at + kSeparator.size());
    return part;
}

} // namespace

TAVI_FUZZ_INIT(fuzz_drawing) {
#ifndef TAVI_FUZZ_REPLAY // the replaying test program has its own
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
#endif
    return 0;
}

TAVI_FUZZ_INPUT(fuzz_drawing) {
    if (size < 1)
        return 0;
    const uint8_t choices = data[0];
    std::string_view rest = fuzzing::bytes(data + 1, size - 1);
    const std::string_view zix = next_part(rest);
    const std::string_view dbf = next_part(rest);
    const std::string drw = fuzzing::put("f.drw", rest);
    fuzzing::put("f.zix", zix);
    fuzzing::put("f.dbf", dbf);

    project::Session session(200, 100);
    project::AppState &app = session.state();
    app.display.Flash_Pause = {};
    app.display.Polygon_Filling = (choices & 1) != 0;
    app.settings.Data_Folder = fuzzing::scratch().string() + "/";
    app.program_folder = "/nonexistent/";
    // The whole grid, or a street-sized view where most groups are clipped.
    state::ViewState &view = app.view;
    view.View_X_Min = (choices & 2) ? 50000000 : 0;
    view.View_Y_Min = (choices & 2) ? 30000000 : 0;
    view.View_Height_Units = (choices & 2) ? 100 : 100000000;
    view::Prepare_View(view, session.dc(), 200, 100);
    drawing::DisplayContext &ctx = session.display_context();

    const auto show = [&] {
        project::register_drawing(app.drawings, drw, app.settings.Data_Folder, app.program_folder,
                                  session.ui());
        drawing::Display_A_Drawing(ctx, drw);
    };
    show(); // through the index
    fuzzing::drop("f.zix");
    app.drawings.clear();
    show(); // end to end
    drawing::Flash_DRW(ctx, 1, "", 1 + choices / 4);
    drawing::Flash_DRW(ctx, 1, "ONE", 0);
    return 0;
}
