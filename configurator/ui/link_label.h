#pragma once

#include <QLabel>

namespace mk {

// A label showing `text` as a link to `target`, reachable with the mouse and the keyboard.
// The window connects linkActivated to its own handler.
QLabel* makeLinkLabel(const QString& target, const QString& text, QWidget* parent);

} // namespace mk
