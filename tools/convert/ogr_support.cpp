#include "tools/convert/ogr_support.h"

#include <cpl_error.h>

#include <mutex>

#include "tools/convert/convert_error.h"

namespace convert {

void init_gdal() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        // Failures are still recorded for CPLGetLastErrorMsg(); only the printing goes.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

std::string gdal_error(const std::string &fallback) {
    const char *msg = CPLGetLastErrorMsg();
    std::string s = msg != nullptr ? msg : "";
    // Some drivers end their messages with a line break; ours are one line.
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s.empty() ? fallback : s;
}

Srs national_grid() {
    Srs srs(OSRNewSpatialReference(nullptr));
    if (OSRImportFromEPSG(static_cast<OGRSpatialReferenceH>(srs.get()), kNationalGridEpsg) !=
        OGRERR_NONE)
        throw ConvertError(gdal_error("the coordinate system EPSG:27700 is unknown to PROJ"));
    OSRSetAxisMappingStrategy(static_cast<OGRSpatialReferenceH>(srs.get()),
                              OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

bool is_national_grid(OGRSpatialReferenceH srs) {
    const Srs grid = national_grid();
    const char *options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                             "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
    return OSRIsSameEx(srs, static_cast<OGRSpatialReferenceH>(grid.get()), options) != 0;
}

} // namespace convert
