// The sample project's site database: an SQLite file with the three tables a site
// database holds, laid out as the users' Access files are, so that the viewer's lookups,
// plots and searches run on it as on theirs:
//   TAVIsitelist  RENO, SITE NAME, site, LOCATION, NGS, xcoord, ycoord, LEVEL,
//                 DESCRIPTION, Date Recorded          index RENO on RENO
//   RAZ Text      ID, Reference, Period No, Name, Text, Boundaries, FROMDRAW, Area
//                                                     index RAZREF on Reference
//   Era details   Era No, Title, earliest date, latest date
//                                                     index ERANO on Era No
// xcoord and ycoord are metres within the 100 km square, NGS the grid reference.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sample {

// A recorded site that lies on an excavated area of the drawings: its number (from its
// "RE" code) and the centre of the area, in world units.
struct SiteOnMap {
    int32_t reno = 0;
    double x = 0.0, y = 0.0;
};

// A text reference the period drawings use ("7.12"), with the era it belongs to.
struct TextReference {
    std::string reference;
    int era = 0;
};

struct SiteDatabasePlan {
    std::vector<SiteOnMap> excavated;      // every one but those in `unrecorded` is listed
    std::vector<int32_t> unrecorded;       // site numbers on the map the list lacks
    std::vector<TextReference> references; // rows of the RAZ text table
    int32_t sites = 300;                   // rows of the site list in all
    // The area the other sites are scattered over, in world units.
    double west = 0.0, south = 0.0, east = 0.0, north = 0.0;
};

// Writes the database (replacing any file of that name). Empty on success, else why not.
std::string write_site_database(const std::filesystem::path &file, const SiteDatabasePlan &plan);

} // namespace sample
