#pragma once

#include <QString>
#include <functional>
#include <string>

#include "core/message_sink.h"

namespace mk {

// Runs one step of a window handler. An error that ends the step (a conversion error, a failed
// save, an unreadable file) is shown with its own text and the window goes on; returns whether
// the step completed.
bool run_guarded(MessageSink& sink, const std::function<void()>& step);

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}

} // namespace mk
