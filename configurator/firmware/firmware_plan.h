#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/message_sink.h"
#include "firmware/program_starter.h"
#include "firmware/srecord_merge.h"

namespace mk {

inline constexpr const char* kBaseImage15Rpdo = "RZ41902_15_3.sx";
inline constexpr const char* kBaseImage8Rpdo = "RZ41902_8_8.sx";
inline constexpr const char* kLoaderFileName = "Progmule.exe";
inline constexpr std::string_view kMsgLoaderNotFound = "Progmule.exe Not Found, Procedure Aborted";
inline constexpr std::string_view kMsgLoaderNotStarted =
    "Progmule.exe Not Started, Procedure Aborted";
inline constexpr std::string_view kMsgError = "Error";
inline constexpr std::string_view kMsgLoaderPathRefused =
    "Progmule.exe not started: the path of the new image holds a double quote (\") or ¶, which "
    "would cut the loader's command line at the wrong place. Rename the folder and update again.";

// RZ41902_8_8.sx for any layout but 0, RZ41902_15_3.sx for 0.
std::string base_image_name(int pdo_layout);
// "Error file " + base image name + " not found", followed by the folders where it was looked for
// and the one to put it in (the last of them).
std::string base_image_not_found_message(const std::string& base_name,
                                         const std::vector<std::filesystem::path>& searched);

// "Progmule.exe Not Found, Procedure Aborted", then the folder it was looked for in (and what
// stands there in its place, a dangling link for one).
std::string loader_not_found_message(const std::filesystem::path& program_dir);
// "Progmule.exe Not Started, Procedure Aborted", then the loader's path and why the system could
// not start it.
std::string loader_not_started_message(const std::filesystem::path& loader,
                                       const std::error_code& why);

// What the firmware window fixes when it opens and uses when the merge runs.
struct FirmwarePlan {
    // The MASTER folder the base image was found in.
    std::filesystem::path master_dir;
    std::string base_name;
    std::filesystem::path bank_dir;
    // The project directory as text, with a trailing separator.
    std::string project_path;
    std::string output_name;

    std::filesystem::path base_image() const { return master_dir / base_name; }
    std::filesystem::path merged_image() const { return project_path + output_name; }
};

// Prepares the merge for a project: picks the base image by the PDO layout option and takes it
// from the first of the MASTER folders that holds it ("Error file ... not found" and where to put
// it otherwise). With `make_master_current` that MASTER folder becomes the process's current
// directory, which the loader inherits ("Error" when that fails). Returns nothing when the merge
// cannot run.
std::optional<FirmwarePlan> prepare_firmware(const std::vector<std::filesystem::path>& master_dirs,
                                             const std::filesystem::path& project_dir,
                                             int pdo_layout, MessageSink& sink,
                                             bool make_master_current);

// Runs the whole merge and checks its result. The merge shows its own messages; when it says a
// new image was made but the file is not there, "File *.Sx Not Found,Abort Procedure" follows.
// An image left by an earlier run is never taken for this one.
MergeOutcome merge_firmware(const FirmwarePlan& plan, MessageSink& sink, MergeProgress& progress);

// The loader's parameter string: the quoted full path of the merged image, the pilcrow sign
// (UTF-8, the encoding of this system's text) and the port index in decimal (0 for COM1).
std::string loader_parameters(const FirmwarePlan& plan, int port_index);

// "Execute update firmware": the merge, then, when it made a new image, the loader from the
// program directory with the parameter string, started without waiting for it. A merge that
// stopped or inserted no bank never reaches the loader, nor does an image whose path holds a
// sign of the command line (kMsgLoaderPathRefused and the path); a loader that is missing or
// cannot be started is reported with where it was looked for and why.
void execute_update(const FirmwarePlan& plan, int port_index,
                    const std::filesystem::path& program_dir, MessageSink& sink,
                    MergeProgress& progress, ProgramStarter& starter);

} // namespace mk
