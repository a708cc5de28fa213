// The project list "tavi.zpj": the raster world files and drawings that make up the
// map, in the order they are loaded and numbered.
#pragma once

#include <string>
#include <vector>

namespace project {

struct ProjectItem {
    enum Kind { Raster, Drawing } kind;
    std::string path; // project folder and the listed name
};

// Every field of the project file that names a raster world file (".ZWI" anywhere in
// the upper-cased name) or a drawing (".DRW"), each made relative to the project's own
// folder, in file order. A name passing both tests is listed twice, raster first;
// other fields are ignored. Every listed drawing is returned: refusing those beyond
// the drawing table's capacity is the loader's business. A missing or unreadable file
// gives an empty list.
std::vector<ProjectItem> read_project(const std::string &project_path);

} // namespace project
