#include "shell/project_file.h"

#include <algorithm>
#include <cctype>

#include "shell/free_format.h"

namespace shell {

std::string folder_of(const std::string &path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string join_path(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + '/' + name;
}

std::vector<ProjectItem> read_project(const std::string &project_path) {
    const std::string project = trim_blanks(project_path);
    const std::string folder = folder_of(project);
    std::vector<ProjectItem> items;
    for (const std::string &field : read_free_format_file(project)) {
        if (field.empty())
            continue;
        // Names are taken as listed, relative to the project: the folder text is joined
        // as it stands, the way the listed names were written against it.
        const std::string name = folder + trim_blanks(field);
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (upper.find(".ZWI") != std::string::npos)
            items.push_back({ProjectItem::Raster, name});
        if (upper.find(".DRW") != std::string::npos)
            items.push_back({ProjectItem::Drawing, name});
    }
    return items;
}

} // namespace shell
