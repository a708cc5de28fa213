// Where an export goes: the OGR driver chosen from the output's name, what that format
// can hold, and a staging place for the output, so that a failed or interrupted
// conversion never leaves a half-written file where the user expects a finished one.
#pragma once

#include <filesystem>
#include <string>

#include "platform/base/outputs.h"

namespace convert {

struct OutputFormat {
    std::string driver;         // OGR driver name
    bool folder = false;        // the output is a folder of files (one per layer)
    bool one_layer = false;     // the output holds a single layer
    bool mixed_geometry = true; // a layer may hold polygons, lines and points together
};

// The format for an output path: by its extension (.gpkg, .geojson, .dxf, .fgb, .shp and
// whatever else an OGR driver that creates vector data claims); a path without extension
// or an existing folder is a folder of Shapefiles. Throws ConvertError for an extension
// no driver writes.
OutputFormat choose_format(const std::filesystem::path &out);

// A temporary folder for the output while it is written. The output is first written to
// path(), with any companion files beside it; commit() puts them in place; otherwise the
// destructor removes it all.
//
// Where the output is a file (or nothing yet), the folder lies beside it, so that
// commit() renames each file over the old one of its name (a folder's files join the
// folder); a symbolic link is followed to the file it names, which is replaced, and the
// link stays. Where it is a named pipe, a device or standard output ("-"), the folder
// lies in the system's temporary folder and commit() copies the one finished file into
// it; such an output cannot take a folder of files, nor several files.
//
// The folder's name carries the host and the process that owns it. Ended by SIGINT,
// SIGTERM or SIGHUP, the program removes it before it goes; and every Staging first
// removes those of this host in its folder whose process is gone (one that was killed
// outright).
class Staging {
  public:
    // stream_extension names the staged file when the output is a pipe, a device or
    // standard output and so has no name of its own to stage under.
    Staging(const std::filesystem::path &final_path, bool folder,
            const std::string &stream_extension = {});
    ~Staging();
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    const std::filesystem::path &path() const { return staged_; }
    void commit();

    // Throws what went wrong while writing the staged output: the system's reason when
    // the disc is full (a writer's own words for it vary), what otherwise.
    [[noreturn]] void fail(const std::string &what) const;

    // The name a staging folder of this process starts with, in a folder.
    static std::string folder_prefix();

  private:
    void commit_to_stream();

    outputs::Target target_;
    std::filesystem::path named_; // the output as the user named it
    std::filesystem::path final_, dir_, staged_;
    bool folder_;
    int slot_ = -1; // where the folder is registered for the signal handler
};

// Removes the staging folders left in the folder by processes of this host that are gone;
// returns how many.
int remove_stale_staging(const std::filesystem::path &folder);

} // namespace convert
