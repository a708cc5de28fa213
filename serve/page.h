// The page that shows the project in a browser, at /: one HTML page with its script and
// style sheet, the map library beside them, and the small answers the page asks for (the
// layers with their periods' names and colours, a typed grid reference read as a place).
//
// A fixed list of files, each at its own path: no part of a request names a file. The
// page's own files are compiled into the program; Leaflet's are read once, when the
// routes are added, from the folder Debian's libjs-leaflet installs them in. The page's
// Content-Security-Policy lets it run only scripts, styles and pictures of the service.
#pragma once

#include <string>
#include <vector>

#include "project/session.h"
#include "serve/service.h"

namespace serve {

struct PageFile {
    std::string path; // where it is served
    std::string content_type;
    std::string body;
};

// The page's own files (generated into the build from serve/page/).
const std::vector<PageFile> &own_page_files();

// Where the map library is read from unless told otherwise (the package's dependency).
std::string leaflet_folder();

// The policy the page is served with.
inline constexpr const char *kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

// Adds the page's routes to the service over the session it serves. Returns what is
// missing (the map library's files), for the log: the page then says the map cannot be
// shown, and everything else is served.
std::vector<std::string> add_page(Service &service, project::Session &session,
                                  const std::string &title,
                                  const std::string &leaflet = leaflet_folder());

// A file's answer: its body with a tag of its content, or "not modified".
Response file_answer(const PageFile &file, const Request &request);

} // namespace serve
