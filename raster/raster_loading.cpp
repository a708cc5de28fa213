#include "raster/raster_loading.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/surface/rasterlib.h"
#include "raster/raster_painting.h"
#include "raster/world_info.h"

namespace raster {

namespace {

const char *const kLzwMessage = "LZWCompressed  Tif/Gif files not currently Supported !";

// A raster the load passes over: the status text, and the user's list of problems.
void skipped(const RasterUi &ui, const std::string &text) {
    ui.hooks.message(text);
    ui.hooks.problem(text);
}

std::string table_full_message(const std::string &image) {
    return "Raster table full: " + image + " not loaded";
}

state::RasterEntry placed(const WorldInfo &w) {
    state::RasterEntry e;
    e.description = w.description;
    e.west = w.west;
    e.south = w.south;
    e.pixel_width = w.pixel_width;
    e.pixel_height = w.pixel_height;
    e.columns = w.columns;
    e.rows = w.rows;
    e.east = w.east;
    e.north = w.north;
    e.value_8 = w.value_8;
    e.lowest_height = w.lowest_height;
    e.highest_height = w.highest_height;
    e.value_11 = w.value_11;
    e.raster_class = w.raster_class;
    e.value_13 = w.value_13;
    e.value_14 = w.value_14;
    e.value_15 = w.value_15;
    e.height_kind = w.height_kind;
    return e;
}

// Reads the placement; says why there is none. A raster that cannot be placed is not
// entered, so nothing else ever meets an entry without a position.
std::optional<WorldInfo> placement(const std::string &path, const RasterUi &ui) {
    WorldInfoResult r = read_world_info(path);
    if (!r.info)
        skipped(ui, world_info_message(r.error, path));
    return r.info;
}

void load_list(state::RasterTable &table, const std::string &name, const state::ViewState &v,
               const RasterUi &ui) {
    const std::string folder = files::folder_of(name);
    if (!files::exists(name)) {
        skipped(ui, "Raster list missing: " + name);
        return;
    }
    for (const std::string &raw : text::read_fields_file(name, text::BlankLines::Skipped)) {
        const std::string item = text::trim_blanks(raw);
        if (item.empty())
            continue;
        const std::string image = folder + item;
        ui.hooks.message("Loading: " + image);
        const std::string world = files::with_extension3(image, "zwi");
        if (table.full()) {
            skipped(ui, table_full_message(image));
            continue;
        }
        auto bitmap = std::make_shared<rasterlib::Image>();
        const int code = bitmap->open(image);
        if (code < 1) {
            skipped(ui, code == rasterlib::kErrorLzwMissing
                            ? std::string(kLzwMessage)
                            : image + " failed to load! loaderror " + num::Str(code));
            continue;
        }
        const std::optional<WorldInfo> w = placement(world, ui);
        if (!w)
            continue;
        state::RasterEntry e = placed(*w);
        e.file_name = text::trim_blanks(image);
        // A list names only images, so their class comes from the images themselves.
        e.raster_class = static_cast<uint8_t>(std::clamp(bitmap->info().bits_per_pixel, 0, 255));
        e.layer_count = 0;
        e.display = 1;
        e.from_list = 1;
        e.bitmap = std::move(bitmap);
        Paint_A_Lead_Raster(table, table.add(std::move(e)), v, ui);
    }
    ui.hooks.message("Raster list loaded: " + name);
}

void load_single(state::RasterTable &table, const std::string &name, const state::ViewState &v,
                 const RasterUi &ui) {
    const std::string image = image_for_world_info(name);
    rasterlib::FileInfo info;
    const int info_code = rasterlib::file_info(image, info);
    if (info_code != rasterlib::kSuccess) {
        for (int k = 0; k < kOpenErrorRepeats; ++k) {
            ui.hooks.message("Image Open Error " + num::Str(info_code) + " Reading " + image);
            ui.sound();
        }
    }
    if (table.find(image) != 0) {
        ui.hooks.message("Raster " + image + " allready  loaded !!");
        return;
    }
    if (table.full()) {
        skipped(ui, table_full_message(image));
        return;
    }
    auto bitmap = std::make_shared<rasterlib::Image>();
    const int code = bitmap->open(image);
    if (code < 1) {
        skipped(ui, code == rasterlib::kErrorLzwMissing
                        ? std::string(kLzwMessage)
                        : image + " failed load error " + num::Str(code));
        return;
    }
    const std::optional<WorldInfo> w = placement(name, ui);
    if (!w)
        return;
    state::RasterEntry e = placed(*w);
    e.bitmap = std::move(bitmap);
    e.from_list = 0;
    e.file_name = text::trim_blanks(image);
    e.display = 1;
    Paint_A_Lead_Raster(table, table.add(std::move(e)), v, ui);
}

} // namespace

std::string image_for_world_info(const std::string &name) {
    for (const char *ext : {"tif", "cmp"}) {
        std::string image = files::with_extension3(name, ext);
        if (files::exists(image))
            return image;
    }
    return files::with_extension3(name, "jpg");
}

void Load_A_Lead_Raster(state::RasterTable &table, const std::string &name,
                        const state::ViewState &v, const RasterUi &ui) {
    if (text::upper(name).find(".RLS") != std::string::npos)
        load_list(table, name, v, ui);
    else
        load_single(table, name, v, ui);
    ui.hooks.pointer(ui.cursor_style + 1);
}

} // namespace raster
