#include "serve/service.h"

#include <cstdio>

#include "platform/db/dao.h"
#include "serve/capabilities.h"
#include "serve/entity_tag.h"
#include "serve/feature_info.h"
#include "serve/image_encoding.h"
#include "serve/map_picture.h"
#include "serve/service_exception.h"

namespace serve {

namespace {

constexpr const char *kExceptionType = "text/xml";
// Maps change when their files do, which the tag follows: a cache may keep an answer
// for a few minutes and then ask again with the tag.
constexpr const char *kCacheControl = "public, max-age=300";

// A Host header fit to be written into an address: a name or address and a port.
bool plain_host(const std::string &host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == ':' || c == '[' || c == ']' || c == '_'))
            return false;
    return true;
}

} // namespace

Response Service::plain(int status, const std::string &text) {
    Response r;
    r.status = status;
    r.content_type = "text/plain; charset=utf-8";
    r.body = text + "\n";
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

Response Service::exception(int status, const std::string &code, const std::string &text) {
    Response r;
    r.status = status;
    r.content_type = kExceptionType;
    r.body = exception_report(ServiceException(code, text));
    r.headers.emplace_back("Cache-Control", "no-store");
    if (status == 503)
        r.headers.emplace_back("Retry-After", std::to_string(kRetryAfterSeconds));
    return r;
}

Service::Service(project::Session &session, std::string title,
                 std::chrono::milliseconds render_limit)
    : session_(session), title_(std::move(title)), render_limit_(render_limit),
      layers_(service_layers(session.state(), session.drawing_cache())) {
    routes_["/wms"] = [this](const Request &r) { return wms(r); };
    const int sites = layers_.find(kSitesLayer);
    if (sites >= 0)
        sites_tag_ = entity_tag(
            {}, layer_files(session_.state(), layers_.layers[static_cast<std::size_t>(sites)]));
}

void Service::route(const std::string &path, Handler handler, Posts posts) {
    routes_[path] = std::move(handler);
    if (posts == Posts::Yes)
        posting_.insert(path);
    else
        posting_.erase(path);
}

Prepared Service::prepare(const Request &request) {
    const auto it = routes_.find(request.path);
    if (it == routes_.end()) {
        if (request.path == "/")
            return {plain(200, "TAVI map service: " + title_ +
                                   "\nCapabilities: /wms?SERVICE=WMS&REQUEST=GetCapabilities"),
                    {}};
        return {plain(404, "Not found: " + shown(request.path)), {}};
    }
    return it->second(request);
}

Response Service::answer(const Request &request) {
    Prepared p = prepare(request);
    return p.answer ? std::move(*p.answer) : complete(*p.job);
}

Prepared Service::wms(const Request &request) {
    WmsRequest wms;
    try {
        wms = parse_wms(request.parameters, layers_);
    } catch (const ServiceException &e) {
        return {exception(400, e.code(), e.what()), {}};
    }
    if (std::holds_alternative<CapabilitiesRequest>(wms)) {
        const std::string url =
            (request.https ? "https://" : "http://") +
            (plain_host(request.host) ? request.host : std::string("localhost")) + "/wms";
        auto it = capabilities_.find(url);
        if (it == capabilities_.end()) {
            // Bounded: a client making up Host headers gets no more than a few kept.
            if (capabilities_.size() >= 16)
                capabilities_.clear();
            it = capabilities_.emplace(url, capabilities(layers_, url, title_)).first;
        }
        Response r;
        r.content_type = "text/xml";
        r.body = it->second;
        r.headers.emplace_back("Cache-Control", kCacheControl);
        return {std::move(r), {}};
    }
    if (const auto *m = std::get_if<MapRequest>(&wms)) {
        std::vector<std::string> drawn_from;
        for (const int l : m->layers) {
            const auto files =
                layer_files(session_.state(), layers_.layers[static_cast<std::size_t>(l)]);
            drawn_from.insert(drawn_from.end(), files.begin(), files.end());
        }
        const std::string tag =
            entity_tag(std::string(TAVI_VERSION) + ";" + canonical(*m), drawn_from);
        if (tag_matches(request.if_none_match, tag)) {
            Response r;
            r.status = 304;
            r.headers.emplace_back("ETag", tag);
            r.headers.emplace_back("Cache-Control", kCacheControl);
            return {std::move(r), {}};
        }
        return {{}, Job{[this, m = *m, tag] { return get_map(m, tag); }}};
    }
    const auto &f = std::get<FeatureInfoRequest>(wms);
    return {{}, Job{[this, f] { return get_feature_info(f); }}};
}

void Service::refresh_sites() {
    const int sites = layers_.find(kSitesLayer);
    if (sites < 0)
        return;
    const std::string now = entity_tag(
        {}, layer_files(session_.state(), layers_.layers[static_cast<std::size_t>(sites)]));
    if (now == sites_tag_)
        return;
    try {
        session_.plot_sites();
        sites_tag_ = now;
    } catch (const dao::Error &e) {
        std::fprintf(stderr, "tavi-serve: the site list cannot be read again: %s\n", e.what());
    }
}

Response Service::get_map(const MapRequest &m, const std::string &tag) {
    const Layer::Kind sites = Layer::Kind::Sites;
    for (const int l : m.layers)
        if (layers_.layers[static_cast<std::size_t>(l)].kind == sites)
            refresh_sites();
    const DrawnMap drawn =
        draw_map(session_, layers_, m, std::chrono::steady_clock::now() + render_limit_);
    if (drawn.stopped)
        return exception(503, {},
                         "The map took longer than " +
                             std::to_string(render_limit_.count() / 1000) +
                             " seconds to draw; ask for a smaller picture or fewer layers");
    Response r;
    r.content_type = mime_type(m.format);
    r.body = m.format == ImageFormat::Jpeg ? encode_jpeg(drawn.image) : encode_png(drawn.image);
    if (r.body.empty())
        return exception(500, {}, "The picture could not be encoded");
    r.headers.emplace_back("ETag", tag);
    r.headers.emplace_back("Cache-Control", kCacheControl);
    return r;
}

Response Service::get_feature_info(const FeatureInfoRequest &f) {
    for (const int l : f.query_layers)
        if (layers_.layers[static_cast<std::size_t>(l)].kind == Layer::Kind::Sites)
            refresh_sites();
    const FeatureInfo info = feature_info(session_, layers_, f);
    for (const std::string &u : info.unreadable)
        std::fprintf(stderr, "tavi-serve: %s\n", u.c_str());
    Response r;
    r.content_type = mime_type(f.info_format);
    r.body = write_feature_info(info, f.info_format);
    // The records may change without any file's identity showing it (a database server).
    r.headers.emplace_back("Cache-Control", "no-cache");
    return r;
}

} // namespace serve
