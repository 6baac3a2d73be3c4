#pragma once

#include "firmware/gathered_messages.h"

class QDialog;
class QWidget;

namespace mk {

// The box that ends a run whose messages were gathered: the heading, the list in a read-only
// text field that scrolls and can be selected, "Copy" (the whole list to the clipboard) and
// "OK". Nothing when no message was gathered. The caller owns the box.
QDialog* gathered_messages_box(QWidget* parent, const GatheringSink& run);

// Shows that box modally, when there is one.
void show_gathered_messages(QWidget* parent, const GatheringSink& run);

} // namespace mk
