#include "tools/convert/ogr_to_drawing.h"
#include "platform/base/text.h"

#include <gdal.h>
#include <ogr_api.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include "tools/convert/convert_error.h"
#include "tools/convert/drawing_fields.h"
#include "tools/convert/ogr_support.h"
#include "tools/convert/output_target.h"
#include "tools/convert/palette.h"
#include "tools/convert/progress.h"
#include "tools/convert/text_codec.h"
#include "tools/writers/drw_writer.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

// The national grid's extent in metres.
constexpr double kGridEast = 700'000.0, kGridNorth = 1'300'000.0;

using Points = std::vector<ZT_Point3>;

struct Part {
    bool ring = false; // a polygon ring, else a line or a point
    bool point = false;
    Points points;
};

OGRLayerH find_layer(GDALDatasetH ds, const std::string &wanted, const fs::path &from) {
    const int n = GDALDatasetGetLayerCount(ds);
    std::string names;
    for (int i = 0; i < n; ++i)
        names += std::string(i ? ", " : "") + OGR_L_GetName(GDALDatasetGetLayer(ds, i));
    if (wanted.empty()) {
        if (n == 1)
            return GDALDatasetGetLayer(ds, 0);
        throw ConvertError(from.string() + " holds " + std::to_string(n) +
                           " layers: choose one with --layer (" + names + ")");
    }
    if (OGRLayerH l = GDALDatasetGetLayerByName(ds, wanted.c_str()))
        return l;
    throw ConvertError("no layer '" + wanted + "' in " + from.string() +
                       (n ? " (its layers: " + names + ")" : " (it has no layers)"));
}

int field_of(OGRFeatureDefnH defn, const std::string &name, const char *option,
             const std::string &layer) {
    if (name.empty())
        return -1;
    const int i = OGR_FD_GetFieldIndex(defn, name.c_str());
    if (i < 0) {
        std::string names;
        for (int k = 0; k < OGR_FD_GetFieldCount(defn); ++k)
            names += std::string(k ? ", " : "") + OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(defn, k));
        throw ConvertError(std::string(option) + ": no field '" + name + "' in the layer " + layer +
                           " (its fields: " + (names.empty() ? "none" : names) + ")");
    }
    return i;
}

class Converter {
  public:
    Converter(const ImportOptions &o, OGRLayerH layer, ImportReport &report)
        : options_(o), layer_(layer), report_(report), name_(OGR_L_GetName(layer)) {
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
        name_field_ = field_of(defn, o.name_field, "--name-field", name_);
        ref_field_ = field_of(defn, o.ref_field, "--ref-field", name_);
        for (int k = 0; k < fields::Count; ++k)
            known_[k] = OGR_FD_GetFieldIndex(defn, fields::kDrawing[k].name);
        setup_transform();
    }

    void run() {
        Progress progress(OGR_L_GetFeatureCount(layer_, TRUE), options_.progress);
        OGR_L_ResetReading(layer_);
        for (Feature f(OGR_L_GetNextFeature(layer_)); f; f.reset(OGR_L_GetNextFeature(layer_))) {
            feature(static_cast<OGRFeatureH>(f.get()));
            progress.step();
        }
        progress.finish();
        finish();
    }

    writers::DrwWriter &writer() { return w_; }

