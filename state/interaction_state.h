// The map window's tool and interaction state.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace state {

// The map tools, by the codes the system has always given them. A code that names none
// of them is no tool: a press over the map starts nothing.
enum class ToolCode : int32_t {
    None = 0,
    PointData = 3,      // the site list within the buffer of a point
    PolygonStart = 6,   // a site-list polygon before its first vertex
    Polygon = 7,        // a site-list polygon being drawn
    PolylineStart = 8,  // a site-list polyline before its first vertex
    Polyline = 15,      // a site-list polyline being drawn
    Planning = 110,     // the drawn objects at a point
    EnquiryStart = 120, // the enquiry, before its shape's first vertex
    Enquiry = 121,      // the enquiry's shape being drawn
};

// What the enquiry tool digitises: a boundary (polygon), a route (polyline) or a point.
enum class EnquiryShapeKind : int32_t { Boundary = 0, Route = 1, Point = 2 };
// The enquiry's radius in metres until the panel sets another.
inline constexpr double kDefaultEnquiryRadius = 250.0;

// The tool's name and code, for messages and test failures.
std::ostream &operator<<(std::ostream &out, ToolCode tool);

struct InteractionState {
    ToolCode Tool_Code = ToolCode::None;
    int32_t Search_Shape = 0; // 1 polygon, 2 polyline
    EnquiryShapeKind Enquiry_Shape = EnquiryShapeKind::Boundary;
    double Enquiry_Radius = kDefaultEnquiryRadius; // metres, 0 to 5000
    bool Cursor_Fresh = false;  // the buffer circle has not been drawn since the tool was chosen
    int32_t Current_Height = 0; // hundredths of a metre under the pointer; 0 = none
    bool Scale_Bar_Dragging = false;
    bool Data_Loading = false; // the toolbar refuses work while the project loads
    int32_t Refresh_Mode = 1;  // 1: the timer may copy the picture to the screen
    int32_t Cursor_Style = 1;  // the idle pointer is Cursor_Style + 1
    std::string RAZ_Reference;
    int32_t Current_Colour = 0; // last colour picked in any colour dialog
    // The colour of plotted points, which the panel's swatch shows and alone sets: a
    // period's colour picked meanwhile does not slip into the next plot.
    int32_t Point_Colour = 0;
};

} // namespace state
