// The map service over a session on the sample project: its pictures against the
// headless renderer's, the order of layers, transparency, the records under a pixel,
// the capabilities, the cache's tags and the answers to what cannot be drawn.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <filesystem>
#include <memory>
#include <string>

#include "serve/capabilities.h"
#include "serve/feature_info.h"
#include "serve/map_picture.h"
#include "serve/page.h"
#include "serve/page_data.h"
#include "serve/service.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace serve;

namespace {

const fs::path kSample = fs::path(TAVI_BUILD_DIR) / "share" / "tavi" / "data";

class MapService : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        session_ = new project::Session(64, 64, project::quiet_hooks(),
                                        (fs::path(TAVI_BUILD_DIR) / "bin").string() + "/");
        ASSERT_TRUE(session_->open(kSample.string()));
        ASSERT_TRUE(session_->plot_sites());
        service_ = new Service(*session_, "data");
    }
    static void TearDownTestSuite() {
        delete service_;
        delete session_;
    }

    static const ServiceLayers &layers() { return service_->layers(); }
    static int at(const char *name) {
        const int i = layers().find(name);
        EXPECT_GE(i, 0) << name;
        return i;
    }
    static MapRequest map(Box box, int w, int h, std::vector<int> layer_list) {
        MapRequest m;
        m.bbox = box;
        m.width = w;
        m.height = h;
        m.layers = std::move(layer_list);
        return m;
    }
    static QImage draw(const MapRequest &m) {
        return draw_map(*session_, layers(), m,
                        std::chrono::steady_clock::now() + std::chrono::minutes(1))
            .image;
    }
    static std::vector<int> every_layer() {
        std::vector<int> all;
        for (std::size_t i = 0; i < layers().layers.size(); ++i)
            all.push_back(static_cast<int>(i));
        return all;
    }
    static Response get(const std::string &query, const std::string &if_none_match = {}) {
        Request r;
        r.method = "GET";
        r.path = "/wms";
        r.host = "maps.example.org:8080";
        r.if_none_match = if_none_match;
        std::size_t start = 0;
        while (start <= query.size()) {
            std::size_t amp = query.find('&', start);
            if (amp == std::string::npos)
                amp = query.size();
            const std::string item = query.substr(start, amp - start);
            const auto eq = item.find('=');
            r.parameters.add(item.substr(0, eq),
                             eq == std::string::npos ? "" : item.substr(eq + 1));
            start = amp + 1;
        }
        return service_->answer(r);
    }
    static std::string header(const Response &r, const std::string &name) {
        for (const auto &[n, v] : r.headers)
            if (n == name)
                return v;
        return {};
    }

    static project::Session *session_;
    static Service *service_;
};

project::Session *MapService::session_ = nullptr;
Service *MapService::service_ = nullptr;

} // namespace

// Every layer in the project's order is the viewer's redraw: the same pixels as
// tavi-render with grid, scale bar and north point off, but for the frame the map window
// draws round its picture (the first row and the first and last columns), which the
// service leaves out so that tiles join.
TEST_F(MapService, GetMapIsTheRenderersPictureWithoutTheFrame) {
    struct View {
        Box box;
        int w, h;
    };
    for (const View v : {View{{492000, 365520, 500788, 374308}, 300, 300},
                         View{{495500, 369500, 497500, 371000}, 400, 300},
                         View{{496400, 370100, 496720, 370340}, 320, 240}}) {
        const QImage ours = draw(map(v.box, v.w, v.h, every_layer()));
        testing_support::TempFolder temp;
        const fs::path out = temp.path() / "render.png";
        const auto r = testing_support::run_program(
            "tavi-render", {"--data", QString::fromStdString(kSample.string()), "--out",
                            QString::fromStdString(out.string()), "--size",
                            QStringLiteral("%1x%2").arg(v.w).arg(v.h), "--view",
                            QStringLiteral("%1,%2,%3")
                                .arg(v.box.min_x * 100, 0, 'f', 0)
                                .arg(v.box.min_y * 100, 0, 'f', 0)
                                .arg((v.box.max_y - v.box.min_y) * 100, 0, 'f', 0),
                            "--grid", "0", "--scale-bar", "0", "--sites", "1"});
        ASSERT_EQ(r.code, 0) << r.err;
        const QImage theirs =
            QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(ours.size(), theirs.size());
        int differing = 0, frame_black = 0;
        for (int y = 0; y < v.h; ++y)
            for (int x = 0; x < v.w; ++x) {
                const bool frame = y == 0 || x == 0 || x == v.w - 1;
                if (frame) {
                    frame_black += ours.pixel(x, y) == qRgb(0, 0, 0);
                    continue;
                }
                differing += ours.pixel(x, y) != theirs.pixel(x, y);
            }
        EXPECT_EQ(differing, 0) << v.w << "x" << v.h;
        // No frame: the edges hold the map, not a black line.
        EXPECT_LT(frame_black, (v.w + v.h) / 4) << v.w << "x" << v.h;
    }
}

