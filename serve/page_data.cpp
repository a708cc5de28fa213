#include "serve/page_data.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

#include "drawing/main_colour.h"
#include "state/view_state.h"
#include "view/grid_ref.h"

namespace serve {

namespace {

QJsonArray box_array(const Box &b) {
    return QJsonArray{b.min_x, b.min_y, b.max_x, b.max_y};
}

const char *kind_name(Layer::Kind k) {
    switch (k) {
    case Layer::Kind::Drawing:
        return "drawing";
    case Layer::Kind::Sites:
        return "sites";
    case Layer::Kind::Background:
        return "background";
    }
    return "drawing";
}

// The colour a layer is seen in: a drawing's fixed colour, else the one most of it is
// drawn in (as the desk's period list shows it); the first plotted set's for the sites.
QJsonValue layer_colour(const Layer &l, const project::AppState &state,
                        drawing::DrawingCache &cache) {
    if (l.kind == Layer::Kind::Drawing) {
        const state::DrawingEntry &e = state.drawings.entry(l.drawing);
        if (e.fixed_colour != 0)
            return QString::fromStdString(css_colour(e.fixed_colour));
        if (const std::optional<uint8_t> own = drawing::main_colour(e.file_name, cache))
            return QString::fromStdString(css_colour(state.display.Drawing_Palette[*own]));
        return QJsonValue::Null;
    }
    if (l.kind == Layer::Kind::Sites && !state.points.sets.empty())
        return QString::fromStdString(css_colour(state.points.sets.front().colour));
    return QJsonValue::Null;
}

std::string compact(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

std::string css_colour(int32_t rgb) {
    char s[8];
    std::snprintf(s, sizeof s, "#%02x%02x%02x", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    return s;
}

std::string layers_json(const ServiceLayers &layers, const project::AppState &state,
                        drawing::DrawingCache &cache, const std::string &title) {
    QJsonArray list;
    for (const Layer &l : layers.layers) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), QString::fromStdString(l.name));
        o.insert(QStringLiteral("title"), QString::fromStdString(l.title));
        o.insert(QStringLiteral("kind"), QString::fromLatin1(kind_name(l.kind)));
        o.insert(QStringLiteral("colour"), layer_colour(l, state, cache));
        o.insert(QStringLiteral("queryable"), l.queryable());
        o.insert(QStringLiteral("box"), box_array(l.box));
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("title"), QString::fromStdString(title));
    root.insert(QStringLiteral("extent"), box_array(layers.extent));
    root.insert(QStringLiteral("layers"), list);
    return compact(root);
}

std::string reference_json(double x, double y) {
    const double units = state::kUnitsPerMetre;
    QJsonObject o;
    o.insert(QStringLiteral("x"), x);
    o.insert(QStringLiteral("y"), y);
    o.insert(QStringLiteral("reference"), QString::fromStdString(view::grid_reference(
                                              static_cast<int32_t>(std::floor(x * units)),
                                              static_cast<int32_t>(std::floor(y * units)))));
    return compact(o);
}

std::string place_json(std::string_view text) {
    const auto place = view::parse_grid_reference(text);
    if (!place)
        return {};
    return reference_json(place->first / double(state::kUnitsPerMetre),
                          place->second / double(state::kUnitsPerMetre));
}

} // namespace serve
