#include "project/project_list.h"

#include <fstream>
#include <optional>
#include <string>

#include "platform/base/files.h"
#include "project/load_data.h"
#include "project/project_file.h"

namespace project {

namespace fs = std::filesystem;

std::string project_entry(const std::string &name) {
    const auto refuse = [&](const std::string &why) {
        throw ProjectListError("the drawing name '" + name + "' cannot be listed in " +
                               std::string(kProjectFileName) + ": it " + why);
    };
    if (name.find('"') != std::string::npos)
        refuse("holds a quote");
    if (name.find('\\') != std::string::npos)
        refuse("holds a backslash, which the project reads as a folder separator");
    if (name.find_first_of("\r\n") != std::string::npos)
        refuse("holds a line break");
    if (!name.empty() &&
        (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' || name.back() == '\t'))
        refuse("begins or ends with a blank");
    return name.find(',') != std::string::npos ? '"' + name + '"' : name;
}

ProjectAddition add_to_project(const fs::path &drw) {
    ProjectAddition r;
    const std::string entry = project_entry(drw.filename().string());
    const fs::path folder = drw.parent_path().empty() ? fs::path(".") : drw.parent_path();
    // A project written elsewhere may spell the name in capitals.
    r.project = files::resolve((folder / kProjectFileName).string());
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(drw, ec);

    std::string content;
    if (fs::exists(r.project, ec)) {
        // Not a pipe nor a device, and of a project's size: anything else is not added to.
        std::optional<std::string> text = files::read_text_file(r.project);
        if (!text)
            throw ProjectListError("cannot read the project " + r.project.string());
        content = std::move(*text);
        for (const ProjectItem &item : read_project(r.project.string())) {
            if (item.kind != ProjectItem::Drawing)
                continue;
            ++r.drawings;
            std::error_code e2;
            if (fs::equivalent(files::resolve(item.path), target, e2))
                r.already_listed = true;
        }
    } else {
        r.created = true;
    }
    if (r.already_listed)
        return r;

    // The file's own line ends: those the viewer's sample writes unless it uses others.
    const bool lf_only =
        content.find('\n') != std::string::npos && content.find("\r\n") == std::string::npos;
    const std::string eol = lf_only ? "\n" : "\r\n";
    std::string line;
    if (!content.empty() && content.back() != '\n')
        line += eol; // the last line keeps its text; it only gets its end
    line += entry + eol;
    std::ofstream out(r.project, std::ios::binary | std::ios::app);
    out << line;
    out.close();
    if (!out)
        throw ProjectListError("cannot add the drawing to " + r.project.string());
    ++r.drawings;
    return r;
}

} // namespace project
