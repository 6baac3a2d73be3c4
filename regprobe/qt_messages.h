#pragma once

#include <QString>

#include "regprobe/messages.h"

class QWidget;

namespace rp {

inline constexpr const char* kApplicationTitle = "Regprobe";

// Shows the window's texts in message boxes over the window that is active.
class QtMessages : public Messages {
public:
    void show(std::string_view text, MessageKind kind) override;
};

// The text as a box shows it: the CR LF pairs of a read result become line breaks.
QString display_text(std::string_view text);

} // namespace rp
