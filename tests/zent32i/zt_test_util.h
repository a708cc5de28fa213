// Small helpers shared by the graphics-library tests. Everything goes through the
// viewer's binding, so the tests also exercise loading by name.
#pragma once

#include <vector>

#include "zent32i_binding.h"

namespace zt_test {

// A plan view: window (xmin, ymin)-(xmin + w/scale, ymin + h/scale), screen w x h.
inline void plan_view(double scale, double xmin, double ymin, int w, int h, int mode = 1,
                      double exaggeration = 0.0, int datum = 0) {
    const double xmax = xmin + w / scale, ymax = ymin + h / scale;
    zt::ZT_Set_PB_Scale_Vars(scale, xmin, ymin, xmax, ymax, static_cast<int32_t>(h / scale),
                             static_cast<int32_t>(w / scale), h, w, exaggeration, 0, 0, mode,
                             datum);
}

inline ZT_Point3Array view_of(std::vector<ZT_Point3> &v) {
    return ZT_Point3Array{v.data(), static_cast<int32_t>(v.size())};
}
inline ZT_Point2Array view_of(std::vector<ZT_Point2> &v) {
    return ZT_Point2Array{v.data(), static_cast<int32_t>(v.size())};
}

inline bool operator==(const ZT_Point2 &a, const ZT_Point2 &b) {
    return a.x == b.x && a.y == b.y;
}

} // namespace zt_test
