#include "state/view_state.h"

#include "platform/base/numbers.h"
#include "zent32i_binding.h"

namespace state {

namespace {

constexpr int32_t kPlanProjection = 1;

} // namespace

void Set_Library_View(const ViewState &v) {
    zt::ZT_Set_PB_Scale_Vars(v.View_Scale, v.View_X_Min, v.View_Y_Min, v.View_X_Max, v.View_Y_Max,
                             v.View_Height_Units, v.View_Width_Units,
                             num::nearest_clamped(v.Window_Height),
                             num::nearest_clamped(v.Window_Width), 0.0, v.View_Centre_X,
                             v.View_Centre_Y, kPlanProjection, v.Z_Datum);
}

namespace {

ViewState::Extent extent_of(const ViewState &v) {
    return ViewState::Extent{v.View_X_Min, v.View_Y_Min,       v.View_X_Max,       v.View_Y_Max,
                             v.View_Scale, v.View_Width_Units, v.View_Height_Units};
}

void set_extent(ViewState &v, const ViewState::Extent &e) {
    v.View_X_Min = e.x_min;
    v.View_Y_Min = e.y_min;
    v.View_X_Max = e.x_max;
    v.View_Y_Max = e.y_max;
    v.View_Scale = e.scale;
    v.View_Width_Units = e.width_units;
    v.View_Height_Units = e.height_units;
}

} // namespace

int32_t ReScale(ViewState &v) {
    int32_t result;
    if (v.Fine_Units != 0) {
        if (extent_of(v) == v.Tenths_Made) {
            set_extent(v, v.Whole_Units_Kept);
        } else {
            v.View_X_Min *= 0.1;
            v.View_Y_Min *= 0.1;
            v.View_X_Max *= 0.1;
            v.View_Y_Max *= 0.1;
            v.View_Width_Units = num::nearest_clamped(v.View_Width_Units * 0.1);
            v.View_Height_Units = num::nearest_clamped(v.View_Height_Units * 0.1);
            v.View_Scale *= 10.0;
        }
        result = 0;
    } else {
        v.Whole_Units_Kept = extent_of(v);
        v.View_X_Min *= 10.0;
        v.View_Y_Min *= 10.0;
        v.View_X_Max *= 10.0;
        v.View_Y_Max *= 10.0;
        // Extents beyond a tenth of the 32-bit range cannot be held in tenths; they stop
        // at its end rather than wrapping round to a negative view.
        v.View_Height_Units = num::clamp32(static_cast<int64_t>(v.View_Height_Units) * 10);
        v.View_Width_Units = num::clamp32(static_cast<int64_t>(v.View_Width_Units) * 10);
        v.View_Scale *= 0.1;
        v.Tenths_Made = extent_of(v);
        result = 1;
    }
    Set_Library_View(v);
    return result;
}

} // namespace state