// Tiles side by side make the picture of their boxes together: no seam where they meet.
TEST_F(MapService, TilesJoin) {
    const Box whole{495000, 369000, 497048, 370024}; // 2 m a pixel
    const QImage big = draw(map(whole, 1024, 512, every_layer()));
    int differing = 0, edge_differing = 0, edge_pixels = 0;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 4; ++tx) {
            const Box b{whole.min_x + tx * 512.0, whole.max_y - (ty + 1) * 512.0,
                        whole.min_x + (tx + 1) * 512.0, whole.max_y - ty * 512.0};
            const QImage tile = draw(map(b, 256, 256, every_layer()));
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    const bool differs = tile.pixel(x, y) != big.pixel(tx * 256 + x, ty * 256 + y);
                    differing += differs;
                    if (x == 0 || y == 0 || x == 255 || y == 255) {
                        ++edge_pixels;
                        edge_differing += differs;
                    }
                }
        }
    // A line cut at a tile's edge is drawn from where it was cut, and may step a pixel
    // aside from the same line drawn whole; nothing else differs, and the edges no more
    // than the rest (a frame would differ all along them).
    EXPECT_LT(differing, 1024 * 512 / 50);
    EXPECT_LT(edge_differing, edge_pixels / 20);
}

// Layers are drawn in the order given: the later over the earlier.
TEST_F(MapService, LayersInTheOrderGiven) {
    const Box box{495500, 369500, 497500, 371000};
    const int a = at("roman_colonia"), b = at("high_medieval");
    const QImage only_a = draw(map(box, 400, 300, {a}));
    const QImage only_b = draw(map(box, 400, 300, {b}));
    const QImage a_then_b = draw(map(box, 400, 300, {a, b}));
    const QImage b_then_a = draw(map(box, 400, 300, {b, a}));
    const QRgb white = qRgb(255, 255, 255);
    int b_on_top = 0, a_on_top = 0, both = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            if (only_a.pixel(x, y) == white || only_b.pixel(x, y) == white ||
                only_a.pixel(x, y) == only_b.pixel(x, y))
                continue;
            ++both;
            b_on_top += a_then_b.pixel(x, y) == only_b.pixel(x, y);
            a_on_top += b_then_a.pixel(x, y) == only_a.pixel(x, y);
        }
    ASSERT_GT(both, 20) << "the two drawings should cross in this view";
    EXPECT_EQ(b_on_top, both);
    EXPECT_EQ(a_on_top, both);
}

// A transparent picture is clear where nothing is drawn and the opaque picture's colours
// where something is; a box of another shape than the picture is stretched to it.
TEST_F(MapService, TransparencyAndStretching) {
    const Box box{495500, 369500, 497500, 371000};
    MapRequest m = map(box, 400, 300, {at("prehistoric"), at("sites")});
    const QImage opaque = draw(m);
    m.transparent = true;
    const QImage clear = draw(m);
    ASSERT_TRUE(clear.hasAlphaChannel());
    int clear_pixels = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const QRgb c = clear.pixel(x, y);
            if (qAlpha(c) == 0) {
                ++clear_pixels;
                EXPECT_EQ(opaque.pixel(x, y), qRgb(255, 255, 255));
            } else {
                ASSERT_EQ(qAlpha(c), 255);
                EXPECT_EQ(c, opaque.pixel(x, y));
            }
        }
    EXPECT_GT(clear_pixels, 400 * 300 / 4);

    // The same box asked at twice the width: each column twice.
    const QImage wide = draw(map(box, 800, 300, {at("prehistoric"), at("sites")}));
    ASSERT_EQ(wide.width(), 800);
    for (int y = 0; y < 300; y += 7)
        for (int x = 0; x < 400; x += 3)
            ASSERT_EQ(wide.pixel(2 * x, y), opaque.pixel(x, y)) << x << "," << y;
}

