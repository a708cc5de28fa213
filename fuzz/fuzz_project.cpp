// The project list "tavi.zpj" as the loader reads it, with the check that keeps its
// names inside the project's folder. Seeds: the sample project's list.
#include "fuzz_support.h"
#include "platform/base/files.h"
#include "project/project_file.h"

TAVI_FUZZ_INPUT(fuzz_project) {
    const std::string project = fuzzing::put("tavi.zpj", fuzzing::bytes(data, size));
    std::vector<std::string> refused;
    for (const project::ProjectItem &item : project::read_project(project, &refused))
        if (!files::stays_inside(item.path.substr(project.size() - 8)))
            __builtin_trap(); // a name that leaves the folder was let through
    return 0;
}