  private:
    void setup_transform() {
        OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer_);
        if (srs == nullptr) {
            report_.assumed_grid = true;
            return;
        }
        if (is_national_grid(srs))
            return;
        source_srs_.reset(OSRClone(srs));
        OSRSetAxisMappingStrategy(static_cast<OGRSpatialReferenceH>(source_srs_.get()),
                                  OAMS_TRADITIONAL_GIS_ORDER);
        grid_ = national_grid();
        transform_.reset(
            OCTNewCoordinateTransformation(static_cast<OGRSpatialReferenceH>(source_srs_.get()),
                                           static_cast<OGRSpatialReferenceH>(grid_.get())));
        if (!transform_)
            throw ConvertError(
                gdal_error("cannot reproject the layer " + name_ + " to the national grid"));
        report_.reprojected = true;
    }

    std::string text_of(OGRFeatureH f, int field) const {
        if (field < 0 || !OGR_F_IsFieldSetAndNotNull(f, field))
            return {};
        return OGR_F_GetFieldAsString(f, field);
    }
    std::optional<long long> number_of(OGRFeatureH f, int field) const {
        if (field < 0 || !OGR_F_IsFieldSetAndNotNull(f, field))
            return std::nullopt;
        return OGR_F_GetFieldAsInteger64(f, field);
    }
    int known_number(OGRFeatureH f, int field, int fallback, int lo, int hi) const {
        const auto v = number_of(f, known_[field]);
        if (!v)
            return fallback;
        return static_cast<int>(std::clamp<long long>(*v, lo, hi));
    }
    std::string drawing_text(const std::string &utf8) {
        bool cut = false;
        std::string t = to_drawing_text(utf8, drawing::Text12{}.size(), cut);
        if (cut)
            ++report_.texts_cut;
        return t;
    }

    // Metres to the group's units, refusing what lies off the grid.
    ZT_Point3 to_units(OGRFeatureH f, double x, double y, double z) const {
        if (!(x >= 0 && x <= kGridEast && y >= 0 && y <= kGridNorth)) {
            char where[96];
            std::snprintf(where, sizeof where, "(%.2f, %.2f)", x, y);
            throw ConvertError("feature " + std::to_string(OGR_F_GetFID(f)) + " of layer " + name_ +
                               " lies outside the national grid at " + where + " m" +
                               (report_.assumed_grid
                                    ? ": the layer declares no coordinate system, so it was "
                                      "read as the national grid"
                                    : ""));
        }
        const double scale = kUnitsPerMetre * divisor_;
        const double zs = std::isfinite(z) ? z * scale : 0.0;
        if (std::fabs(zs) > std::numeric_limits<int32_t>::max())
            throw ConvertError("feature " + std::to_string(OGR_F_GetFID(f)) + " of layer " + name_ +
                               " has a height beyond what a drawing holds");
        const ZT_Point3 p{static_cast<int32_t>(std::llround(x * scale)),
                          static_cast<int32_t>(std::llround(y * scale)),
                          static_cast<int32_t>(std::llround(zs))};
        if (drawing::point_reads_as_control(p))
            throw ConvertError("feature " + std::to_string(OGR_F_GetFID(f)) + " of layer " + name_ +
                               " has a point on the grid's southern edge that a drawing "
                               "cannot store");
        return p;
    }

    Points points_of(OGRFeatureH f, OGRGeometryH g) const {
        const int n = OGR_G_GetPointCount(g);
        Points out;
        out.reserve(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            double x = 0, y = 0, z = 0;
            OGR_G_GetPoint(g, k, &x, &y, &z);
            out.push_back(to_units(f, x, y, z));
        }
        return out;
    }

    // The parts of a simple geometry; false for a type a drawing cannot hold.
    bool collect(OGRFeatureH f, OGRGeometryH g, std::vector<Part> &parts) const {
        switch (wkbFlatten(OGR_G_GetGeometryType(g))) {
        case wkbPoint:
            if (!OGR_G_IsEmpty(g))
                parts.push_back(Part{false, true, points_of(f, g)});
            return true;
        case wkbLineString:
            parts.push_back(Part{false, false, points_of(f, g)});
            return true;
        case wkbPolygon:
            for (int r = 0; r < OGR_G_GetGeometryCount(g); ++r) {
                Part p{true, false, points_of(f, OGR_G_GetGeometryRef(g, r))};
                // Rings are stored open: the closing point goes.
                if (p.points.size() > 1 && p.points.front().x == p.points.back().x &&
                    p.points.front().y == p.points.back().y &&
                    p.points.front().z == p.points.back().z)
                    p.points.pop_back();
                parts.push_back(std::move(p));
            }
            return true;
        case wkbMultiPoint:
        case wkbMultiLineString:
        case wkbMultiPolygon:
            for (int k = 0; k < OGR_G_GetGeometryCount(g); ++k)
                if (!collect(f, OGR_G_GetGeometryRef(g, k), parts))
                    return false;
            return true;
        default:
            return false;
        }
    }

    static bool is_curve(OGRwkbGeometryType t) {
        switch (wkbFlatten(t)) {
        case wkbCircularString:
        case wkbCompoundCurve:
        case wkbCurvePolygon:
        case wkbMultiCurve:
        case wkbMultiSurface:
            return true;
        default:
            return false;
        }
    }

    void feature(OGRFeatureH f) {
        OGRGeometryH g = OGR_F_GetGeometryRef(f);
        if (g == nullptr || OGR_G_IsEmpty(g)) {
            ++report_.without_geometry;
            return;
        }
        Geometry owned;
        if (is_curve(OGR_G_GetGeometryType(g))) {
            owned.reset(OGR_G_GetLinearGeometry(g, 0, nullptr));
            g = static_cast<OGRGeometryH>(owned.get());
        }
        if (transform_) {
            if (!owned) {
                owned.reset(OGR_G_Clone(g));
                g = static_cast<OGRGeometryH>(owned.get());
            }
            if (OGR_G_Transform(g, static_cast<OGRCoordinateTransformationH>(transform_.get())) !=
                OGRERR_NONE)
                throw ConvertError(gdal_error("cannot reproject feature " +
                                              std::to_string(OGR_F_GetFID(f)) + " of layer " +
                                              name_));
        }

        // The feature's units are its group's: known before its points are converted.
        const auto key = number_of(f, known_[fields::GroupNo]);
        const bool same_group = group_open_ && key && group_key_ && *key == *group_key_;
        int kind = group_kind_;
        if (!same_group) {
            kind = known_number(f, fields::Kind, drawing::kKindWhole, -32768, 32767);
            if (kind != 0 && kind != drawing::kKindWhole && kind != drawing::kKindTenths)
                kind = drawing::kKindWhole; // units a group of ours can state plainly
        }
        divisor_ = drawing::divisor_of_kind(static_cast<int16_t>(kind));
        std::vector<Part> parts;
        if (!collect(f, g, parts)) {
            ++report_.refused[OGRGeometryTypeToName(wkbFlatten(OGR_G_GetGeometryType(g)))];
            return;
        }
        if (!same_group) {
            w_.begin_group(static_cast<int16_t>(kind),
                           drawing_text(name_field_ >= 0 ? text_of(f, name_field_) : name_));
            group_open_ = true;
            group_key_ = key;
            group_kind_ = kind;
            ++report_.groups;
        }
        write_parts(f, parts);
        ++report_.features;
    }

    uint8_t colour_of(OGRFeatureH f) const {
        if (options_.colour)
            return static_cast<uint8_t>(*options_.colour);
        if (const auto n = number_of(f, known_[fields::ColourNo]); n && *n >= 0 && *n <= 255)
            return static_cast<uint8_t>(*n);
        if (const auto c = palette_.index_of(text_of(f, known_[fields::Colour])))
            return *c;
        return 0;
    }

    // An annotation's further points, as the export writes them: "x y z; x y z" in metres.
    Points extra_points(OGRFeatureH f) const {
        Points out;
        if (transform_)
            return out; // they are national grid metres, the geometry was not
        std::istringstream in(text_of(f, known_[fields::ExtraPoints]));
        for (std::string item; std::getline(in, item, ';');) {
            std::istringstream xyz(item);
            double x = 0, y = 0, z = 0;
            if (xyz >> x >> y) {
                xyz >> z;
                out.push_back(to_units(f, x, y, z));
            }
        }
        return out;
    }

    void write_parts(OGRFeatureH f, std::vector<Part> &parts) {
        writers::Style s;
        s.colour = colour_of(f);
        s.fill = static_cast<uint8_t>(known_number(f, fields::Fill, 0, 0, 255));
        s.line_width = static_cast<int16_t>(known_number(f, fields::LineWidth, 0, -32768, 32767));
        s.pen_style = known_number(f, fields::PenStyle, 0, 0, 254);
        s.layer = static_cast<uint8_t>(known_number(f, fields::Layer, 0, 0, 255));
        s.reference = drawing_text(text_of(f, ref_field_));
        const std::string text = drawing_text(text_of(f, known_[fields::Text]));
        if (const std::string ln = text_of(f, known_[fields::LayerName]);
            !ln.empty() && layer_names_[s.layer].empty())
            layer_names_[s.layer] = drawing_text(ln);
        drawing::ObjectHeader h = writers::header(s);
        h.text1 = drawing::text12(text);
        for (Part &p : parts) {
            if (p.points.empty())
                continue;
            if (p.point) {
                if (parts.size() == 1) {
                    const Points more = extra_points(f);
                    p.points.insert(p.points.end(), more.begin(), more.end());
                }
                drawing::AnnotationRecord a;
                a.colour = h.colour;
                a.pen_style = h.pen_style;
                a.layer = h.layer;
                a.fill = h.fill;
                a.line_width = h.line_width;
                a.text1 = h.text1;
                a.text2 = h.text2;
                w_.annotation(p.points, a);
            } else if (p.ring) {
                w_.polygon(p.points, h);
            } else {
                w_.polyline(p.points, h);
            }
            ++report_.objects;
        }
    }

    void finish() {
        w_.layer_table(std::span<const std::string>(layer_names_.data(), layer_names_.size()));
        w_.end_mark();
    }

    const ImportOptions &options_;
    OGRLayerH layer_;
    ImportReport &report_;
    std::string name_;
    int name_field_ = -1, ref_field_ = -1;
    int known_[fields::Count]{};
    Srs source_srs_, grid_;
    Transform transform_;
    Palette palette_;
    writers::DrwWriter w_;
    bool group_open_ = false;
    std::optional<long long> group_key_;
    int group_kind_ = drawing::kKindWhole;
    int32_t divisor_ = 1;
    std::array<std::string, 256> layer_names_{};
};

