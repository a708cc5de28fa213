#include "serve/wms_request.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "serve/service_exception.h"

namespace serve {

namespace {

const std::string &required(const Parameters &p, const char *name) {
    const std::string *v = p.find(name);
    if (v == nullptr || v->empty())
        throw ServiceException(code::kMissingParameterValue,
                               std::string("Parameter ") + name + " is missing");
    return *v;
}

// The comma-separated items of a value; an empty value has none.
std::vector<std::string_view> items(std::string_view value) {
    std::vector<std::string_view> out;
    if (value.empty())
        return out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        out.push_back(value.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            return out;
        start = comma + 1;
    }
}

bool read_double(std::string_view s, double &v) {
    const char *end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, v);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(v);
}

bool read_int(std::string_view s, int &v) {
    const char *end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, v);
    return r.ec == std::errc() && r.ptr == end;
}

int whole_number(const Parameters &p, const char *name, int lo, int hi, const char *why = "") {
    const std::string &s = required(p, name);
    int v = 0;
    if (!read_int(s, v) || v < lo || v > hi)
        throw ServiceException(code::kInvalidParameterValue,
                               std::string(name) + " must be a whole number from " +
                                   std::to_string(lo) + " to " + std::to_string(hi) + why +
                                   ", not " + shown(s));
    return v;
}

void check_version(const Parameters &p, bool required_here) {
    const std::string *v = p.find("VERSION");
    if (v == nullptr || v->empty()) {
        if (required_here)
            required(p, "VERSION");
        return;
    }
    if (*v != "1.3.0")
        throw ServiceException(code::kInvalidParameterValue,
                               "Only WMS version 1.3.0 is served, not " + shown(*v));
}

std::vector<int> layer_list(const std::string &value, const ServiceLayers &layers,
                            const char *name) {
    const auto names = items(value);
    if (names.size() > kMaxLayers)
        throw ServiceException(code::kInvalidParameterValue,
                               std::string(name) + " names more than " +
                                   std::to_string(kMaxLayers) + " layers");
    std::vector<int> out;
    for (std::string_view n : names) {
        const int at = layers.find(n);
        if (at < 0)
            throw ServiceException(code::kLayerNotDefined, "No layer " + shown(n));
        out.push_back(at);
    }
    if (out.empty())
        throw ServiceException(code::kMissingParameterValue,
                               std::string("Parameter ") + name + " names no layer");
    return out;
}

Box bounding_box(const Parameters &p) {
    const std::string &s = required(p, "BBOX");
    const auto parts = items(s);
    double v[4] = {};
    bool ok = parts.size() == 4;
    for (std::size_t k = 0; ok && k < 4; ++k)
        ok = read_double(parts[k], v[k]) && std::abs(v[k]) <= kGridLimit;
    if (!ok)
        throw ServiceException(code::kInvalidParameterValue,
                               "BBOX must be four numbers MINX,MINY,MAXX,MAXY in metres on the "
                               "national grid, not " +
                                   shown(s));
    const Box b{v[0], v[1], v[2], v[3]};
    if (!(b.max_x > b.min_x) || !(b.max_y - b.min_y >= kSmallestHeight))
        throw ServiceException(code::kInvalidParameterValue,
                               "BBOX must have its maximum beyond its minimum each way (and be "
                               "a centimetre high at least), not " +
                                   shown(s));
    return b;
}

MapRequest map_request(const Parameters &p, const ServiceLayers &layers, bool image_format) {
    MapRequest m;
    m.layers = layer_list(required(p, "LAYERS"), layers, "LAYERS");
    // Only the default style: empty entries, or as many as there are layers.
    if (const std::string *styles = p.find("STYLES"); styles != nullptr)
        for (std::string_view s : items(*styles))
            if (!s.empty() && !same_text(s, "default"))
                throw ServiceException(code::kStyleNotDefined, "No style " + shown(s));

    const std::string *crs = p.find("CRS");
    if (crs == nullptr || crs->empty())
        required(p, "CRS");
    if (!same_text(*crs, kCrs))
        throw ServiceException(code::kInvalidCRS,
                               "Only " + std::string(kCrs) + " is served, not " + shown(*crs));
    m.bbox = bounding_box(p);
    m.width = whole_number(p, "WIDTH", 1, kMaxSide);
    m.height = whole_number(p, "HEIGHT", 1, kMaxSide);
    if (int64_t{m.width} * m.height > kMaxPixels)
        throw ServiceException(code::kInvalidParameterValue, "WIDTH x HEIGHT must be at most " +
                                                                 std::to_string(kMaxPixels) +
                                                                 " pixels");

    if (image_format || p.find("FORMAT") != nullptr) {
        const std::string &f = required(p, "FORMAT");
        if (same_text(f, "image/png"))
            m.format = ImageFormat::Png;
        else if (same_text(f, "image/jpeg"))
            m.format = ImageFormat::Jpeg;
        else if (image_format)
            throw ServiceException(code::kInvalidFormat,
                                   "FORMAT must be image/png or image/jpeg, not " + shown(f));
    }
    if (const std::string *t = p.find("TRANSPARENT"); t != nullptr && !t->empty()) {
        if (same_text(*t, "TRUE"))
            m.transparent = true;
        else if (!same_text(*t, "FALSE"))
            throw ServiceException(code::kInvalidParameterValue,
                                   "TRANSPARENT must be TRUE or FALSE, not " + shown(*t));
    }
    // A JPEG has no transparency: the background shows instead.
    if (m.format == ImageFormat::Jpeg)
        m.transparent = false;
    if (const std::string *bg = p.find("BGCOLOR"); bg != nullptr && !bg->empty()) {
        unsigned rgb = 0;
        const bool hex = bg->size() == 8 && (*bg)[0] == '0' && ((*bg)[1] == 'x' || (*bg)[1] == 'X');
        const char *end = bg->data() + bg->size();
        if (!hex || std::from_chars(bg->data() + 2, end, rgb, 16).ptr != end)
            throw ServiceException(code::kInvalidParameterValue,
                                   "BGCOLOR must be 0xRRGGBB, not " + shown(*bg));
        m.background = rgb;
    }
    return m;
}

