#pragma once

#include <filesystem>
#include <optional>

#include "core/message_sink.h"
#include "firmware/output_set.h"
#include "image/banks.h"
#include "image/build_clock.h"

namespace mk {

// Takes the project's build lock and clears what an interrupted build left: the way back of a
// set whose replacement was cut off, and the temporary files of the bank outputs and merged
// images. Nothing, after its message, when another build of the project is running.
std::optional<ProjectLock> begin_project_build(const std::filesystem::path& project_dir,
                                               MessageSink& sink);

// The steps of "Up date Device" before the firmware window: the build, then the five bank files
// and bankg.c as one set. Missing-file messages do not stop it; an error that does is shown
// through the sink and the function returns false, so the firmware window is not shown, and
// every bank output keeps what it held. An empty project directory (the current folder vanished
// and no other was chosen) gives "Project not valid".
bool build_and_write_banks(const std::filesystem::path& project_dir, Banks& banks,
                           MessageSink& sink, const Clock& clock);

} // namespace mk
