#pragma once

#include <functional>
#include <string_view>

#include "core/message_sink.h"

namespace mk {

// Shown for a failure that is not the user's to read (out of memory, a fault in the program).
inline constexpr std::string_view kMsgUnexpectedFailure =
    "The operation could not be completed because of an internal error.";

// The one boundary of a window handler or command: runs one step and returns whether it
// completed. A UserError shows its own text; anything else shows kMsgUnexpectedFailure and its
// detail goes to standard error. Either way the program goes on.
bool run_guarded(MessageSink& sink, const std::function<void()>& step);

} // namespace mk
