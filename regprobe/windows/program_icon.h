#pragma once

#include <QIcon>

namespace rp {

// Regprobe's icon, the same picture as its menu entry's, for window managers that do not take it
// from the menu entry.
QIcon regprobeIcon();

} // namespace rp
