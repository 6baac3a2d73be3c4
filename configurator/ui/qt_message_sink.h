#pragma once

#include <QString>

#include "core/message_sink.h"

class QWidget;

namespace mk {

// Shows each message in a message box over the given window (or the active one), in order.
class QtMessageSink : public MessageSink {
public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void show(std::string_view text, MessageKind kind) override;
    // A box with "Yes" and "No"; "No" is the default button and the answer of Escape.
    bool ask(std::string_view question) override;
    // The window a box goes over when no window of the program is active (the main window).
    void setFallbackParent(QWidget* fallback) { fallback_ = fallback; }

private:
    QWidget* boxParent() const;

    QWidget* parent_;
    QWidget* fallback_ = nullptr;
};

// The standard error box: an error that ended an operation, shown with its own text.
void show_error_box(QWidget* parent, const QString& text);

// The title of every message box of the configurator.
inline constexpr const char* kApplicationTitle = "Firmware Mosaicor";

} // namespace mk