// The records under a pixel are those of the sites whose symbol covers it, and a pixel
// beside every symbol has none; on a drawing, the planning search's polygons.
TEST_F(MapService, FeatureInfoUnderAPixel) {
    const state::PointStore &store = session_->state().points;
    ASSERT_GT(store.count(), 0);
    const int32_t ex = store.easting(store.count() / 2), ny = store.northing(store.count() / 2);
    // 1 m a pixel around the site: it is at pixel (100, 100) of a 201 x 201 picture.
    const Box box{ex / 100.0 - 100.5, ny / 100.0 - 100.5, ex / 100.0 + 100.5, ny / 100.0 + 100.5};
    FeatureInfoRequest f;
    f.map = map(box, 201, 201, {at("excavated_areas"), at("sites")});
    f.query_layers = {at("sites"), at("excavated_areas")};
    f.i = 100;
    f.j = 100;
    f.feature_count = 10;
    const FeatureInfo on = feature_info(*session_, layers(), f);
    ASSERT_EQ(on.layers.size(), 2u);
    ASSERT_FALSE(on.layers[0].features.empty());
    EXPECT_NEAR(on.x, ex / 100.0, 1.0);
    // The record's own fields: the bookkeeping of this process is not among them.
    for (const auto &[name, value] : on.layers[0].features[0].fields)
        EXPECT_NE(name, "DB source");

    f.i = 0;
    f.j = 0;
    const FeatureInfo off = feature_info(*session_, layers(), f);
    EXPECT_TRUE(off.layers[0].features.empty());

    // The formats: JSON parses back to the same records; HTML and XML escape the values.
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(write_json(on)));
    ASSERT_TRUE(json.isObject());
    EXPECT_EQ(json[QStringLiteral("layers")][0][QStringLiteral("features")].toArray().size(),
              static_cast<qsizetype>(on.layers[0].features.size()));
    FeatureInfo marked;
    marked.layers.push_back({"sites",
                             "Sites <i>",
                             {Feature{{{"Name", dao::Value("<script>alert(1)</script>&\x01")}}}}});
    const std::string html = write_html(marked);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;"), std::string::npos);
    QXmlStreamReader xml(QString::fromStdString(write_xml(marked)));
    while (!xml.atEnd())
        xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

TEST_F(MapService, CapabilitiesListEveryLayer) {
    const Response r = get("SERVICE=WMS&REQUEST=GetCapabilities");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.content_type, "text/xml");
    QXmlStreamReader xml(QString::fromStdString(r.body));
    QStringList names, titles;
    QString href;
    bool in_layer = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QStringLiteral("Layer"))
            in_layer = true;
        else if (in_layer && xml.name() == QStringLiteral("Name"))
            names << xml.readElementText();
        else if (in_layer && xml.name() == QStringLiteral("Title"))
            titles << xml.readElementText();
        else if (xml.name() == QStringLiteral("OnlineResource") && href.isEmpty())
            href =
                xml.attributes()
                    .value(QStringLiteral("http://www.w3.org/1999/xlink"), QStringLiteral("href"))
                    .toString();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(names.contains(QStringLiteral("prehistoric")));
    EXPECT_TRUE(names.contains(QStringLiteral("modern_streets")));
    EXPECT_TRUE(names.contains(QStringLiteral("sites")));
    EXPECT_TRUE(names.contains(QStringLiteral("background")));
    EXPECT_TRUE(titles.contains(QStringLiteral("Roman Military")));
    EXPECT_EQ(href, QStringLiteral("http://maps.example.org:8080/wms"));
    // Behind a proxy that took the client's HTTPS, the addresses say so; a Host header
    // that is no host name gives none of itself.
    Request behind;
    behind.path = "/wms";
    behind.host = "maps.example.org";
    behind.https = true;
    behind.parameters.add("REQUEST", "GetCapabilities");
    EXPECT_NE(service_->answer(behind).body.find("\"https://maps.example.org/wms\""),
              std::string::npos);
    behind.host = "a\"><x";
    EXPECT_NE(service_->answer(behind).body.find("\"https://localhost/wms\""), std::string::npos);
    // The box in degrees lies where the grid's box is: England.
    const Box g = geographic_box(layers().extent);
    EXPECT_GT(g.min_x, -6.0);
    EXPECT_LT(g.max_x, 2.0);
    EXPECT_GT(g.min_y, 50.0);
    EXPECT_LT(g.max_y, 56.0);
}

