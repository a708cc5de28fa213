// Listing a new drawing in the project file "tavi.zpj" of its folder: one line added at
// the end, nothing else in the file touched.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace project {

// Why a drawing could not be listed, as a sentence for the user.
class ProjectListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ProjectAddition {
    std::filesystem::path project;
    bool created = false;        // there was no project file: it now lists this drawing
    bool already_listed = false; // nothing was added
    int drawings = 0;            // drawings the project lists now
};

// The line that lists a drawing's file name in a project so that the project reader gets
// the name back: the name itself, or quoted when it holds a comma (which would split it).
// Throws ProjectListError, naming the reason, for a name no line can give back: one holding a
// quote, a backslash (read as a folder separator) or a line break, or beginning or ending
// with a blank (dropped on reading).
std::string project_entry(const std::string &file_name);

// Throws ProjectListError when the project file cannot be written or the name cannot be
// listed (project_entry); then the project is left as it was.
ProjectAddition add_to_project(const std::filesystem::path &drw);

} // namespace project
