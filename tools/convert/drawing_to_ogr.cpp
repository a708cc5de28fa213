#include "tools/convert/drawing_to_ogr.h"

#include <cstdlib>

#include "tools/convert/convert_error.h"
#include "tools/convert/drawing_fields.h"
#include "tools/convert/text_codec.h"

namespace convert {

std::string metres_text(int32_t value, int32_t divisor) {
    // Hundredths of a metre for whole units, thousandths for tenths: printed from the
    // integer, so the text reads back to the same value.
    const int decimals = divisor == 10 ? 3 : 2;
    const int64_t scale = divisor == 10 ? 1000 : 100;
    const int64_t v = value;
    const int64_t a = v < 0 ? -v : v;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%0*lld", v < 0 ? "-" : "",
                  static_cast<long long>(a / scale), decimals, static_cast<long long>(a % scale));
    return buf;
}

DrawingLayer::DrawingLayer(GDALDatasetH ds, const std::string &name, OGRwkbGeometryType geometry,
                           bool has_z, OGRSpatialReferenceH srs, const Palette &palette,
                           bool drawing_field)
    : ds_(ds), name_(name), palette_(palette), z_(has_z) {
    const OGRwkbGeometryType type = has_z ? OGR_GT_SetZ(geometry) : geometry;
    char *options[] = {nullptr};
    layer_ = GDALDatasetCreateLayer(ds, name.c_str(), srs, type, options);
    if (layer_ == nullptr)
        throw ConvertError(gdal_error("cannot make the layer " + name));
    auto add = [&](const fields::FieldDef &s) {
        OGRFieldDefnH f = OGR_Fld_Create(s.name, s.type);
        if (s.width > 0)
            OGR_Fld_SetWidth(f, s.width);
        // Formats with a fixed set of fields (DXF) refuse ours; they get what they hold.
        OGR_L_CreateField(layer_, f, TRUE);
        OGR_Fld_Destroy(f);
    };
    for (const fields::FieldDef &s : fields::kDrawing)
        add(s);
    if (drawing_field)
        add(fields::kDrawingName);
    OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer_);
    for (int k = 0; k < fields::Count; ++k)
        index_[k] = OGR_FD_GetFieldIndex(defn, fields::kDrawing[k].name);
    if (drawing_field)
        drawing_index_ = OGR_FD_GetFieldIndex(defn, fields::kDrawingName.name);
    if (std::string(GDALGetDriverShortName(GDALGetDatasetDriver(ds))) == "DXF")
        dxf_layer_index_ = OGR_FD_GetFieldIndex(defn, "Layer");
    feature_.reset(OGR_F_Create(defn));
}

void DrawingLayer::begin() {
    in_transaction_ = GDALDatasetStartTransaction(ds_, FALSE) == OGRERR_NONE;
}

void DrawingLayer::commit() {
    if (in_transaction_ && GDALDatasetCommitTransaction(ds_) != OGRERR_NONE)
        throw ConvertError(gdal_error("cannot finish the layer " + name_));
    in_transaction_ = false;
}

