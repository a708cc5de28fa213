// What the control panel asks of the map window. The map window (frmDrawing)
// implements it; tests can implement it with a recorder.
#pragma once

#include <QRect>

#include <cstdint>
#include <string>

namespace project {
class Session;
}

namespace app {

class MapWindowApi {
  public:
    virtual ~MapWindowApi() = default;

    // The one full redraw.
    virtual void Redraw_Everything() = 0;
    // Navigation: zoom by a factor about the centre, the maximum view, and arming the
    // zoom-window and pan drags (Pan returns when the drag is over).
    virtual void Zoom(double zoomby) = 0;
    virtual void zoomext() = 0;
    virtual void ZoomWindow() = 0;
    virtual void Pan() = 0;
    // Grid and furniture over the picture (the end of a project load).
    virtual void Draw_Grid(int flag) = 0;
    // The map window's pointer, by the program's pointer numbers.
    virtual void set_pointer(int pointer) = 0;
    // The session the map shows: its state, picture and device context, through which
    // the project is loaded and the site list plotted.
    virtual project::Session &session() = 0;
    // Maximised inside the frame.
    virtual void maximise() = 0;
    // Flashes a drawn object: in drawing drnum, the group at unit seekto when above 0,
    // else the groups holding the reference.
    virtual void Flash_DRW(int32_t drnum, const std::string &ref, int32_t seekto) = 0;
    // Shows on screen what was drawn into the picture outside a redraw (plotted points).
    virtual void show_picture() = 0;
    // Where the map lies on the screen (global coordinates); empty when it is not shown.
    virtual QRect screen_area() const { return {}; }
    // Marks the world point (x, y) on the map for a moment: the place just gone to.
    virtual void mark_place(int32_t /*x*/, int32_t /*y*/) {}
    // The keyboard's pointer goes to the map's centre: the place the map was just
    // centred on (a site, an object).
    virtual void keyboard_pointer_to_centre() {}
};

} // namespace app
