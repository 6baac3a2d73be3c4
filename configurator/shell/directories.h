#pragma once

#include <filesystem>
#include <string>

#include "core/project_state.h"

namespace mk {

// The folder that holds the settings file, MASTER and PROJECTS: the folder of the program file
// when it is writable (portable use: the program and its projects travel together), otherwise
// $XDG_DATA_HOME/Mosaicor_Kv, or ~/.local/share/Mosaicor_Kv without XDG_DATA_HOME.
std::filesystem::path choose_program_dir(const std::filesystem::path& executable_dir,
                                         const char* xdg_data_home, const char* home);

// The same choice for this process, from its own executable and environment.
std::filesystem::path program_dir_for_this_process();

// Start-up of the main window: sets the directories, creates MASTER and PROJECTS when missing
// (failures ignored), restores the last project named in the settings file when its folder
// still exists. Returns the caption the main window shows.
std::string start_up(ProjectState& state, const std::filesystem::path& program_dir);

std::filesystem::path settings_path(const ProjectState& state);

} // namespace mk
