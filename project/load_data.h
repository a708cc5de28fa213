// Loading the project: the files that "tavi.zpj" in the data folder lists, rasters
// through their world files and drawings registered in the drawing table. Nothing is
// drawn here: the first redraw draws what was loaded.
#pragma once

#include <functional>
#include <string>

#include "state/drawing_table.h"
#include "state/ui_hooks.h"

namespace project {

inline constexpr const char *kProjectFileName = "tavi.zpj";

// What the status bar says, before the drawing's name, of a drawing beyond the table.
inline constexpr const char *kNotLoaded = "Too Many Drawings, Not Loaded ";

// The project file of a data folder (which ends with a separator, or is empty).
std::string project_file_of(const std::string &data_folder);

// Adds the drawing drwfile to the table as a new, active entry: whether its index is
// there, its linked data (the description beside it, names resolved under data_folder
// and program_folder), and what is wrong with its files, which goes to the user's list
// of problems. A missing drawing keeps its entry, so that later drawings keep their
// numbers, but draws nothing; nothing is ever created in the data folder. Returns the
// entry's number, or 0 when the table is full (the status bar says so).
int register_drawing(state::DrawingTable &drawings, const std::string &drwfile,
                     const std::string &data_folder, const std::string &program_folder,
                     const state::UiHooks &ui);

// Reads the project file of data_folder and loads what it lists, in order: a raster
// world file through load_raster (may be empty), a drawing through register_drawing.
// The drawing table was emptied first. Returns false, loading nothing, when the project
// file does not exist: the program cannot go on without it.
bool Load_Project_Files(state::DrawingTable &drawings, const std::string &data_folder,
                        const std::string &program_folder, const state::UiHooks &ui,
                        const std::function<void(const std::string &)> &load_raster);

} // namespace project
