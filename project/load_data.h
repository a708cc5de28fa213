// Loading the project: the files that "tavi.zpj" in the data folder lists, rasters
// through their world files and drawings registered and drawn for the first time.
#pragma once

#include <functional>
#include <string>

#include "drawing/display.h"

namespace project {

inline constexpr const char *kProjectFileName = "tavi.zpj";

// Reads the project file of data_folder and loads what it lists, in order: a raster
// world file through load_raster (may be empty), a drawing through its registration,
// which draws it. The drawing table was emptied first. Returns false, loading nothing,
// when the project file does not exist: the program cannot go on without it.
bool Load_Project_Files(drawing::DisplayContext &ctx, const std::string &data_folder,
                        const std::function<void(const std::string &)> &load_raster);

} // namespace project
