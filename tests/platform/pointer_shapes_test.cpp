#include <gtest/gtest.h>

#include "platform/surface/pointer_shapes.h"

namespace {

TEST(PointerShapes, TheProgramsNumbersAndAnythingElse) {
    using pointers::pointer_shape;
    EXPECT_EQ(pointer_shape(2), Qt::CrossCursor);   // the idle map pointer
    EXPECT_EQ(pointer_shape(5), Qt::SizeAllCursor); // grabbing the scale bar, panning
    EXPECT_EQ(pointer_shape(11), Qt::WaitCursor);   // busy
    // A wrong setting must never leave a window without a pointer.
    for (int p : {0, 1, -1, 99, 1 << 30})
        EXPECT_EQ(pointer_shape(p), Qt::ArrowCursor) << p;
}

} // namespace
