#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "regprobe/messages.h"

namespace rp {

inline constexpr const char* kApplicationTitle = "Regprobe";

// Shows the window's texts in message boxes: over an open modal box if there is one, otherwise
// over the main window (so a box from a timer tick does not end up in a corner of the screen).
class QtMessages : public Messages {
public:
    void setMainWindow(QWidget* window) { main_ = window; }
    void show(std::string_view text, MessageKind kind) override;

private:
    QWidget* main_ = nullptr;
};

// The text as a box shows it: the CR LF pairs of a read result become line breaks.
QString display_text(std::string_view text);

// The plain message box for `body`, not yet shown. A text of more lines than a box can show
// on the screen (a read of a long block gives one line per register) goes into a scrolling,
// selectable text area, so that the box and its OK button stay on the screen.
std::unique_ptr<QDialog> plain_box(QWidget* parent, const QString& title, const QString& body);

} // namespace rp
