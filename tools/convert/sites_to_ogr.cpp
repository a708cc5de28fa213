#include "tools/convert/sites_to_ogr.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "platform/base/files.h"
#include "platform/base/text.h"
#include "tools/convert/convert_error.h"
#include "tools/convert/ogr_support.h"
#include "view/grid_ref.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

std::string upper_trimmed(const std::string &s) {
    return text::upper(text::trim_blanks(s));
}

OGRFieldType ogr_type(dao::FieldType t) {
    switch (t) {
    case dao::FieldType::Boolean:
    case dao::FieldType::Byte:
    case dao::FieldType::Integer:
    case dao::FieldType::Long:
        return OFTInteger;
    case dao::FieldType::BigInt:
        return OFTInteger64;
    case dao::FieldType::Currency:
    case dao::FieldType::Single:
    case dao::FieldType::Double:
    case dao::FieldType::Decimal:
        return OFTReal;
    case dao::FieldType::Date:
        return OFTDateTime;
    case dao::FieldType::Binary:
    case dao::FieldType::LongBinary:
        return OFTBinary;
    case dao::FieldType::Text:
    case dao::FieldType::Memo:
    case dao::FieldType::Guid:
        break;
    }
    return OFTString;
}

// A coordinate value in world units: metres are multiplied out and rounded.
std::optional<int32_t> world_units(const dao::Value &v, bool metres) {
    if (v.is_null() || (v.is_text() && text::trim_blanks(v.text()).empty()))
        return std::nullopt;
    const double d = v.as_double() * (metres ? kUnitsPerMetre : 1.0);
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(std::llround(d));
}

dao::Database open_database(const fs::path &database) {
    try {
        return dao::open_site_database(database);
    } catch (const dao::Error &e) {
        throw ConvertError(std::string("cannot read the site database: ") + e.what());
    }
}

} // namespace

SiteColumns find_site_columns(const std::vector<dao::FieldInfo> &fields) {
    SiteColumns c;
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        const std::string n = upper_trimmed(fields[static_cast<std::size_t>(i)].name);
        if (n == "XCOORD" || n == "EASTING" || n == "X_COORD") {
            c.east = i;
            c.metres = fields[static_cast<std::size_t>(i)].type == dao::FieldType::Double;
        } else if (n == "YCOORD" || n == "NORTHING" || n == "Y_COORD") {
            c.north = i;
        } else if (n == "NGR" || n == "NGS") {
            c.grid_ref = i;
        }
    }
    return c;
}

std::optional<WorldPoint> site_position(const std::vector<dao::Value> &row, const SiteColumns &c) {
    if (c.east < 0 || c.north < 0)
        return std::nullopt;
    const auto e = world_units(row[static_cast<std::size_t>(c.east)], c.metres);
    const auto n = world_units(row[static_cast<std::size_t>(c.north)], c.metres);
    if (!e || !n)
        return std::nullopt;
    WorldPoint p{*e, *n};
    if (c.grid_ref >= 0) {
        // The square's letters place the in-square coordinates on the grid.
        std::string ref = text::trim_blanks(row[static_cast<std::size_t>(c.grid_ref)].to_string());
        if (!ref.empty())
            view::NGR_To_Zent(ref, p.x, p.y);
    }
    return p;
}

fs::path site_database_of(const state::DrawingEntry &first_drawing) {
    const std::string why = "no site database: the project's first drawing " +
                            fs::path(first_drawing.file_name).filename().string() +
                            " has no linked data file";
    const std::string file = text::trim_blanks(first_drawing.data_file);
    if (first_drawing.linked_kind == 0 || file.empty())
        throw ConvertError(why);
    if (dao::is_server_uri(file))
        return file; // the server says whether it is there when it is opened
    std::error_code ec;
    const fs::path resolved = files::resolve(file);
    if (!fs::is_regular_file(resolved, ec))
        throw ConvertError("the site database " + file + " is missing");
    return resolved;
}

