// What both directions of the converter need from GDAL/OGR: handles that close
// themselves, the national grid's coordinate reference system, and GDAL's own account of
// its last failure (its messages are kept off the terminal; we say what went wrong in
// one line of our own).
#pragma once

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <memory>
#include <string>

namespace convert {

// EPSG code of the national grid: metres east and north of the grid's false origin.
inline constexpr int kNationalGridEpsg = 27700;

// World units are hundredths of a metre; tenth-unit groups store thousandths.
inline constexpr double kUnitsPerMetre = 100.0;

// Registers the drivers once and silences GDAL's own printing for the process.
void init_gdal();

// GDAL's message for the last failure, or `fallback` when it gave none.
std::string gdal_error(const std::string &fallback);

struct DatasetCloser {
    void operator()(void *ds) const { GDALClose(static_cast<GDALDatasetH>(ds)); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct FeatureDestroyer {
    void operator()(void *f) const { OGR_F_Destroy(static_cast<OGRFeatureH>(f)); }
};
using Feature = std::unique_ptr<void, FeatureDestroyer>;

struct GeometryDestroyer {
    void operator()(void *g) const { OGR_G_DestroyGeometry(static_cast<OGRGeometryH>(g)); }
};
using Geometry = std::unique_ptr<void, GeometryDestroyer>;

struct SrsReleaser {
    void operator()(void *s) const { OSRRelease(static_cast<OGRSpatialReferenceH>(s)); }
};
using Srs = std::unique_ptr<void, SrsReleaser>;

struct TransformDestroyer {
    void operator()(void *t) const {
        OCTDestroyCoordinateTransformation(static_cast<OGRCoordinateTransformationH>(t));
    }
};
using Transform = std::unique_ptr<void, TransformDestroyer>;

// The national grid, with easting first whatever the CRS's declared axis order.
Srs national_grid();

// Whether srs is the national grid (or equivalent to it).
bool is_national_grid(OGRSpatialReferenceH srs);

} // namespace convert
