#pragma once

#include <QIcon>
#include <QPixmap>

namespace tenlo::app {

// The program's pictures, drawn rather than shipped as bitmap files: the application icon (a
// chip in a programmer's socket) and the 16 × 15 toolbar buttons.
QIcon ApplicationIcon();
// The application icon at size x size pixels (the desktop's icon theme wants several sizes).
QPixmap ApplicationPixmap(int size);
// TenloUpdate's picture for the desktop: the application icon with a firmware badge.
QPixmap UpdaterPixmap(int size);
// The button of a toolbar command (32771 ... 32782); a null icon for any other id.
QIcon ToolbarIcon(int command);

}  // namespace tenlo::app
