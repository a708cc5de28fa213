#include "project/project_file.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"
#include "platform/text.h"

namespace project {

std::vector<ProjectItem> read_project(const std::string &project_path) {
    const std::string project = text::trim_blanks(project_path);
    const std::string folder = files::folder_of(project);
    std::vector<ProjectItem> items;
    for (const std::string &field : text::read_fields_file(project, text::BlankLines::AreFields)) {
        if (field.empty())
            continue;
        // Names are taken as listed, relative to the project: the folder text is joined
        // as it stands, the way the listed names were written against it.
        const std::string name = folder + text::trim_blanks(field);
        const std::string upper = text::upper(name);
        if (upper.find(".ZWI") != std::string::npos)
            items.push_back({ProjectItem::Raster, name});
        if (upper.find(".DRW") != std::string::npos)
            items.push_back({ProjectItem::Drawing, name});
    }
    return items;
}

} // namespace project
