// The site list as a point layer: every record of the site table that has a position,
// with every field of the table.
//
// A record's position comes from its grid reference when it has one (the two letters
// name the 100 km square, the coordinate fields give metres within it) and from its
// coordinate fields alone when the reference is blank. Coordinates held as double
// precision numbers are metres; whole numbers are world units already.
#pragma once

#include <gdal.h>
#include <ogr_api.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "state/drawing_table.h"
#include "tools/convert/progress.h"

namespace convert {

inline constexpr const char *kSiteTable = "TAVIsitelist";
inline constexpr const char *kSiteLayer = "sites"; // unless a drawing has that name

// Which fields of the site table hold the position, found by name as the viewer finds
// them (the last of several matching names wins); -1 for none.
struct SiteColumns {
    int east = -1, north = -1, grid_ref = -1;
    bool metres = false; // the easting is a double: metres, not world units
};
SiteColumns find_site_columns(const std::vector<dao::FieldInfo> &fields);

// A record's position in world units, or none when it lacks a coordinate.
struct WorldPoint {
    int32_t x = 0, y = 0;
};
std::optional<WorldPoint> site_position(const std::vector<dao::Value> &row, const SiteColumns &c);

// The site database of a project: the data file (or a server's URI, as it stands) that
// the linked data of the project's first drawing names. Throws ConvertError when there
// is none.
std::filesystem::path site_database_of(const state::DrawingEntry &first_drawing);

struct SiteExport {
    int64_t written = 0;
    int64_t unplaced = 0; // records without coordinates
};

// Rows of the site table (for the progress total).
int64_t count_sites(const std::filesystem::path &database);

// Writes the layer of that name into ds in one transaction.
SiteExport write_sites(GDALDatasetH ds, const std::string &name,
                       const std::filesystem::path &database, OGRSpatialReferenceH srs,
                       Progress &progress);

} // namespace convert
