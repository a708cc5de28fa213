// Flashing a drawn object: its group is drawn once in a bright highlight, filled, and a
// moment later again in its own colours, so that the user sees where it lies. The object
// is named by the unit its group starts at, or by its reference, which the drawing's
// object table (a dBASE file beside it) turns into the groups that hold it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "drawing/display.h"

namespace drawing {

inline constexpr gdi::Colour kFlashColour = gdi::rgb(249, 249, 10);

// Flashes, in drawing number drnum of the table, the group starting at unit seekto when
// seekto > 0, else every group whose object-table record holds the reference ref (cut
// or padded to 12 characters). Each pass is shown as soon as it is drawn (ui.show), stays
// for a pause (the display options' Flash_Pause) and then lets events run. A drawing
// number outside the project, a missing drawing and a missing or unreadable object table
// draw nothing and say so in the status bar; nothing is ever created. The view is left in
// whole units, filling as it was, no colour forced, and the picture as it was before the
// flash where the highlight is not drawn over again (the fill, when polygons are not
// filled).
void Flash_DRW(DisplayContext &ctx, int32_t drnum, const std::string &ref, int32_t seekto);

} // namespace drawing
