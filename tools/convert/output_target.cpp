#include "tools/convert/output_target.h"
#include "platform/base/text.h"

#include <gdal.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "tools/convert/convert_error.h"
#include "tools/convert/ogr_support.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

// The usual driver of the common extensions; others are looked up in GDAL's drivers.
std::string known_driver(const std::string &ext) {
    static const std::pair<const char *, const char *> table[] = {{"gpkg", "GPKG"},
                                                                  {"geojson", "GeoJSON"},
                                                                  {"json", "GeoJSON"},
                                                                  {"dxf", "DXF"},
                                                                  {"fgb", "FlatGeobuf"},
                                                                  {"shp", "ESRI Shapefile"},
                                                                  {"sqlite", "SQLite"},
                                                                  {"gml", "GML"},
                                                                  {"kml", "KML"},
                                                                  {"csv", "CSV"},
                                                                  {"tab", "MapInfo File"},
                                                                  {"mif", "MapInfo File"},
                                                                  {"geojsonl", "GeoJSONSeq"},
                                                                  {"geojsons", "GeoJSONSeq"}};
    for (const auto &[e, d] : table)
        if (ext == e)
            return d;
    return {};
}

std::string driver_claiming(const std::string &ext) {
    for (int i = 0; i < GDALGetDriverCount(); ++i) {
        GDALDriverH d = GDALGetDriver(i);
        if (GDALGetMetadataItem(d, GDAL_DCAP_VECTOR, nullptr) == nullptr ||
            GDALGetMetadataItem(d, GDAL_DCAP_CREATE, nullptr) == nullptr)
            continue;
        const char *exts = GDALGetMetadataItem(d, GDAL_DMD_EXTENSIONS, nullptr);
        if (exts == nullptr)
            continue;
        std::istringstream in(text::lower(exts));
        for (std::string e; in >> e;)
            if (e == ext)
                return GDALGetDriverShortName(d);
    }
    return {};
}

} // namespace

OutputFormat choose_format(const fs::path &out) {
    init_gdal();
    OutputFormat f;
    std::string ext = text::lower(out.extension().string());
    if (!ext.empty())
        ext.erase(0, 1);
    std::error_code ec;
    if (ext.empty() || fs::is_directory(out, ec)) {
        f.driver = "ESRI Shapefile";
        f.folder = true;
        f.mixed_geometry = false;
        return f;
    }
    f.driver = known_driver(ext);
    if (f.driver.empty())
        f.driver = driver_claiming(ext);
    if (f.driver.empty() || GDALGetDriverByName(f.driver.c_str()) == nullptr)
        throw ConvertError("no OGR driver writes ." + ext + " files (" + out.string() + ")");
    // These formats keep one layer in a file of that name.
    static const char *single[] = {"GeoJSON", "GeoJSONSeq",     "DXF",         "CSV", "FlatGeobuf",
                                   "GPX",     "ESRI Shapefile", "MapInfo File"};
    f.one_layer = std::any_of(std::begin(single), std::end(single),
                              [&](const char *d) { return f.driver == d; });
    f.mixed_geometry = f.driver != "ESRI Shapefile";
    return f;
}

Staging::Staging(const fs::path &final_path, bool folder) : final_(final_path), folder_(folder) {
    fs::path parent = final_.parent_path();
    if (parent.empty())
        parent = ".";
    std::error_code ec;
    if (!fs::is_directory(parent, ec))
        throw ConvertError("the folder " + parent.string() + " does not exist");
    std::string tmpl = (parent / ".tavi-convert-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw ConvertError("cannot write in " + parent.string());
    dir_ = tmpl;
    staged_ = dir_ / final_.filename();
}

Staging::~Staging() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void Staging::commit() {
    std::error_code ec;
    const fs::path from = folder_ ? staged_ : dir_;
    const fs::path to = folder_ ? final_ : final_.parent_path();
    if (folder_) {
        fs::create_directories(final_, ec);
        if (ec)
            throw ConvertError("cannot make the folder " + final_.string() + ": " + ec.message());
    }
    std::vector<fs::path> names;
    for (const fs::directory_entry &e : fs::directory_iterator(from, ec))
        names.push_back(e.path().filename());
    if (ec)
        throw ConvertError("cannot read back " + from.string() + ": " + ec.message());
    // The main file last: its companions are in place when it appears.
    std::stable_partition(names.begin(), names.end(),
                          [&](const fs::path &n) { return n != final_.filename(); });
    for (const fs::path &n : names) {
        fs::rename(from / n, to / n, ec);
        if (ec)
            throw ConvertError("cannot write " + (to / n).string() + ": " + ec.message());
    }
}

} // namespace convert
