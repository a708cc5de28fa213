#include "serve/feature_info.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <map>

#include "drawing/symbols.h"
#include "interrogation/planning_search.h"
#include "interrogation/site_search.h"
#include "serve/map_picture.h"
#include "view/transform.h"
#include "zent32i_binding.h"

namespace serve {

namespace {

// The pixels a site symbol of one size paints, as the map plots it.
class SymbolShapes {
  public:
    const gdi::Stamp &of(int16_t size) {
        auto it = shapes_.find(size);
        if (it != shapes_.end())
            return it->second;
        const int r = static_cast<int>(std::lround(2.0 * std::max<int16_t>(size, 0))) + 2;
        QImage image(2 * r + 1, 2 * r + 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            gdi::DeviceContext dc(image);
            drawing::Plot_A_Symbol(dc, 0, size, r, r, gdi::rgb(0, 0, 0));
            dc.image();
        }
        return shapes_.emplace(size, gdi::Stamp::of(image, r, r)).first->second;
    }
    static bool covers(const gdi::Stamp &s, int dx, int dy) {
        for (const gdi::Stamp::Run &run : s.runs)
            if (run.dy == dy && dx >= run.dx0 && dx <= run.dx1)
                return true;
        return false;
    }

  private:
    std::map<int16_t, gdi::Stamp> shapes_;
};

// The site points whose symbols cover pixel (px, py) of the view the library holds now,
// the last plotted (the one on top) first.
std::vector<int32_t> points_under(const state::PointStore &store, const state::ViewState &v, int px,
                                  int py, int wx) {
    int16_t largest = 0;
    for (const state::ExcavationPoint &p : store.points)
        largest = std::max(largest, p.symbol_size);
    const double reach = (2.0 * largest + 2) / std::max(v.View_Scale, 1e-12);
    const auto [first, end] = store.x_slice(wx - reach, wx + reach);
    SymbolShapes shapes;
    std::vector<int32_t> found;
    for (int32_t i = first; i < end; ++i) {
        const int32_t x = store.easting(i), y = store.northing(i);
        if (zt::ZT_INBOX(&x, &y) == 0)
            continue;
        const state::ExcavationPoint &p = store.points[static_cast<std::size_t>(i)];
        int32_t sx = 0, sy = 0;
        zt::ZT_Calc_3D_xy(x, y, p.elevation, &sx, &sy);
        if (std::abs(px - sx) > 2 * p.symbol_size + 2 || std::abs(py - sy) > 2 * p.symbol_size + 2)
            continue;
        if (SymbolShapes::covers(shapes.of(p.symbol_size), px - sx, py - sy))
            found.push_back(i);
    }
    std::reverse(found.begin(), found.end());
    return found;
}

const Layer &layer_at(const ServiceLayers &layers, int at) {
    return layers.layers[static_cast<std::size_t>(at)];
}

} // namespace

FeatureInfo feature_info(project::Session &session, const ServiceLayers &layers,
                         const FeatureInfoRequest &f) {
    project::AppState &st = session.state();
    const RequestView rv = request_view(f.map);
    // The pixel in the picture the library draws (the one asked for is that, stretched).
    const int px = static_cast<int>(int64_t{f.i} * rv.width / f.map.width);
    const int py = static_cast<int>(int64_t{f.j} * rv.height / f.map.height);

    std::vector<bool> kept_active;
    for (int n = 1; n <= st.drawings.count(); ++n)
        kept_active.push_back(st.drawings.entry(n).active);

    FeatureInfo out;
    {
        // The request's view handed to the library, as a drawing would hand it; nothing
        // is drawn (a picture of one pixel stands in for the map).
        QImage one(1, 1, QImage::Format_RGB32);
        gdi::DeviceContext dc(one);
        dc.select(gdi::Pen::null());
        state::ViewState view;
        view.View_X_Min = rv.x_min;
        view.View_Y_Min = rv.y_min;
        view.View_Height_Units = rv.height_units;
        view.Zoom_Limits_On = st.view.Zoom_Limits_On;
        view::Prepare_View(view, dc, rv.width, rv.height);
        view::pixel_to_world(view, px, py);
        const int32_t wx = view.Cursor_World_X, wy = view.Cursor_World_Y;
        out.x = double(wx) / state::kUnitsPerMetre;
        out.y = double(wy) / state::kUnitsPerMetre;

        std::vector<int> drawings_asked;
        for (const int q : f.query_layers) {
            const Layer &l = layer_at(layers, q);
            if (l.kind == Layer::Kind::Drawing)
                drawings_asked.push_back(l.drawing);
        }
        for (const int q : f.query_layers) {
            const Layer &l = layer_at(layers, q);
            LayerFeatures lf{l.name, l.title, {}};
            if (l.kind == Layer::Kind::Sites) {
                std::vector<int32_t> found = points_under(st.points, view, px, py, wx);
                if (found.size() > static_cast<std::size_t>(f.feature_count))
                    found.resize(static_cast<std::size_t>(f.feature_count));
                const interrogation::SiteRows rows =
                    interrogation::site_rows(st.points, found, project::quiet_hooks());
                out.unreadable.insert(out.unreadable.end(), rows.unreadable.begin(),
                                      rows.unreadable.end());
                // The first two columns say where the row came from in this worker's
                // store: nothing for anyone else.
                for (const auto &row : rows.rows) {
                    Feature feature;
                    for (std::size_t c = interrogation::kFirstFieldColumn - 1;
                         c < row.size() && c < rows.headers.size(); ++c)
                        feature.fields.emplace_back(rows.headers[c], row[c]);
                    lf.features.push_back(std::move(feature));
                }
            } else if (l.kind == Layer::Kind::Drawing) {
                for (int n = 1; n <= st.drawings.count(); ++n)
                    st.drawings.entry(n).active = n == l.drawing;
                const interrogation::PlanningHits hits =
                    interrogation::planning_hits(st.drawings, wx, wy, st.settings.Search_Buffer);
                for (const interrogation::PlanningHit &h : hits.hits) {
                    if (lf.features.size() >= static_cast<std::size_t>(f.feature_count))
                        break;
                    Feature feature;
                    feature.fields.emplace_back("feature", dao::Value(h.feature_name));
                    feature.fields.emplace_back("class", dao::Value(h.feature_class));
                    feature.fields.emplace_back("reference",
                                                dao::Value(interrogation::raz_reference(h)));
                    lf.features.push_back(std::move(feature));
                }
            }
            out.layers.push_back(std::move(lf));
        }
        dc.image();
    }
    for (int n = 1; n <= st.drawings.count(); ++n)
        st.drawings.entry(n).active = kept_active[static_cast<std::size_t>(n - 1)];
    return out;
}

namespace {

constexpr const char *kUnreadable = "Some site records could not be read.";

QString text_of(const dao::Value &v) {
    if (v.kind() == dao::Value::Kind::Binary)
        return QStringLiteral("(binary, %1 bytes)").arg(v.text().size());
    return QString::fromStdString(v.to_string());
}

// Characters that XML 1.0 cannot hold, made visible instead of making the document bad.
QString xml_safe(QString s) {
    for (QChar &c : s)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            c = QChar(0xFFFD);
    return s;
}

} // namespace

QJsonValue json_value(const dao::Value &value) {
    if (value.kind() == dao::Value::Kind::Integer)
        return static_cast<qint64>(value.as_integer());
    if (value.kind() == dao::Value::Kind::Real)
        return value.as_double();
    if (value.is_null())
        return QJsonValue::Null;
    return text_of(value);
}

std::string write_json(const FeatureInfo &info) {
    QJsonObject root;
    root.insert(QStringLiteral("x"), info.x);
    root.insert(QStringLiteral("y"), info.y);
    QJsonArray layers;
    for (const LayerFeatures &l : info.layers) {
        QJsonObject layer;
        layer.insert(QStringLiteral("layer"), QString::fromStdString(l.layer));
        layer.insert(QStringLiteral("title"), QString::fromStdString(l.title));
        QJsonArray features;
        for (const Feature &f : l.features) {
            QJsonObject feature;
            for (const auto &[name, value] : f.fields)
                feature.insert(QString::fromStdString(name), json_value(value));
            features.append(feature);
        }
        layer.insert(QStringLiteral("features"), features);
        layers.append(layer);
    }
    root.insert(QStringLiteral("layers"), layers);
    if (!info.unreadable.empty())
        root.insert(QStringLiteral("note"), QString::fromLatin1(kUnreadable));
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

std::string write_html(const FeatureInfo &info) {
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                  "<title>Feature information</title></head><body>\n");
    for (const LayerFeatures &l : info.layers) {
        html +=
            QStringLiteral("<h2>%1</h2>\n").arg(QString::fromStdString(l.title).toHtmlEscaped());
        if (l.features.empty()) {
            html += QStringLiteral("<p>Nothing here.</p>\n");
            continue;
        }
        for (const Feature &f : l.features) {
            html += QStringLiteral("<table>\n");
            for (const auto &[name, value] : f.fields)
                html += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n")
                            .arg(QString::fromStdString(name).toHtmlEscaped(),
                                 text_of(value).toHtmlEscaped());
            html += QStringLiteral("</table>\n");
        }
    }
    if (!info.unreadable.empty())
        html += QStringLiteral("<p>%1</p>\n").arg(QString::fromLatin1(kUnreadable));
    html += QStringLiteral("</body></html>\n");
    return html.toStdString();
}

std::string write_xml(const FeatureInfo &info) {
    QString text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("FeatureInfoResponse"));
    xml.writeAttribute(QStringLiteral("x"), QString::number(info.x, 'f', 2));
    xml.writeAttribute(QStringLiteral("y"), QString::number(info.y, 'f', 2));
    for (const LayerFeatures &l : info.layers) {
        xml.writeStartElement(QStringLiteral("Layer"));
        xml.writeAttribute(QStringLiteral("name"), QString::fromStdString(l.layer));
        xml.writeAttribute(QStringLiteral("title"), xml_safe(QString::fromStdString(l.title)));
        for (const Feature &f : l.features) {
            xml.writeStartElement(QStringLiteral("Feature"));
            for (const auto &[name, value] : f.fields) {
                xml.writeStartElement(QStringLiteral("Attribute"));
                xml.writeAttribute(QStringLiteral("name"), xml_safe(QString::fromStdString(name)));
                if (value.is_null())
                    xml.writeAttribute(QStringLiteral("null"), QStringLiteral("true"));
                else
                    xml.writeCharacters(xml_safe(text_of(value)));
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    if (!info.unreadable.empty())
        xml.writeTextElement(QStringLiteral("Note"), QString::fromLatin1(kUnreadable));
    xml.writeEndElement();
    xml.writeEndDocument();
    return text.toStdString();
}

std::string write_feature_info(const FeatureInfo &info, InfoFormat format) {
    switch (format) {
    case InfoFormat::Json:
        return write_json(info);
    case InfoFormat::Xml:
        return write_xml(info);
    case InfoFormat::Html:
        break;
    }
    return write_html(info);
}

} // namespace serve