// The tag follows the request and the files; a client holding it is told "not modified"
// without a drawing; a map beyond the time allowed is given up with 503.
TEST_F(MapService, TagsNotModifiedAndGivingUp) {
    const std::string q = "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=prehistoric,sites&"
                          "STYLES=&CRS=EPSG:27700&BBOX=495500,369500,497500,371000&WIDTH=200&"
                          "HEIGHT=150&FORMAT=image/png";
    const Response first = get(q);
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.content_type, "image/png");
    const std::string tag = header(first, "ETag");
    ASSERT_FALSE(tag.empty());
    EXPECT_NE(header(first, "Cache-Control").find("max-age"), std::string::npos);
    EXPECT_EQ(get(q).body, first.body);
    const Response again = get(q, tag);
    EXPECT_EQ(again.status, 304);
    EXPECT_TRUE(again.body.empty());
    EXPECT_NE(header(get(q + "&TRANSPARENT=TRUE"), "ETag"), tag);
    const Response jpeg = get(q.substr(0, q.size() - 3) + "jpeg");
    EXPECT_EQ(jpeg.content_type, "image/jpeg");
    EXPECT_EQ(jpeg.body.substr(0, 2), "\xFF\xD8");

    Service hurried(*session_, "data", std::chrono::milliseconds(0));
    Request r;
    r.method = "GET";
    r.path = "/wms";
    for (const char *kv :
         {"SERVICE=WMS", "REQUEST=GetMap", "LAYERS=prehistoric", "CRS=EPSG:27700",
          "BBOX=492000,365520,500788,374308", "WIDTH=256", "HEIGHT=256", "FORMAT=image/png"}) {
        const std::string s = kv;
        r.parameters.add(s.substr(0, s.find('=')), s.substr(s.find('=') + 1));
    }
    const Response late = hurried.answer(r);
    EXPECT_EQ(late.status, 503);
    EXPECT_EQ(header(late, "Retry-After"), "2");
    EXPECT_NE(late.body.find("ServiceExceptionReport"), std::string::npos);

    const Response bad = get("SERVICE=WMS&REQUEST=GetMap&LAYERS=prehistoric&CRS=EPSG:4326");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.body.find("code=\"InvalidCRS\""), std::string::npos);
}

// Other services over the session take their paths beside /wms.
TEST_F(MapService, RoutesBesideTheMapService) {
    Request r;
    r.method = "GET";
    r.path = "/enquiry";
    EXPECT_EQ(service_->answer(r).status, 404);
    service_->route("/enquiry", [](const Request &) {
        Prepared p;
        p.job = Job{[] { return Service::plain(200, "enquired"); }};
        return p;
    });
    EXPECT_EQ(service_->answer(r).body, "enquired\n");
}

