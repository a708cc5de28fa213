// TAVI's own icon, for the title bars of every window (the desktop's menu entry uses the
// same drawing, installed beside the program).
#pragma once

#include <QIcon>

namespace app {

QIcon app_icon();

} // namespace app
