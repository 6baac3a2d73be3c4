#pragma once

#include <QRect>

class QWidget;

namespace mk {

// Room a window manager's frame takes around a window before the frame is known: borders and a
// title bar.
inline constexpr int kFrameAllowanceWidth = 8;
inline constexpr int kFrameAllowanceHeight = 36;

// Keeps a top-level window inside `available` (a screen's available geometry): a size larger than
// the area, less the frame, is cut down to it, never below the window's minimum, so grids and
// lists scroll instead of running off the screen; then the window is moved wholly inside.
void fitIntoArea(QWidget* window, const QRect& available);

// The same against the available geometry of the screen the window is on.
void fitIntoScreen(QWidget* window);

} // namespace mk
