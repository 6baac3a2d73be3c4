#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "core/message_sink.h"
#include "core/project_state.h"

namespace mk {

inline constexpr const char* kMsgDestinationNotValid = "directory destination not valid";
inline constexpr const char* kMsgNameNotValid = "Name project not valid";
inline constexpr const char* kMsgNameExists =
    "Name project not valid because directory already exists";
inline constexpr const char* kMsgNameUnsafe =
    "Name project not valid because it holds a control character, a double quote (\") or ¶";
inline constexpr const char* kMsgNameOutside =
    "Name project not valid because it names a folder outside the folder of the projects";

// Whether a name typed for a new project holds what the settings file or the loader's command
// line cannot carry: a control character (line breaks and tabs among them, C1 controls
// included), a double quote or the sign ¶.
bool holds_unsafe_name_character(std::string_view name);

// Why the folder of a new project could not be made, with the system's reason:
// "Project not created: the folder \"/p/PROJECTS/x\" cannot be made (Permission denied)."
std::string project_not_created_message(const std::filesystem::path& folder,
                                        const std::error_code& reason);
// "Project not created: the folder of the projects, \"/p/PROJECTS\", does not exist and cannot
// be made (Permission denied)."
std::string projects_folder_missing_message(const std::filesystem::path& destination,
                                            const std::error_code& reason);

// Whether a project name, joined to a folder, names a folder below it: no absolute path, no
// ".." step, no byte the file system cannot hold. Names from the New project dialog and from a
// possibly damaged settings file must not make a folder elsewhere the project.
bool is_name_below_folder(const std::string& name);

// The name of the folder a project name makes below PROJECTS: "." steps, doubled and trailing
// separators removed ("./plant3/" is plant3). A name that makes PROJECTS itself gives "".
std::string normalised_project_name(const std::string& name);

// Before the folder chooser opens: a project folder that vanished from disk leaves the project
// directory empty, so that a cancelled choice leaves no project current.
void forget_vanished_project_dir(ProjectState& state);

// After the folder chooser: the chosen folder (nothing when cancelled) becomes the project
// directory, the project name is its path below PROJECTS and the PDO layout option is reloaded.
// Returns the new caption.
std::string apply_opened_project(ProjectState& state,
                                 const std::optional<std::filesystem::path>& chosen);

// The path of `dir` below the PROJECTS folder, empty for PROJECTS itself or an empty dir.
std::string project_name_below(const std::filesystem::path& projects_dir,
                               const std::filesystem::path& dir);

// The New project dialog's OK: checks the destination and the name as typed, creates the folder
// and its "bin" subfolder and makes it the current project. Messages go to the sink, both of the
// first two when both apply; a name with a character of holds_unsafe_name_character, one that
// leads outside the destination and a folder that cannot be made are refused with a message. A
// missing destination is made first (with its parents), as start-up would have.
// Returns whether the dialog may close with OK.
bool create_project(ProjectState& state, const std::filesystem::path& destination,
                    const std::string& name, MessageSink& sink);

// Reloads the PDO layout option from the current project's pargen.xml.
void reload_pdo_layout(ProjectState& state);

} // namespace mk
