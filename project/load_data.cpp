#include "project/load_data.h"

#include <filesystem>

#include "drawing/drw_reader.h"
#include "drawing/linked_data.h"
#include "platform/base/files.h"
#include "project/project_file.h"

namespace project {

namespace {

// A damaged drawing or index is still drawn as far as it reads; the user is told.
void check_files(state::DrawingEntry &e, const std::string &zixfile, const state::UiHooks &ui) {
    const std::filesystem::path path = files::resolve(e.file_name);
    auto file = files::BinaryFile::open_existing(path);
    if (!file.is_open()) {
        // A folder, pipe or device under a drawing's name is never read: it could
        // block the program or never end.
        e.missing = true;
        ui.problem(files::kind_of(path) == files::Kind::Other
                       ? "Drawing skipped, not a regular file: " + e.file_name
                       : "Drawing not found: " + e.file_name);
        return;
    }
    if (file.size() % static_cast<int64_t>(drawing::kUnitBytes) != 0)
        ui.problem("Drawing damaged (it ends inside a unit): " + e.file_name);
    if (!e.has_index)
        return;
    // Whether its entries name the drawing's groups is checked where the index is read
    // for drawing (drawing/drawing_index.h), as often as either file changes.
    auto index = files::BinaryFile::open_existing(files::resolve(zixfile));
    if (index.size() % static_cast<int64_t>(drawing::kIndexRecordBytes) != 0)
        ui.problem("Drawing index damaged: " + zixfile);
}

} // namespace

std::string project_file_of(const std::string &data_folder) {
    return files::join_path(data_folder, kProjectFileName);
}

int register_drawing(state::DrawingTable &drawings, const std::string &drwfile,
                     const std::string &data_folder, const std::string &program_folder,
                     const state::UiHooks &ui) {
    if (drawings.full()) {
        ui.message(kNotLoaded + drwfile);
        return 0;
    }
    const std::string zixfile = files::with_extension3(drwfile, "zix");
    state::DrawingEntry e;
    e.active = true;
    e.file_name = drwfile;
    e.has_index = files::exists(zixfile);
    const int n = drawings.add(std::move(e));
    if (n == 0)
        return 0;
    drawing::read_linked_data(files::with_extension3(drwfile, "sup"), data_folder, program_folder,
                              drawings.entry(n));
    check_files(drawings.entry(n), zixfile, ui);
    return n;
}

bool Load_Project_Files(state::DrawingTable &drawings, const std::string &data_folder,
                        const std::string &program_folder, const state::UiHooks &ui,
                        const std::function<void(const std::string &)> &load_raster) {
    const std::string project = project_file_of(data_folder);
    if (!files::exists(project))
        return false;
    drawings.clear();
    std::vector<std::string> refused;
    const std::vector<ProjectItem> items = read_project(project, &refused);
    for (const std::string &name : refused)
        ui.problem("Skipped, as it lies outside the project's folder: " + name);
    if (items.empty() && refused.empty())
        ui.problem("The project lists no drawings or rasters: " + project);
    for (const auto &item : items) {
        if (item.kind == ProjectItem::Raster) {
            if (load_raster)
                load_raster(item.path);
        } else {
            // A project beyond the table's size is refused there, with a message.
            register_drawing(drawings, item.path, data_folder, program_folder, ui);
        }
        ui.events();
    }
    return true;
}

} // namespace project
