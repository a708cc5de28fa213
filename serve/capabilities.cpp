#include "serve/capabilities.h"

#include <QRegularExpression>
#include <QString>
#include <QXmlStreamWriter>

#include <ogr_srs_api.h>

#include <algorithm>

#include "serve/wms_request.h"

namespace serve {

namespace {

const QString kWms = QStringLiteral("http://www.opengis.net/wms");
const QString kXlink = QStringLiteral("http://www.w3.org/1999/xlink");
const QString kXsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

QString number(double v) {
    return QString::number(v, 'f', 6).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

void online_resource(QXmlStreamWriter &xml, const QString &href) {
    xml.writeStartElement(kWms, QStringLiteral("OnlineResource"));
    xml.writeAttribute(kXlink, QStringLiteral("type"), QStringLiteral("simple"));
    xml.writeAttribute(kXlink, QStringLiteral("href"), href);
    xml.writeEndElement();
}

void operation(QXmlStreamWriter &xml, const char *name, std::initializer_list<const char *> formats,
               const QString &href) {
    xml.writeStartElement(kWms, QString::fromLatin1(name));
    for (const char *f : formats)
        xml.writeTextElement(kWms, QStringLiteral("Format"), QString::fromLatin1(f));
    xml.writeStartElement(kWms, QStringLiteral("DCPType"));
    xml.writeStartElement(kWms, QStringLiteral("HTTP"));
    xml.writeStartElement(kWms, QStringLiteral("Get"));
    online_resource(xml, href);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

void boxes(QXmlStreamWriter &xml, const Box &b) {
    const Box g = geographic_box(b);
    xml.writeStartElement(kWms, QStringLiteral("EX_GeographicBoundingBox"));
    xml.writeTextElement(kWms, QStringLiteral("westBoundLongitude"), number(g.min_x));
    xml.writeTextElement(kWms, QStringLiteral("eastBoundLongitude"), number(g.max_x));
    xml.writeTextElement(kWms, QStringLiteral("southBoundLatitude"), number(g.min_y));
    xml.writeTextElement(kWms, QStringLiteral("northBoundLatitude"), number(g.max_y));
    xml.writeEndElement();
    xml.writeStartElement(kWms, QStringLiteral("BoundingBox"));
    xml.writeAttribute(QStringLiteral("CRS"), QString::fromLatin1(kCrs));
    xml.writeAttribute(QStringLiteral("minx"), number(b.min_x));
    xml.writeAttribute(QStringLiteral("miny"), number(b.min_y));
    xml.writeAttribute(QStringLiteral("maxx"), number(b.max_x));
    xml.writeAttribute(QStringLiteral("maxy"), number(b.max_y));
    xml.writeEndElement();
}

} // namespace

Box geographic_box(const Box &grid) {
    OGRSpatialReferenceH from = OSRNewSpatialReference(nullptr);
    OGRSpatialReferenceH to = OSRNewSpatialReference(nullptr);
    Box out;
    OGRCoordinateTransformationH t = nullptr;
    if (OSRImportFromEPSG(from, 27700) == OGRERR_NONE &&
        OSRImportFromEPSG(to, 4326) == OGRERR_NONE) {
        OSRSetAxisMappingStrategy(from, OAMS_TRADITIONAL_GIS_ORDER);
        OSRSetAxisMappingStrategy(to, OAMS_TRADITIONAL_GIS_ORDER);
        t = OCTNewCoordinateTransformation(from, to);
    }
    if (t != nullptr) {
        // The edges' points, not the corners alone: a grid box's edges curve in degrees.
        constexpr int kSteps = 8;
        for (int i = 0; i <= kSteps; ++i) {
            const double f = double(i) / kSteps;
            double xs[4] = {grid.min_x + f * (grid.max_x - grid.min_x),
                            grid.min_x + f * (grid.max_x - grid.min_x), grid.min_x, grid.max_x};
            double ys[4] = {grid.min_y, grid.max_y, grid.min_y + f * (grid.max_y - grid.min_y),
                            grid.min_y + f * (grid.max_y - grid.min_y)};
            int ok[4] = {};
            if (OCTTransformEx(t, 4, xs, ys, nullptr, ok) == 0)
                continue;
            for (int k = 0; k < 4; ++k)
                if (ok[k] != 0)
                    out.add(Box{xs[k], ys[k], xs[k], ys[k]});
        }
        OCTDestroyCoordinateTransformation(t);
    }
    OSRDestroySpatialReference(from);
    OSRDestroySpatialReference(to);
    return out.max_x >= out.min_x ? out : grid;
}

std::string capabilities(const ServiceLayers &layers, const std::string &url,
                         const std::string &title) {
    const QString href = QString::fromStdString(url) + QStringLiteral("?");
    QString text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(kWms);
    xml.writeNamespace(kXlink, QStringLiteral("xlink"));
    xml.writeNamespace(kXsi, QStringLiteral("xsi"));
    xml.writeStartElement(kWms, QStringLiteral("WMS_Capabilities"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.3.0"));
    xml.writeAttribute(
        kXsi, QStringLiteral("schemaLocation"),
        QStringLiteral("http://www.opengis.net/wms "
                       "http://schemas.opengis.net/wms/1.3.0/capabilities_1_3_0.xsd"));

    xml.writeStartElement(kWms, QStringLiteral("Service"));
    xml.writeTextElement(kWms, QStringLiteral("Name"), QStringLiteral("WMS"));
    xml.writeTextElement(kWms, QStringLiteral("Title"), QString::fromStdString(title));
    xml.writeTextElement(kWms, QStringLiteral("Abstract"),
                         QStringLiteral("The period maps and the site record of the project, "
                                        "drawn by TAVI."));
    online_resource(xml, QString::fromStdString(url));
    xml.writeTextElement(kWms, QStringLiteral("LayerLimit"), QString::number(kMaxLayers));
    xml.writeTextElement(kWms, QStringLiteral("MaxWidth"), QString::number(kMaxSide));
    xml.writeTextElement(kWms, QStringLiteral("MaxHeight"), QString::number(kMaxSide));
    xml.writeEndElement();

    xml.writeStartElement(kWms, QStringLiteral("Capability"));
    xml.writeStartElement(kWms, QStringLiteral("Request"));
    operation(xml, "GetCapabilities", {"text/xml"}, href);
    operation(xml, "GetMap", {"image/png", "image/jpeg"}, href);
    operation(xml, "GetFeatureInfo", {"application/json", "text/html", "text/xml"}, href);
    xml.writeEndElement();
    xml.writeStartElement(kWms, QStringLiteral("Exception"));
    xml.writeTextElement(kWms, QStringLiteral("Format"), QStringLiteral("XML"));
    xml.writeEndElement();

    // One layer holding them all, in the order the map draws them.
    xml.writeStartElement(kWms, QStringLiteral("Layer"));
    xml.writeTextElement(kWms, QStringLiteral("Title"), QString::fromStdString(title));
    xml.writeTextElement(kWms, QStringLiteral("CRS"), QString::fromLatin1(kCrs));
    boxes(xml, layers.extent);
    for (const Layer &l : layers.layers) {
        xml.writeStartElement(kWms, QStringLiteral("Layer"));
        xml.writeAttribute(QStringLiteral("queryable"),
                           l.queryable() ? QStringLiteral("1") : QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("opaque"), l.kind == Layer::Kind::Background
                                                         ? QStringLiteral("1")
                                                         : QStringLiteral("0"));
        xml.writeTextElement(kWms, QStringLiteral("Name"), QString::fromStdString(l.name));
        xml.writeTextElement(kWms, QStringLiteral("Title"), QString::fromStdString(l.title));
        boxes(xml, l.box);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return text.toStdString();
}

} // namespace serve
