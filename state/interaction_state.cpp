#include "state/interaction_state.h"

#include <ostream>

namespace state {

std::ostream &operator<<(std::ostream &out, ToolCode tool) {
    const char *name = "no tool";
    switch (tool) {
    case ToolCode::None:
        name = "None";
        break;
    case ToolCode::PointData:
        name = "PointData";
        break;
    case ToolCode::PolygonStart:
        name = "PolygonStart";
        break;
    case ToolCode::Polygon:
        name = "Polygon";
        break;
    case ToolCode::PolylineStart:
        name = "PolylineStart";
        break;
    case ToolCode::Polyline:
        name = "Polyline";
        break;
    case ToolCode::Planning:
        name = "Planning";
        break;
    case ToolCode::EnquiryStart:
        name = "EnquiryStart";
        break;
    case ToolCode::Enquiry:
        name = "Enquiry";
        break;
    }
    return out << name << " (" << static_cast<int32_t>(tool) << ')';
}

} // namespace state
