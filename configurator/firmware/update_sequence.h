#pragma once

#include <filesystem>

#include "core/message_sink.h"
#include "firmware/banks.h"
#include "firmware/build_clock.h"

namespace mk {

// The steps of "Up date Device" before the firmware window: the build, the five bank files and
// bankg.c. Missing-file messages do not stop it; an error that does is shown through the sink
// and the function returns false, so the firmware window is not shown. An empty project
// directory (the current folder vanished and no other was chosen) gives "Project not valid".
bool build_and_write_banks(const std::filesystem::path& project_dir, Banks& banks,
                           MessageSink& sink, const Clock& clock);

} // namespace mk