// The page's fixed list of files, each at its own path with its type; the policy on the
// page; tags; the layers it lists with their periods' colours; a typed place.
TEST_F(MapService, PageFilesLayersAndPlaces) {
    testing_support::TempFolder no_library;
    Service service(*session_, "data");
    const std::vector<std::string> missing =
        add_page(service, *session_, "data", no_library.folder());
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_NE(missing[0].find("libjs-leaflet"), std::string::npos);
    Service with_library(*session_, "data");
    EXPECT_TRUE(add_page(with_library, *session_, "data").empty()) << "libjs-leaflet installed?";

    const auto at = [](Service &s, const std::string &path, const std::string &query = {},
                       const std::string &tag = {}) {
        Request r;
        r.method = "GET";
        r.path = path;
        r.if_none_match = tag;
        if (!query.empty())
            r.parameters.add("reference", query);
        return s.answer(r);
    };
    struct Case {
        std::string path;
        int status;
        std::string type; // the start of it
    };
    const Case cases[] = {
        {"/", 200, "text/html"},
        {"/tavi.js", 200, "text/javascript"},
        {"/tavi.css", 200, "text/css"},
        {"/leaflet/leaflet.js", 200, "text/javascript"},
        {"/leaflet/leaflet.css", 200, "text/css"},
        {"/layers.json", 200, "application/json"},
        {"/leaflet/../../../etc/passwd", 404, "text/plain"},
        {"/leaflet/images/layers.png", 404, "text/plain"},
        {"/index.html", 404, "text/plain"},
        {"/tavi.js/", 404, "text/plain"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const Response r = at(with_library, c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.content_type.rfind(c.type, 0), 0u) << r.content_type;
        EXPECT_EQ(header(r, "Content-Security-Policy").empty(), c.path != "/");
        if (c.status == 200 && c.path != "/layers.json") {
            const std::string tag = header(r, "ETag");
            EXPECT_EQ(at(with_library, c.path, {}, tag).status, 304);
        }
    }
    // Without the library the page is still served, and says what is missing itself.
    EXPECT_EQ(at(service, "/").status, 200);
    EXPECT_EQ(at(service, "/leaflet/leaflet.js").status, 404);
    // Only the service's own scripts, and nothing inline.
    const std::string policy = header(at(with_library, "/"), "Content-Security-Policy");
    EXPECT_NE(policy.find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(policy.find("unsafe"), std::string::npos);
    EXPECT_EQ(at(with_library, "/").body.find("<script>"), std::string::npos);

    // Each period map by its period's name, with the colour it is drawn in.
    const QJsonObject project =
        QJsonDocument::fromJson(QByteArray::fromStdString(at(with_library, "/layers.json").body))
            .object();
    const QJsonArray list = project.value("layers").toArray();
    ASSERT_EQ(static_cast<std::size_t>(list.size()), layers().layers.size());
    int coloured = 0;
    for (const QJsonValue &v : list) {
        const QJsonObject l = v.toObject();
        const std::string name = l.value("name").toString().toStdString();
        const Layer &layer = layers().layers[static_cast<std::size_t>(layers().find(name))];
        EXPECT_EQ(l.value("title").toString().toStdString(), layer.title);
        if (layer.kind == Layer::Kind::Drawing && l.value("colour").isString()) {
            EXPECT_TRUE(QRegularExpression("^#[0-9a-f]{6}$")
                            .match(l.value("colour").toString())
                            .hasMatch());
            ++coloured;
        }
    }
    EXPECT_GE(coloured, 5);
    EXPECT_EQ(list.at(layers().find("roman_military")).toObject().value("title").toString(),
              "Roman Military");
    EXPECT_EQ(css_colour(0x0000FF), "#ff0000"); // red in the low byte
    EXPECT_EQ(css_colour(0x123456), "#563412");

    // Places typed as the desk reads them.
    struct Place {
        std::string text;
        int status;
        std::string reference;
    };
    const Place places[] = {
        {"SK 9660 7025", 200, "SK 96600 70250"},
        {"sk9660070255", 200, "SK 96600 70255"},
        {"496600 370255", 200, "SK 96600 70255"},
        {"496600.5, 370255", 200, "SK 96600 70255"},
        {"SK 966 7025", 404, ""},
        {"<script>", 404, ""},
        {"", 400, ""},
        {"800000 100", 404, ""},
    };
    for (const Place &p : places) {
        SCOPED_TRACE(p.text);
        const Response r = at(with_library, "/place", p.text);
        EXPECT_EQ(r.status, p.status);
        if (p.status == 200)
            EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.body))
                          .object()
                          .value("reference")
                          .toString()
                          .toStdString(),
                      p.reference);
        else
            EXPECT_EQ(r.content_type.rfind("text/plain", 0), 0u);
    }
}
