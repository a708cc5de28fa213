// A world-information file and a raster list, loaded as the project loads a raster:
// the world file read and checked, each name of the list resolved and its world file
// read (no image is there to open: the images are GDAL's business, not ours).
//
// Input: the world file, then "\n#LIST#\n" and the raster list, which may name the
// world file "f.zwi". Seeds: the sample project's world files with a short list.
#include "fuzz_support.h"
#include "raster/raster_loading.h"
#include "raster/world_info.h"
#include "state/raster_table.h"
#include "state/view_state.h"

TAVI_FUZZ_INPUT(fuzz_raster) {
    std::string_view input = fuzzing::bytes(data, size);
    constexpr std::string_view kList = "\n#LIST#\n";
    const std::size_t at = input.find(kList);
    const std::string_view world = input.substr(0, at);
    const std::string_view list =
        at == std::string_view::npos ? std::string_view() : input.substr(at + kList.size());
    const std::string zwi = fuzzing::put("f.zwi", world);
    const std::string rls = fuzzing::put("f.rls", list);

    const raster::WorldInfoResult r = raster::read_world_info(zwi);
    if (r.info && (r.info->pixel_width <= 0 || r.info->columns <= 0 ||
                   r.info->description.size() > raster::kDescriptionLength))
        __builtin_trap(); // a placement that cannot be drawn was accepted
    raster::world_info_message(r.error, zwi);

    state::RasterTable table;
    state::ViewState view;
    raster::RasterUi ui;
    ui.pause = [](int) {};
    raster::Load_A_Lead_Raster(table, zwi, view, ui);
    raster::Load_A_Lead_Raster(table, rls, view, ui);
    return 0;
}
