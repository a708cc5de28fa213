#include "project/load_data.h"

#include "platform/base/files.h"
#include "project/project_file.h"

namespace project {

bool Load_Project_Files(drawing::DisplayContext &ctx, const std::string &data_folder,
                        const std::function<void(const std::string &)> &load_raster) {
    const std::string project = files::join_path(data_folder, kProjectFileName);
    if (!files::exists(project))
        return false;
    ctx.drawings.clear();
    std::vector<std::string> refused;
    const std::vector<ProjectItem> items = read_project(project, &refused);
    for (const std::string &name : refused)
        ctx.ui.problem("Skipped, as it lies outside the project's folder: " + name);
    if (items.empty() && refused.empty())
        ctx.ui.problem("The project lists no drawings or rasters: " + project);
    for (const auto &item : items) {
        if (item.kind == ProjectItem::Raster) {
            if (load_raster)
                load_raster(item.path);
        } else {
            // A project beyond the table's size is refused there, with a message.
            drawing::Display_A_Drawing(ctx, item.path, 1);
        }
        ctx.ui.events();
    }
    return true;
}

} // namespace project