FeatureInfoRequest feature_info_request(const Parameters &p, const ServiceLayers &layers) {
    FeatureInfoRequest f;
    f.map = map_request(p, layers, false);
    f.query_layers = layer_list(required(p, "QUERY_LAYERS"), layers, "QUERY_LAYERS");
    for (const int q : f.query_layers) {
        bool drawn = false;
        for (const int l : f.map.layers)
            drawn = drawn || l == q;
        if (!drawn)
            throw ServiceException(code::kLayerNotDefined,
                                   "Layer " +
                                       shown(layers.layers[static_cast<std::size_t>(q)].name) +
                                       " is queried but not among LAYERS");
        if (!layers.layers[static_cast<std::size_t>(q)].queryable())
            throw ServiceException(code::kLayerNotQueryable,
                                   "Layer " +
                                       shown(layers.layers[static_cast<std::size_t>(q)].name) +
                                       " cannot be queried");
    }
    const std::string &info = required(p, "INFO_FORMAT");
    if (same_text(info, "application/json"))
        f.info_format = InfoFormat::Json;
    else if (same_text(info, "text/html"))
        f.info_format = InfoFormat::Html;
    else if (same_text(info, "text/xml"))
        f.info_format = InfoFormat::Xml;
    else
        throw ServiceException(code::kInvalidFormat,
                               "INFO_FORMAT must be application/json, text/html or text/xml, "
                               "not " +
                                   shown(info));
    // The pixel: I and J (X and Y, as older clients send them, when these are missing).
    const char *ni = p.find("I") != nullptr ? "I" : (p.find("X") != nullptr ? "X" : "I");
    const char *nj = p.find("J") != nullptr ? "J" : (p.find("Y") != nullptr ? "Y" : "J");
    const std::string &si = required(p, ni);
    const std::string &sj = required(p, nj);
    if (!read_int(si, f.i) || !read_int(sj, f.j) || f.i < 0 || f.j < 0 || f.i >= f.map.width ||
        f.j >= f.map.height)
        throw ServiceException(code::kInvalidPoint,
                               "I and J must name a pixel of the picture, not " + shown(si) + ", " +
                                   shown(sj));
    if (p.find("FEATURE_COUNT") != nullptr)
        f.feature_count = whole_number(p, "FEATURE_COUNT", 1, kMaxFeatureCount);
    return f;
}

} // namespace

const char *mime_type(ImageFormat f) {
    return f == ImageFormat::Jpeg ? "image/jpeg" : "image/png";
}

const char *mime_type(InfoFormat f) {
    switch (f) {
    case InfoFormat::Json:
        return "application/json";
    case InfoFormat::Xml:
        return "text/xml";
    case InfoFormat::Html:
        break;
    }
    return "text/html; charset=utf-8";
}

WmsRequest parse_wms(const Parameters &p, const ServiceLayers &layers) {
    if (const std::string *service = p.find("SERVICE");
        service != nullptr && !service->empty() && !same_text(*service, "WMS"))
        throw ServiceException(code::kInvalidParameterValue,
                               "SERVICE must be WMS, not " + shown(*service));
    const std::string &request = required(p, "REQUEST");
    if (same_text(request, "GetCapabilities")) {
        // A client asking another version is answered with the one served.
        return CapabilitiesRequest{};
    }
    if (same_text(request, "GetMap")) {
        check_version(p, false);
        return map_request(p, layers, true);
    }
    if (same_text(request, "GetFeatureInfo")) {
        check_version(p, false);
        return feature_info_request(p, layers);
    }
    throw ServiceException(code::kOperationNotSupported,
                           "REQUEST must be GetCapabilities, GetMap or GetFeatureInfo, not " +
                               shown(request));
}

std::string canonical(const MapRequest &m) {
    std::string s = "L=";
    for (const int l : m.layers)
        s += std::to_string(l) + ",";
    char box[160];
    std::snprintf(box, sizeof box, ";B=%.17g,%.17g,%.17g,%.17g;S=%dx%d;F=%d;T=%d;C=%06x",
                  m.bbox.min_x, m.bbox.min_y, m.bbox.max_x, m.bbox.max_y, m.width, m.height,
                  static_cast<int>(m.format), m.transparent ? 1 : 0, m.background);
    return s + box;
}

} // namespace serve
