// The program's pointer numbers (0 default, 2 cross, 5 size-all, 11 busy, ...) as the
// toolkit's cursor shapes, for the windows that set their own pointer.
#pragma once

#include <Qt>

namespace pointers {

// Unknown numbers give the arrow: a wrong setting must never leave a window without
// a pointer.
Qt::CursorShape pointer_shape(int pointer);

} // namespace pointers
