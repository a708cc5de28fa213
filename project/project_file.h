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
//
// A name may use ".." to step back out of a subfolder of the project's folder, but one
// that climbs above the project's folder ("..\\other\\roman.drw") is refused: the
// project describes its own folder, and a hand-edited or damaged list must not send the
// program to read elsewhere. Refused names are left out of the list and, when refused
// is given, added to it (as listed, joined to the folder).
std::vector<ProjectItem> read_project(const std::string &project_path,
                                      std::vector<std::string> *refused = nullptr);

} // namespace project
