// The planning enquiry over HTTP, for the page and for any client: what is recorded within
// R metres of a boundary, a route or a point.
//   /enquiry?around=WKT&radius=M                  JSON: the numbered sites with their
//                                                 fields and distances, the drawn features,
//                                                 the shape and the search area in metres
//   /report.pdf?around=WKT&radius=M&title=TEXT    the report tavi-search --around --report
//                                                 writes
// Both take the same by POST as a form, where the shape may instead be a file (field
// "file": any vector file the enquiry reads), which the upload keeps in a private
// temporary folder for the request alone. A shape or radius the enquiry cannot use is
// refused at once (400) with the enquiry's one line.
#pragma once

#include <string>

#include "interrogation/enquiry.h"
#include "project/session.h"
#include "serve/service.h"

namespace serve {

// Longest report title taken.
inline constexpr std::size_t kMaxTitleLength = 200;

// What a request asks: the shape (from around= or the uploaded file) and the radius, and
// the report's title. Throws interrogation::EnquiryError when they cannot be used.
struct EnquiryAsked {
    interrogation::Enquiry enquiry;
    std::string title;
};
EnquiryAsked enquiry_asked(const Request &request);

// The answer to /enquiry: {"title", "line", "radius", "kind", "area_m2", "shape": [rings
// or lines of [x, y]], "area": [rings], "columns": [field names], "sites": [{"number",
// "x", "y", "distance", "values"}], "features": [{"drawing", "reference", "kind",
// "outlines"}], "note"}. Sites are numbered as the report numbers them.
std::string enquiry_json(const state::PointStore &store,
                         const interrogation::EnquiryResult &result);

// Adds /enquiry and /report.pdf over the session (its site list plotted).
void add_enquiry(Service &service, project::Session &session);

} // namespace serve
