#include "project/project_file.h"

#include "platform/base/files.h"
#include "platform/base/text.h"

namespace project {

std::vector<ProjectItem> read_project(const std::string &project_path,
                                      std::vector<std::string> *refused) {
    const std::string project = text::trim_blanks(project_path);
    const std::string folder = files::folder_of(project);
    std::vector<ProjectItem> items;
    for (const std::string &field : text::read_fields_file(project, text::BlankLines::AreFields)) {
        if (field.empty())
            continue;
        // Names are taken as listed, relative to the project: the folder text is joined
        // as it stands, the way the listed names were written against it.
        const std::string listed = text::trim_blanks(field);
        const std::string name = folder + listed;
        const std::string upper = text::upper(name);
        const bool raster = upper.find(".ZWI") != std::string::npos;
        const bool drawing = upper.find(".DRW") != std::string::npos;
        if ((raster || drawing) && !files::stays_inside(listed)) {
            if (refused != nullptr)
                refused->push_back(name);
            continue;
        }
        if (raster)
            items.push_back({ProjectItem::Raster, name});
        if (drawing)
            items.push_back({ProjectItem::Drawing, name});
    }
    return items;
}

} // namespace project
