// Reading map-service requests: what a client sends becomes one checked request, and
// each kind of bad input is refused with the code a client expects, before anything is
// drawn. Also the parts of an answer that need no project: exception reports, tags and
// the encoding of pictures.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QXmlStreamReader>

#include <string>
#include <vector>

#include "serve/entity_tag.h"
#include "serve/image_encoding.h"
#include "serve/service_exception.h"
#include "serve/wms_request.h"

using namespace serve;

namespace {

ServiceLayers sample_layers() {
    ServiceLayers l;
    const auto add = [&l](Layer::Kind kind, const char *name, int drawing) {
        Layer layer;
        layer.kind = kind;
        layer.name = name;
        layer.title = name;
        layer.drawing = drawing;
        l.layers.push_back(layer);
    };
    add(Layer::Kind::Background, "background", 0);
    add(Layer::Kind::Drawing, "prehistoric", 1);
    add(Layer::Kind::Drawing, "roman_military", 2);
    add(Layer::Kind::Sites, "sites", 0);
    return l;
}

// A query string as a client writes it (already decoded), & between parameters.
Parameters query(const std::string &q) {
    Parameters p;
    std::size_t start = 0;
    while (start <= q.size()) {
        std::size_t amp = q.find('&', start);
        if (amp == std::string::npos)
            amp = q.size();
        const std::string item = q.substr(start, amp - start);
        const auto eq = item.find('=');
        p.add(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
        start = amp + 1;
    }
    return p;
}

const std::string kMap = "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&CRS=EPSG:27700&STYLES=&"
                         "FORMAT=image/png&";

} // namespace

TEST(WmsRequest, AGetMapIsReadWhole) {
    const WmsRequest r = parse_wms(
        query("service=wms&request=GetMap&layers=roman_military,sites,prehistoric&styles=,,&"
              "crs=epsg:27700&bbox=492000,365520,494000,367520&width=256&height=256&"
              "format=image/png&transparent=TRUE&bgcolor=0x102030"),
        sample_layers());
    const auto *m = std::get_if<MapRequest>(&r);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->layers, (std::vector<int>{2, 3, 1})); // in the order given
    EXPECT_DOUBLE_EQ(m->bbox.min_x, 492000);
    EXPECT_DOUBLE_EQ(m->bbox.max_y, 367520);
    EXPECT_EQ(m->width, 256);
    EXPECT_TRUE(m->transparent);
    EXPECT_EQ(m->background, 0x102030u);
}

TEST(WmsRequest, FeatureInfoAndCapabilities) {
    const WmsRequest f = parse_wms(
        query("SERVICE=WMS&VERSION=1.3.0&REQUEST=GetFeatureInfo&CRS=EPSG:27700&"
              "LAYERS=prehistoric,sites&QUERY_LAYERS=sites&BBOX=0,0,100,100&WIDTH=10&HEIGHT=20&"
              "INFO_FORMAT=application/json&I=9&J=19&FEATURE_COUNT=5"),
        sample_layers());
    const auto *fi = std::get_if<FeatureInfoRequest>(&f);
    ASSERT_NE(fi, nullptr);
    EXPECT_EQ(fi->query_layers, std::vector<int>{3});
    EXPECT_EQ(fi->i, 9);
    EXPECT_EQ(fi->j, 19);
    EXPECT_EQ(fi->feature_count, 5);
    EXPECT_EQ(fi->info_format, InfoFormat::Json);
    EXPECT_TRUE(std::holds_alternative<CapabilitiesRequest>(
        parse_wms(query("SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.1.1"), sample_layers())));
}

