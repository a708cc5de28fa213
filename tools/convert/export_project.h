// The whole project out: every drawing listed in the project file as a layer named after
// it, and with `sites` the site list as the point layer "sites", in the national grid.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace convert {

struct ExportOptions {
    std::filesystem::path data; // the project's folder, holding tavi.zpj
    std::filesystem::path out;  // a file, a folder, a pipe, a device, or "-": standard output
    bool sites = false;
    std::FILE *progress = stderr;
    std::string format = {}; // an extension naming the format, whatever out's name says
};

struct ExportReport {
    struct Layer {
        std::string name;
        int64_t features = 0;
    };
    std::vector<Layer> layers;
    int64_t hidden = 0;                  // objects never shown, not converted
    int64_t unplaced = 0;                // site records without coordinates
    std::vector<std::string> damaged;    // drawings that end part way through an object
    std::vector<std::string> missing;    // drawings the project lists that are not there
    std::vector<std::string> not_loaded; // listed beyond the drawings the viewer loads
};

// Writes the output, replacing a file of that name only once it is complete (see
// Staging); a pipe, a device or standard output gets the finished file's bytes. Throws
// ConvertError when nothing could be written. Drawings that are listed but missing are
// reported, the rest converted.
ExportReport export_project(const ExportOptions &options);

} // namespace convert
