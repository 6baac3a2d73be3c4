#pragma once

#include <functional>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "image/banks.h"
#include "image/build_clock.h"

namespace mk {

class TFModifyFileSx;

// The "Up date Device" sequence of the main window: pending window events, the build, the bank
// files, bankg.c, then the firmware window, modally. An error that stops one step ends it.
std::function<void()> update_device_sequence(ProjectState& state, Banks& banks, MessageSink& sink,
                                             TFModifyFileSx& firmware,
                                             const Clock& clock = local_clock());

// The same steps up to (not including) the firmware window; returns whether it may be shown.
bool run_update_device_steps(const ProjectState& state, Banks& banks, MessageSink& sink,
                             const Clock& clock);

} // namespace mk