// Every kind of bad input, with the code it is refused with.
TEST(WmsRequest, BadInputIsRefusedWithItsCode) {
    const std::string ok_box = "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=10&HEIGHT=10";
    const std::string gfi = "SERVICE=WMS&REQUEST=GetFeatureInfo&CRS=EPSG:27700&"
                            "LAYERS=prehistoric,background,sites&BBOX=0,0,100,100&WIDTH=10&"
                            "HEIGHT=10&INFO_FORMAT=text/html&";
    const std::string long_layers(200 * 1024, 'a');
    std::string many_layers = "sites";
    for (std::size_t i = 0; i < kMaxLayers; ++i)
        many_layers += ",sites";
    struct Case {
        std::string query;
        const char *code;
    };
    const std::vector<Case> cases = {
        {"SERVICE=WMS", code::kMissingParameterValue},
        {"SERVICE=WFS&REQUEST=GetMap", code::kInvalidParameterValue},
        {"SERVICE=WMS&REQUEST=GetLegendGraphic", code::kOperationNotSupported},
        {"SERVICE=WMS&REQUEST=DescribeLayer", code::kOperationNotSupported},
        {kMap + "BBOX=0,0,100,100&WIDTH=10&HEIGHT=10", code::kMissingParameterValue},
        {kMap + "LAYERS=&BBOX=0,0,100,100&WIDTH=10&HEIGHT=10", code::kMissingParameterValue},
        {kMap + "LAYERS=nothing&BBOX=0,0,100,100&WIDTH=10&HEIGHT=10", code::kLayerNotDefined},
        {kMap + "LAYERS=../prehistoric&BBOX=0,0,100,100&WIDTH=10&HEIGHT=10",
         code::kLayerNotDefined},
        {kMap + "LAYERS=prehistoric,../../etc/passwd&BBOX=0,0,1,1&WIDTH=1&HEIGHT=1",
         code::kLayerNotDefined},
        {kMap + "LAYERS=Prehistoric&BBOX=0,0,100,100&WIDTH=10&HEIGHT=10", code::kLayerNotDefined},
        {kMap + "LAYERS=" + many_layers + "&BBOX=0,0,1,1&WIDTH=1&HEIGHT=1",
         code::kInvalidParameterValue},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=EPSG:4326&FORMAT=image/png&" + ok_box, code::kInvalidCRS},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=CRS:84&FORMAT=image/png&" + ok_box, code::kInvalidCRS},
        {"SERVICE=WMS&REQUEST=GetMap&FORMAT=image/png&" + ok_box, code::kMissingParameterValue},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=EPSG:27700&FORMAT=image/png&STYLES=fancy&" + ok_box,
         code::kStyleNotDefined},
        {kMap + "LAYERS=prehistoric&BBOX=nan,0,100,100&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=inf,0,100,100&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100&WIDTH=10&HEIGHT=10", code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100,5&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=100,0,0,100&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,0.001&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,1e300,100&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0x10,0,100,100&WIDTH=10&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=100000&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=0&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=-5&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=10.5&HEIGHT=10",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=4096&HEIGHT=4096",
         code::kInvalidParameterValue},
        {kMap + "LAYERS=prehistoric&BBOX=0,0,100,100&WIDTH=10", code::kMissingParameterValue},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=EPSG:27700&" + ok_box, code::kMissingParameterValue},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=EPSG:27700&FORMAT=image/gif&" + ok_box,
         code::kInvalidFormat},
        {kMap + ok_box + "&TRANSPARENT=yes", code::kInvalidParameterValue},
        {kMap + ok_box + "&BGCOLOR=red", code::kInvalidParameterValue},
        {"SERVICE=WMS&REQUEST=GetMap&CRS=EPSG:27700&FORMAT=image/png&VERSION=1.1.1&" + ok_box,
         code::kInvalidParameterValue},
        {gfi + "QUERY_LAYERS=background&I=1&J=1", code::kLayerNotQueryable},
        {gfi + "QUERY_LAYERS=roman_military&I=1&J=1", code::kLayerNotDefined},
        {gfi + "QUERY_LAYERS=sites&I=10&J=1", code::kInvalidPoint},
        {gfi + "QUERY_LAYERS=sites&I=-1&J=1", code::kInvalidPoint},
        {gfi + "QUERY_LAYERS=sites&I=a&J=1", code::kInvalidPoint},
        {gfi + "QUERY_LAYERS=sites&J=1", code::kMissingParameterValue},
        {gfi + "QUERY_LAYERS=sites&I=1&J=1&FEATURE_COUNT=0", code::kInvalidParameterValue},
        {"SERVICE=WMS&REQUEST=GetFeatureInfo&CRS=EPSG:27700&LAYERS=sites&QUERY_LAYERS=sites&"
         "BBOX=0,0,1,1&WIDTH=1&HEIGHT=1&INFO_FORMAT=application/pdf&I=0&J=0",
         code::kInvalidFormat},
    };
    for (const Case &c : cases) {
        try {
            Parameters p = query(c.query);
            parse_wms(p, sample_layers());
            ADD_FAILURE() << "accepted: " << c.query.substr(0, 200);
        } catch (const ServiceException &e) {
            EXPECT_EQ(e.code(), c.code) << c.query.substr(0, 200) << ": " << e.what();
            // The message repeats at most a short, printable part of what was sent.
            EXPECT_LT(std::string(e.what()).size(), 300u);
        }
    }
    // A value beyond any client's is refused as it is read, as are too many parameters.
    EXPECT_THROW(query(kMap + "LAYERS=" + long_layers), ServiceException);
    std::string many = "SERVICE=WMS";
    for (int i = 0; i < 100; ++i)
        many += "&P" + std::to_string(i) + "=1";
    EXPECT_THROW(query(many), ServiceException);
}