int64_t count_sites(const fs::path &database) {
    dao::Database db = open_database(database);
    try {
        return db.open_table(kSiteTable).record_count();
    } catch (const dao::Error &e) {
        throw ConvertError(std::string("cannot read the site list: ") + e.what());
    }
}

SiteExport write_sites(GDALDatasetH ds, const std::string &name, const fs::path &database,
                       OGRSpatialReferenceH srs, Progress &progress) {
    dao::Database db = open_database(database);
    SiteExport result;
    try {
        dao::Recordset rs = db.open_table(kSiteTable);
        const std::vector<dao::FieldInfo> &info = rs.fields();
        const SiteColumns columns = find_site_columns(info);
        if (columns.east < 0 || columns.north < 0)
            throw ConvertError("the site list " + std::string(kSiteTable) +
                               " has no coordinate fields (xcoord and ycoord)");

        char *options[] = {nullptr};
        OGRLayerH layer = GDALDatasetCreateLayer(ds, name.c_str(), srs, wkbPoint, options);
        if (layer == nullptr)
            throw ConvertError(gdal_error("cannot make the layer " + name));
        std::vector<int> index;
        for (const dao::FieldInfo &fi : info) {
            OGRFieldDefnH f = OGR_Fld_Create(fi.name.c_str(), ogr_type(fi.type));
            if (fi.type == dao::FieldType::Boolean)
                OGR_Fld_SetSubType(f, OFSTBoolean);
            if (fi.type == dao::FieldType::Text && fi.size > 0)
                OGR_Fld_SetWidth(f, fi.size);
            OGR_L_CreateField(layer, f, TRUE);
            OGR_Fld_Destroy(f);
            index.push_back(OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), fi.name.c_str()));
        }
        const bool transaction = GDALDatasetStartTransaction(ds, FALSE) == OGRERR_NONE;
        Feature feature(OGR_F_Create(OGR_L_GetLayerDefn(layer)));
        OGRFeatureH f = feature.get();
        for (rs.move_first(); !rs.eof(); rs.move_next()) {
            progress.step();
            const std::vector<dao::Value> row = rs.values();
            const auto at = site_position(row, columns);
            if (!at) {
                ++result.unplaced;
                continue;
            }
            for (std::size_t k = 0; k < row.size() && k < index.size(); ++k) {
                const int i = index[k];
                if (i < 0)
                    continue;
                const dao::Value &v = row[k];
                switch (v.kind()) {
                case dao::Value::Kind::Null:
                    OGR_F_SetFieldNull(f, i);
                    break;
                case dao::Value::Kind::Integer:
                    OGR_F_SetFieldInteger64(f, i, v.as_integer());
                    break;
                case dao::Value::Kind::Real:
                    OGR_F_SetFieldDouble(f, i, v.as_double());
                    break;
                case dao::Value::Kind::Text:
                    OGR_F_SetFieldString(f, i, v.text().c_str());
                    break;
                case dao::Value::Kind::Binary:
                    OGR_F_SetFieldBinary(f, i, static_cast<int>(v.text().size()),
                                         reinterpret_cast<const GByte *>(v.text().data()));
                    break;
                }
            }
            OGRGeometryH p = OGR_G_CreateGeometry(wkbPoint);
            OGR_G_SetPoint_2D(p, 0, at->x / kUnitsPerMetre, at->y / kUnitsPerMetre);
            OGR_F_SetGeometryDirectly(f, p);
            OGR_F_SetFID(f, OGRNullFID);
            if (OGR_L_CreateFeature(layer, f) != OGRERR_NONE)
                throw ConvertError(gdal_error("cannot write to the layer " + name));
            ++result.written;
        }
        if (transaction && GDALDatasetCommitTransaction(ds) != OGRERR_NONE)
            throw ConvertError(gdal_error("cannot finish the layer " + name));
    } catch (const dao::Error &e) {
        throw ConvertError(std::string("cannot read the site list: ") + e.what());
    }
    return result;
}

} // namespace convert
