#include "serve/page.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "serve/entity_tag.h"
#include "serve/page_data.h"

#ifndef TAVI_LEAFLET_DIR
#define TAVI_LEAFLET_DIR "/usr/share/javascript/leaflet"
#endif

namespace serve {

namespace {

// The page's files change with the program: a browser asks again each time it shows
// the page (the tag answers "not modified" cheaply).
constexpr const char *kPageCache = "no-cache";

// The files of the map library the page loads, and what each is served as.
struct LibraryFile {
    const char *name;
    const char *content_type;
};
constexpr LibraryFile kLeafletFiles[] = {
    {"leaflet.js", "text/javascript; charset=utf-8"},
    {"leaflet.css", "text/css; charset=utf-8"},
};

bool read_whole(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

Response json_answer(std::string body, const char *cache) {
    Response r;
    r.content_type = "application/json";
    r.body = std::move(body);
    r.headers.emplace_back("Cache-Control", cache);
    return r;
}

} // namespace

std::string leaflet_folder() {
    return TAVI_LEAFLET_DIR;
}

Response file_answer(const PageFile &file, const Request &request) {
    const std::string tag = entity_tag(file.path + "\n" + file.body, {});
    Response r;
    r.headers.emplace_back("ETag", tag);
    r.headers.emplace_back("Cache-Control", kPageCache);
    if (tag_matches(request.if_none_match, tag)) {
        r.status = 304;
        return r;
    }
    r.content_type = file.content_type;
    r.body = file.body;
    if (file.content_type.rfind("text/html", 0) == 0) {
        r.headers.emplace_back("Content-Security-Policy", kPagePolicy);
        r.headers.emplace_back("Referrer-Policy", "no-referrer");
    }
    return r;
}

std::vector<std::string> add_page(Service &service, project::Session &session,
                                  const std::string &title, const std::string &leaflet) {
    std::vector<std::string> missing;
    std::vector<PageFile> files = own_page_files();
    for (const LibraryFile &f : kLeafletFiles) {
        PageFile file{std::string("/leaflet/") + f.name, f.content_type, {}};
        const std::string path = leaflet + "/" + f.name;
        if (!read_whole(path, file.body)) {
            missing.push_back("the page's map library is missing: " + path +
                              " (install libjs-leaflet)");
            continue;
        }
        files.push_back(std::move(file));
    }
    for (PageFile &f : files) {
        auto shared = std::make_shared<const PageFile>(std::move(f));
        service.route(shared->path, [shared](const Request &r) -> Prepared {
            return {file_answer(*shared, r), {}};
        });
    }

    // Worked out once: the layers are fixed while the worker runs.
    const std::string layers =
        layers_json(service.layers(), session.state(), session.drawing_cache(), title);
    service.route("/layers.json", [layers](const Request &) -> Prepared {
        return {json_answer(layers, "no-cache"), {}};
    });
    service.route("/place", [](const Request &r) -> Prepared {
        const std::string *text = r.parameters.find("reference");
        if (text == nullptr || text->empty())
            return {Service::plain(400, "Give the place as reference=TEXT"), {}};
        std::string found = place_json(*text);
        if (found.empty())
            return {Service::plain(404, "Not a place on the national grid: " + shown(*text)), {}};
        return {json_answer(std::move(found), "public, max-age=86400"), {}};
    });
    return missing;
}

} // namespace serve