std::string lower_extension(const fs::path &p) {
    return text::lower(p.extension().string());
}

} // namespace

int64_t ImportReport::refused_total() const {
    int64_t n = 0;
    for (const auto &[type, count] : refused)
        n += count;
    return n;
}

ImportReport import_layer(const ImportOptions &options) {
    init_gdal();
    if (lower_extension(options.to) != ".drw")
        throw ConvertError("the drawing to write must be named NAME.drw, not " +
                           options.to.string());
    if (options.colour && (*options.colour < 0 || *options.colour > 255))
        throw ConvertError("--colour wants a palette index from 0 to 255");
    if (const outputs::Kind kind = outputs::target_of(options.to).kind; kind != outputs::Kind::File)
        throw ConvertError(
            options.to.string() +
            (kind == outputs::Kind::Folder ? " is a folder" : " is a pipe or a device") +
            ": a drawing is three files (.drw, .zix, .dbf) in a folder");
    Dataset ds(GDALOpenEx(options.from.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr,
                          nullptr));
    if (!ds)
        throw ConvertError(gdal_error("cannot read " + options.from.string() + " as vector data"));
    OGRLayerH layer = find_layer(static_cast<GDALDatasetH>(ds.get()), options.layer, options.from);

    ImportReport report;
    report.layer = OGR_L_GetName(layer);
    Converter c(options, layer, report);
    c.run();

    Staging staging(options.to, false);
    const fs::path drw = staging.path();
    writers::DrwWriter &w = c.writer();
    // The writer's index begins with the layer table's record, as the drawn-object list
    // expects of every index.
    const std::vector<drawing::IndexRecord> index = w.index_records();
    if (!w.save(drw) || !writers::write_index(fs::path(drw).replace_extension(".zix"), index) ||
        !writers::write_object_table(fs::path(drw).replace_extension(".dbf"), w.object_rows()))
        staging.fail("cannot write " + options.to.string());
    staging.commit();
    return report;
}

} // namespace convert
