// The planning enquiry: what is recorded within R metres of a development's boundary, of a
// route or of a point. The shape comes drawn on the map, typed as WKT or read from any
// vector file GDAL reads, and is held in national-grid metres (EPSG:27700). The sites are
// those of the plotted site list whose true distance from the shape (nought inside a
// boundary) is at most R; the drawn features those polygons and lines of the active
// drawings that come within R of it. Geometry is GEOS's, reached through GDAL's OGR API:
// the shape is built, transformed and grown there, and the distances are measured by
// GEOS on the shape prepared once.
//
// Everything here is headless: the viewer's enquiry tool, tavi-search --around and the
// web service call the same functions. Bad input is refused with an EnquiryError whose
// text is one line a user can act on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "interrogation/geometry.h"
#include "interrogation/site_search.h"
#include "state/drawing_table.h"
#include "state/point_store.h"
#include "state/ui_hooks.h"

namespace interrogation {

// The radius an enquiry may ask for, in metres.
inline constexpr double kMaxEnquiryRadius = 5000.0;

// A shape or radius the enquiry cannot use; what() is one line for the user.
class EnquiryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class EnquiryKind { Point, Route, Boundary };

struct EnquiryShape {
    EnquiryKind kind = EnquiryKind::Point;
    // The shape as WKT in national-grid metres: what the searches measure from.
    std::string wkt;
    // Where it came from, as the search line names it: a file's name without its folder
    // ("boundary.shp"); empty for a shape drawn on the map or typed.
    std::string source;
    // Digitised on the map (the search line says "the drawn boundary").
    bool drawn = false;
    // The shape's parts in world units, for drawing: each point, each line, each ring of
    // a boundary (its outer rings and holes, each closed: the first vertex repeated).
    std::vector<Shape> parts;
    // A boundary's area in square metres (0 for a point or a route).
    double area_m2 = 0.0;
};

struct Enquiry {
    EnquiryShape shape;
    double radius_m = 0.0; // 0 to kMaxEnquiryRadius
};

// ---- shapes -----------------------------------------------------------------------------

// WKT in national-grid metres: POINT, LINESTRING, MULTILINESTRING, POLYGON or
// MULTIPOLYGON. Refused: text that does not parse, another type, an empty shape, a
// vertex off the national grid.
EnquiryShape shape_from_wkt(const std::string &wkt);

// Every polygon and line (multi-part ones too) of every layer of a vector file GDAL
// reads (GeoJSON, Shapefile, GeoPackage, KML, DXF, ...); a closed line is taken as the
// boundary it encloses, as a red line drawn in CAD is meant. A layer in another coordinate
// system is transformed to the national grid through OSR; one without any is taken as
// national grid when its coordinates are plausible there (see grid_plausible). Refused:
// a missing file, one GDAL cannot read, one without polygons or lines (empty, or points
// only), coordinates that cannot be transformed or are not plausible.
EnquiryShape shape_from_file(const std::filesystem::path &file);

// A shape digitised on the map, in world units: a point (one vertex), a route (two or
// more) or a boundary (three or more, given open). Refused: too few vertices.
EnquiryShape shape_from_vertices(EnquiryKind kind, const Shape &vertices);

// WKT when the text starts as WKT does (a geometry type's name), else a file's name.
EnquiryShape shape_from_text_or_file(const std::string &shape);

// Whether coordinates with no coordinate system may be national-grid metres: every
// vertex on the grid (0-700 km east, 0-1,300 km north) and the shape not huddled within
// 1 km of the grid's origin, where degrees of longitude and latitude and a drawing's
// local coordinates would lie.
bool grid_plausible(double x_min, double y_min, double x_max, double y_max);

// The radius in metres from text: a number from 0 to kMaxEnquiryRadius, else refused.
double enquiry_radius(const std::string &text);
// The same check on a number.
double checked_radius(double metres);

// ---- what is asked, in words -----------------------------------------------------------

// "boundary", "route" or "point".
std::string kind_word(EnquiryKind kind);
// The results window's title: "Sites within 250 m of boundary.shp", "Sites within 250 m
// of the drawn route", "Sites within 100 m of the point SK 97160 71050".
std::string enquiry_title(const Enquiry &e);
// The report's search line: "Within 250 m of the boundary in boundary.shp (1.2 ha)".
std::string enquiry_line(const Enquiry &e);
// A radius in metres as short as it reads: "250", "12.5".
std::string radius_text(double metres);

// ---- the searches -----------------------------------------------------------------------

struct EnquiryPoint {
    int32_t index = 0;       // in the point store
    double distance_m = 0.0; // from the shape; 0 inside a boundary
};

// The plotted points within the radius of the shape, in store order. Only the slice of
// the x-sorted store between the shape's extreme x (grown by R) is looked at, and only
// its points inside the grown box are measured.
std::vector<EnquiryPoint> enquiry_points(const state::PointStore &store, const Enquiry &e);

// A drawn feature within the area: a group of an active drawing with a polygon or line
// that comes within the radius of the shape.
struct EnquiryFeature {
    int32_t drawing = 0;         // the drawing entry, from 1
    std::string drawing_name;    // its period's name, else the file's name
    std::string reference;       // the group's name (a site code or a text reference)
    std::string kind;            // "polygon", "line", or "polygon and line"
    int32_t first_unit = 0;      // where the group starts in the drawing (unit from 1)
    std::vector<Shape> outlines; // its polygons (closed) and lines within the area, world units
};

// The features of the active drawings within the area, drawing by drawing, in index
// order within each. Only index groups whose box comes within R of the shape's box are
// read. A drawing whose files are missing is passed over.
std::vector<EnquiryFeature> enquiry_features(const state::DrawingTable &drawings, const Enquiry &e);

// The search area, the shape grown by the radius, as closed rings in world units (outer
// rings and holes; filled even-odd). A point or a route with radius 0 has no area: its
// parts come back as they are.
std::vector<Shape> enquiry_area(const Enquiry &e);

// What an enquiry found: the points, their records as the results window shows them
// (SiteRows: rows in site_rows' order, each row's store index in kPointColumn), and the
// features.
struct EnquiryResult {
    Enquiry enquiry;
    std::vector<EnquiryPoint> points; // store order
    SiteRows rows;
    std::vector<EnquiryFeature> features;

    // The distance of the point a row names (rows.rows[row]); 0 when unknown.
    double row_distance(std::size_t row) const;
};

// The enquiry over the plotted site list and the drawings: the points, their records
// (each point set's database opened once; unreadable ones said through ui) and the
// features.
EnquiryResult run_enquiry(const state::PointStore &store, const state::DrawingTable &drawings,
                          const Enquiry &e, const state::UiHooks &ui);

} // namespace interrogation
