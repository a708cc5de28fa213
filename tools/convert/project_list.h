// Listing a new drawing in the project file "tavi.zpj" of its folder: one line added at
// the end, nothing else in the file touched.
#pragma once

#include <filesystem>

namespace convert {

struct ProjectAddition {
    std::filesystem::path project;
    bool created = false;        // there was no project file: it now lists this drawing
    bool already_listed = false; // nothing was added
    int drawings = 0;            // drawings the project lists now
};

// Throws ConvertError when the project file cannot be written.
ProjectAddition add_to_project(const std::filesystem::path &drw);

} // namespace convert
