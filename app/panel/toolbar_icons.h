// The control panel's toolbar pictures, drawn rather than loaded so that the program
// carries no image files of its own.
#pragma once

#include <QIcon>

namespace app {

QIcon zoom_in_icon();
QIcon zoom_out_icon();
QIcon zoom_window_icon();
QIcon pan_icon();
QIcon goto_object_icon();
QIcon text_search_icon();
QIcon object_point_search_icon();
QIcon site_point_search_icon();
QIcon site_polygon_search_icon();
QIcon site_line_search_icon();
QIcon enquiry_icon();

} // namespace app
