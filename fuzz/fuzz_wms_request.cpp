// The map service's reading of a request: the input is a query string as a client
// sends it, decoded into parameters (bounded as the server bounds them) and read against
// a fixed list of layers. Whatever comes gives a checked request or one ServiceException,
// never a crash; a request let through is within every bound. Seeds: the requests of the
// tests and of real clients.
#include <cmath>

#include "fuzz_support.h"
#include "serve/service_exception.h"
#include "serve/wms_request.h"

namespace {

const serve::ServiceLayers &layers() {
    static const serve::ServiceLayers l = [] {
        serve::ServiceLayers s;
        const auto add = [&s](serve::Layer::Kind kind, const char *name, int drawing) {
            serve::Layer layer;
            layer.kind = kind;
            layer.name = name;
            layer.drawing = drawing;
            s.layers.push_back(layer);
        };
        add(serve::Layer::Kind::Background, "background", 0);
        add(serve::Layer::Kind::Drawing, "prehistoric", 1);
        add(serve::Layer::Kind::Drawing, "roman_military", 2);
        add(serve::Layer::Kind::Sites, "sites", 0);
        return s;
    }();
    return l;
}

void check(const serve::MapRequest &m) {
    if (m.layers.empty() || m.layers.size() > serve::kMaxLayers || m.width < 1 || m.height < 1 ||
        m.width > serve::kMaxSide || m.height > serve::kMaxSide ||
        int64_t{m.width} * m.height > serve::kMaxPixels || !std::isfinite(m.bbox.min_x) ||
        !std::isfinite(m.bbox.max_y) || !(m.bbox.max_x > m.bbox.min_x) ||
        !(m.bbox.max_y > m.bbox.min_y))
        __builtin_trap();
    for (const int l : m.layers)
        if (l < 0 || l >= static_cast<int>(layers().layers.size()))
            __builtin_trap();
}

} // namespace

TAVI_FUZZ_INPUT(fuzz_wms_request) {
    const std::string text(fuzzing::bytes(data, size));
    try {
        serve::Parameters p;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t amp = text.find('&', start);
            if (amp == std::string::npos)
                amp = text.size();
            const std::string item = text.substr(start, amp - start);
            const auto eq = item.find('=');
            p.add(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
            start = amp + 1;
        }
        const serve::WmsRequest r = serve::parse_wms(p, layers());
        if (const auto *m = std::get_if<serve::MapRequest>(&r))
            check(*m);
        if (const auto *f = std::get_if<serve::FeatureInfoRequest>(&r)) {
            check(f->map);
            if (f->i < 0 || f->j < 0 || f->i >= f->map.width || f->j >= f->map.height ||
                f->query_layers.empty())
                __builtin_trap();
        }
    } catch (const serve::ServiceException &) {
        // What a bad request must give.
    }
    return 0;
}
