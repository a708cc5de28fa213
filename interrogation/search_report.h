// The search report: the answer to an enquiry ("what is recorded within 100 m of this
// site?") as one PDF document. It says what the search was (the tool, each vertex or the
// point as a grid reference and in metres, the buffer, the number found), shows a map of
// the searched area drawn by the map window's own redraw with the search shape and its
// buffer, the finds ringed (sites) or outlined (drawn features) and numbered in the
// table's order, a grid with its labels, a scale bar and a north point, and then lists
// the rows on numbered pages.
//
// The results windows and tavi-search both write it from the same values, so the same
// search gives the same document from either (apart from the time it was made).
#pragma once

#include <QDateTime>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "interrogation/geometry.h"
#include "interrogation/planning_search.h"
#include "interrogation/site_search.h"
#include "platform/exports/grid_sheet.h"
#include "platform/reports/pdf_document.h"
#include "project/session.h"

namespace interrogation {

inline constexpr const char *kReportTitle = "TAVI search report";
// The line of the report that says when it was made; everything else in a report
// depends only on the search.
inline constexpr const char *kReportTimeLabel = "Made: ";

enum class SearchKind { Point, Polygon, Polyline, Planning, Enquiry };

struct SearchDescription {
    SearchDescription() = default;
    SearchDescription(SearchKind k, Shape v, double buffer)
        : kind(k), vertices(std::move(v)), search_buffer(buffer) {}

    SearchKind kind = SearchKind::Point;
    Shape vertices;             // the point, or the shape's vertices (a polygon's not repeated)
    double search_buffer = 0.0; // world units, a diameter
    // An enquiry: what was asked in words (see enquiry_line), the shape's parts and the
    // search area's rings (see enquiry_area), all in world units.
    std::string enquiry_line;
    std::vector<Shape> parts;
    std::vector<Shape> area;
};

struct SearchReport {
    std::string title = kReportTitle;
    QDateTime made;
    std::string project; // the data folder
    SearchDescription search;
    // The rows as the results window shows them: the header row and every column, in
    // the window's order and sort. Numeric columns are right-aligned.
    const grid::Sheet *table = nullptr;
    // For each row of the table (row 1 first), what the map marks with the row's number:
    // one vertex, a site's place, ringed; several, a feature's outline; none, nothing.
    std::vector<Shape> marks;
    // The drawn features found, listed in a second table under its heading, and outlined
    // on the map (none: no second table).
    std::string features_heading;
    const grid::Sheet *features = nullptr;
    std::vector<Shape> feature_outlines;
};

// The table as the report prints it: a number column ("No.", 1 to n, the numbers of the
// rings on the map) first, and without the columns that only say where a row came from
// (kDataRefHeader, kRecPosHeader, kSetHeader, kPointHeader). Each column keeps its type.
grid::Sheet printed_table(const grid::Sheet &table);

// The project as the report names it: its folder's name, not where it lies.
std::string project_name(const std::string &data_folder);

// The places of the sites the rows found, in the order of a table whose row r + 1 shows
// rows.rows[order[r]] (a negative entry marks nothing).
std::vector<Shape> site_marks(const state::PointStore &store, const SiteRows &rows,
                              const std::vector<int> &order);
// The outlines of the features found, in the order found.
std::vector<Shape> feature_marks(const PlanningHits &hits);

// The planning search's rows as its results window shows them: "Feature Class" and
// "Feature Name", a row per feature.
grid::Sheet planning_sheet(const PlanningHits &hits);

// The lines under the report's title: when it was made (kReportTimeLabel), the project,
// the search and its buffer, and how many records it found.
std::vector<std::string> report_lines(const SearchReport &report);

// The report written to path, whole or not at all, its map drawn through the session
// (which must hold the project searched). progress (see reports::Progress) follows the
// pages and may stop the writing.
reports::Written write_search_report(project::Session &session, const SearchReport &report,
                                     const std::filesystem::path &path,
                                     const reports::Progress &progress = {});

} // namespace interrogation
