#pragma once

#include <QIcon>

namespace tenlo::app {

// The program's pictures, drawn rather than shipped as bitmap files: the application icon (a
// chip in a programmer's socket) and the 16 × 15 toolbar buttons.
QIcon ApplicationIcon();
// The button of a toolbar command (32771 ... 32782); a null icon for any other id.
QIcon ToolbarIcon(int command);

}  // namespace tenlo::app