TEST(WmsRequest, ExceptionReportIsWellFormedXmlWithItsCode) {
    const std::string doc =
        exception_report(ServiceException(code::kInvalidCRS, "No <b>&\x01 here"));
    QXmlStreamReader xml(QString::fromStdString(doc));
    QString code, text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QStringLiteral("ServiceException")) {
            code = xml.attributes().value(QStringLiteral("code")).toString();
            text = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << "\n" << doc;
    EXPECT_EQ(code, QStringLiteral("InvalidCRS"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("No <b>&")));
}

TEST(EntityTag, IfNoneMatchLists) {
    const std::string tag = "\"abc\"";
    EXPECT_TRUE(tag_matches("\"abc\"", tag));
    EXPECT_TRUE(tag_matches("\"x\", W/\"abc\"", tag));
    EXPECT_TRUE(tag_matches("*", tag));
    EXPECT_FALSE(tag_matches("", tag));
    EXPECT_FALSE(tag_matches("\"abcd\"", tag));
    EXPECT_FALSE(tag_matches("abc", tag));
    // The request and the files' state both make the tag.
    EXPECT_EQ(entity_tag("a", {"/nonexistent"}), entity_tag("a", {"/nonexistent"}));
    EXPECT_NE(entity_tag("a", {}), entity_tag("b", {}));
}

// A picture comes back from its PNG as it went in, paletted (at the depth its colours
// need) when it has few colours, with its clear pixels clear; true colour otherwise.
TEST(ImageEncoding, PngKeepsEveryPixel) {
    struct Case {
        int colours;
        bool alpha;
        int depth; // bits a pixel the file should use
    };
    for (const Case c :
         {Case{2, false, 1}, Case{3, false, 2}, Case{16, false, 4}, Case{200, false, 8},
          Case{256, true, 8}, Case{1000, false, 24}, Case{1000, true, 32}}) {
        QImage image(61, 37, c.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int k = (x * 7 + y * 13) % c.colours;
                const int a = c.alpha ? (k % 5 == 0 ? 0 : 255) : 255;
                image.setPixel(x, y, a == 0 ? 0 : qRgba(k & 0xFF, (k * 3) & 0xFF, k >> 8, a));
            }
        const std::string png = encode_png(image);
        ASSERT_FALSE(png.empty());
        QByteArray bytes(png.data(), static_cast<qsizetype>(png.size()));
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "png");
        QImage back = reader.read();
        ASSERT_FALSE(back.isNull()) << reader.errorString().toStdString();
        // The header's bit depth and colour type: a palette below 24 bits a pixel.
        const auto depth = static_cast<unsigned char>(png[24]);
        const auto type = static_cast<unsigned char>(png[25]);
        if (c.depth <= 8) {
            EXPECT_EQ(type, 3) << c.colours << " colours";
            EXPECT_EQ(depth, c.depth) << c.colours << " colours";
        } else {
            EXPECT_EQ(type, c.alpha ? 6 : 2);
        }
        back = back.convertToFormat(image.format());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(back.pixel(x, y), image.pixel(x, y))
                    << c.colours << " colours at " << x << "," << y;
    }
}
