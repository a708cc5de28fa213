// What the drawing display shares with the rest of the map module: which drawing is
// being drawn, the switches that change how objects are painted, the last records
// read, and the working buffers of the current object.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "drawing/drawing_cache.h"
#include "drawing/drw_format.h"
#include "drawing/symbols.h"
#include "zent32i.h"

namespace drawing {

struct DisplayState {
    int Current_Drawing = 0;          // entry number in the drawing table, from 1
    bool Drawing_In_Progress = false; // the mouse handler leaves the readout alone meanwhile
    bool Abort_Drawing = false;       // set by a right-button release over the map
    int32_t Forced_Colour = 0;        // RGB overriding every object while flashing; 0 = none
    // How long each flash pass stays on the map before the next (headless callers that
    // only exercise the drawing, such as the fuzzing harness, set none).
    std::chrono::milliseconds Flash_Pause{200};
    bool Polygon_Filling = true;                // false draws every polygon as an outline
    std::array<int32_t, 256> Drawing_Palette{}; // indexed by an object's colour byte

    GroupRecord Group_State;           // last group record read
    ObjectHeader Object_State;         // last object header read
    AnnotationRecord Annotation_State; // last annotation record read

    // World points of the current object and their screen points. Both only ever
    // grow, to the largest object met so far (plus room for closing the ring and for
    // the clipper's crossings), so a whole object always fits and, once grown, drawing
    // allocates nothing.
    std::vector<ZT_Point3> Point_Buffer = std::vector<ZT_Point3>(1001);
    std::vector<ZT_Point2> Screen_Points = std::vector<ZT_Point2>(1501);
    int32_t Screen_Point_Count = 0;
    ZT_Point2 Last_Screen_Point{0, 0}; // last point the clipper appended, to drop repeats

    // The drawings' indexes and files kept between redraws, and the numbers of the
    // index entries a view may show (kept to save allocating them at every drawing).
    DrawingCache Drawing_Cache;
    std::vector<uint32_t> Index_Candidates;
    GroupElements Group_Scratch; // a group read from its file, to be drawn
    SymbolStamps Symbol_Stamps;  // the site points' symbols, one image a size
    // Off, a redraw takes none of its shortcuts: every index entry is walked, drawings are
    // read through the system, site symbols are drawn one by one. The picture is the same
    // either way; tests and benchmarks compare the two.
    bool Shortcuts = true;
};

} // namespace drawing
