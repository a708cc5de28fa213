// The enquiry as a report and as tables: the sites found with their distances, the drawn
// features within the area, and the search report a planning officer is sent (the search
// line, a map of the area with the sites ringed and numbered and the features outlined,
// then both tables).
#pragma once

#include <QDateTime>

#include <filesystem>
#include <string>

#include "interrogation/enquiry.h"
#include "interrogation/search_report.h"
#include "platform/exports/grid_sheet.h"
#include "platform/reports/pdf_document.h"
#include "project/session.h"

namespace interrogation {

// The heading of the drawn features' table.
inline constexpr const char *kFeaturesHeading = "Drawn features within the area";

// The sites found with the distance from the shape in metres as their last column
// ("Distance_m", to the centimetre): the rows the results window shows and exports.
SiteRows enquiry_rows(const EnquiryResult &result);

// The same as the results window's sheet (result_sheet: the internal columns first, then
// the record's fields, then the distance), headed as the exports head it.
grid::Sheet enquiry_sites_sheet(const state::PointStore &store, const EnquiryResult &result);

// The drawn features found: "Drawing", "Reference" and "Kind", a row per feature.
grid::Sheet enquiry_features_sheet(const EnquiryResult &result);

// What the report says was searched and draws: the search line, the shape's parts and
// the search area.
SearchDescription enquiry_description(const EnquiryResult &result);
// The outlines of every feature found, in the features table's order.
std::vector<Shape> enquiry_outlines(const EnquiryResult &result);

// The enquiry's report written to path, whole or not at all, its map drawn through the
// session (which must hold the project searched, its site list plotted as searched).
// The title defaults to enquiry_title(); made to now.
reports::Written write_enquiry_report(project::Session &session, const EnquiryResult &result,
                                      const std::string &title, const std::filesystem::path &path,
                                      const QDateTime &made = {},
                                      const reports::Progress &progress = {});

} // namespace interrogation
