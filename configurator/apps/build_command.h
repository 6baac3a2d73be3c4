#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/message_sink.h"
#include "image/build_clock.h"

namespace mk {

// The headless build for production lines and CI:
//   mosaicor-build [--master DIR] [--time YYYY-MM-DDTHH:MM:SS] [--no-merge] PROJECT_DIR
struct BuildOptions {
    std::filesystem::path project_dir;
    std::optional<std::filesystem::path> master_dir;
    std::optional<BuildStamp> time;
    bool merge = true;
};

struct HelpRequest {};
struct UsageError {
    std::string text;
};

using ParsedCommand = std::variant<BuildOptions, HelpRequest, UsageError>;

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// No bank was inserted: the base image has no page for either; nothing was written.
inline constexpr int kExitNoBankInserted = 3;
// The image was made without one bank, which the base image has no page for.
inline constexpr int kExitBankMissing = 4;
// The folder holds none of the project's table files; nothing was written.
inline constexpr int kExitNotAProject = 5;

std::string build_command_usage();

ParsedCommand parse_build_command(int argc, const char* const argv[]);

// "YYYY-MM-DDTHH:MM:SS" with every field in its range.
std::optional<BuildStamp> parse_build_time(const std::string& text);

// The same sequence as "Up date Device": build, bank files, bankg.c, then the merge with the base
// image that the project's PDO layout option picks, from the first of `default_masters` that
// holds it unless the options name a folder. It never starts the loader. The merge takes the
// banks from memory, and the bank outputs and the merged image are written as one set, so a build
// that cannot deliver the image changes no file. A folder holding none of the table files is
// refused. Returns the exit status that build_command_usage() lists.
int run_build_command(const BuildOptions& options,
                      const std::vector<std::filesystem::path>& default_masters, MessageSink& sink);

} // namespace mk