OGRGeometryH DrawingLayer::geometry_of(const DrawnObject &o) {
    const double scale = kUnitsPerMetre * o.group->divisor;
    const std::size_t n = o.kind == ObjectKind::Annotation ? 1 : o.points.size();
    const bool closing = o.kind == ObjectKind::Polygon; // rings are stored open
    xs_.resize(n + 1);
    ys_.resize(n + 1);
    zs_.resize(n + 1);
    for (std::size_t k = 0; k < n; ++k) {
        xs_[k] = o.points[k].x / scale;
        ys_[k] = o.points[k].y / scale;
        zs_[k] = o.points[k].z / scale;
    }
    if (closing) {
        xs_[n] = xs_[0];
        ys_[n] = ys_[0];
        zs_[n] = zs_[0];
    }
    const int count = static_cast<int>(n + (closing ? 1 : 0));
    double *z = z_ ? zs_.data() : nullptr;
    switch (o.kind) {
    case ObjectKind::Annotation: {
        OGRGeometryH p = OGR_G_CreateGeometry(z_ ? wkbPoint25D : wkbPoint);
        if (z_)
            OGR_G_SetPoint(p, 0, xs_[0], ys_[0], zs_[0]);
        else
            OGR_G_SetPoint_2D(p, 0, xs_[0], ys_[0]);
        return p;
    }
    case ObjectKind::Polyline: {
        OGRGeometryH l = OGR_G_CreateGeometry(z_ ? wkbLineString25D : wkbLineString);
        OGR_G_SetPoints(l, count, xs_.data(), sizeof(double), ys_.data(), sizeof(double), z,
                        sizeof(double));
        return l;
    }
    case ObjectKind::Polygon:
        break;
    }
    OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
    OGR_G_SetPoints(ring, count, xs_.data(), sizeof(double), ys_.data(), sizeof(double), z,
                    sizeof(double));
    OGRGeometryH polygon = OGR_G_CreateGeometry(z_ ? wkbPolygon25D : wkbPolygon);
    OGR_G_AddGeometryDirectly(polygon, ring);
    return polygon;
}

void DrawingLayer::set_text(int field, const std::string &drawing_text) {
    const int i = index_[field];
    if (i < 0)
        return;
    if (drawing_text.empty())
        OGR_F_SetFieldNull(feature_.get(), i);
    else
        OGR_F_SetFieldString(feature_.get(), i, to_utf8(drawing_text).c_str());
}

void DrawingLayer::write(const DrawnObject &o, const std::string &drawing,
                         const std::array<std::string, 256> &layer_names) {
    OGRFeatureH f = feature_.get();
    auto set_int = [&](int field, int v) {
        if (index_[field] >= 0)
            OGR_F_SetFieldInteger(f, index_[field], v);
    };
    set_text(fields::Group, o.group->name);
    set_int(fields::GroupNo, o.group->number);
    set_int(fields::Kind, o.group->kind);
    set_text(fields::Reference, o.reference);
    set_text(fields::Text, o.text);
    const std::string colour = palette_.hex(o.colour);
    set_text(fields::Colour, colour);
    set_int(fields::ColourNo, o.colour);
    set_int(fields::Fill, o.fill);
    set_int(fields::PenStyle, o.pen_style);
    set_int(fields::LineWidth, o.line_width);
    set_int(fields::Layer, o.layer);
    set_text(fields::LayerName, layer_names[o.layer]);
    std::string extra;
    if (o.kind == ObjectKind::Annotation)
        for (std::size_t k = 1; k < o.points.size(); ++k) {
            const ZT_Point3 &p = o.points[k];
            if (!extra.empty())
                extra += "; ";
            extra += metres_text(p.x, o.group->divisor) + " " + metres_text(p.y, o.group->divisor) +
                     " " + metres_text(p.z, o.group->divisor);
        }
    set_text(fields::ExtraPoints, extra);
    if (drawing_index_ >= 0)
        OGR_F_SetFieldString(f, drawing_index_, drawing.c_str());
    if (dxf_layer_index_ >= 0)
        OGR_F_SetFieldString(f, dxf_layer_index_, drawing.c_str());

    // The look for formats that draw features themselves (DXF, KML).
    std::string style;
    if (o.kind == ObjectKind::Annotation) {
        std::string t = to_utf8(o.text);
        for (char &c : t)
            if (c == '"')
                c = '\'';
        style = "LABEL(f:\"Arial\",t:\"" + t + "\",c:" + colour + ")";
    } else {
        style = "PEN(c:" + colour + ")";
        if (o.kind == ObjectKind::Polygon && o.fill != 0)
            style = "BRUSH(fc:" + colour + ");" + style;
    }
    OGR_F_SetStyleString(f, style.c_str());

    OGR_F_SetGeometryDirectly(f, geometry_of(o));
    OGR_F_SetFID(f, OGRNullFID);
    if (OGR_L_CreateFeature(layer_, f) != OGRERR_NONE)
        throw ConvertError(gdal_error("cannot write to the layer " + name_));
    ++written_;
}

} // namespace convert
