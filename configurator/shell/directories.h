#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/project_state.h"

namespace mk {

// Where a run keeps and finds its files. In portable use both are the folder of the program file.
// An installed program's folder is not written: the settings file and PROJECTS then live in the
// user's data folder, while MASTER, which is only read, is still looked for beside the program
// file first.
struct ProgramFolders {
    // One folder for everything: a portable installation.
    ProgramFolders(std::filesystem::path dir) : program_dir(dir), executable_dir(std::move(dir)) {}
    ProgramFolders(std::filesystem::path program, std::filesystem::path executable)
        : program_dir(std::move(program)), executable_dir(std::move(executable)) {}

    // Holds the settings file, PROJECTS and the MASTER folder that start-up creates.
    std::filesystem::path program_dir;
    // The folder of the program file.
    std::filesystem::path executable_dir;
};

// The desktop entry of the configurator. An installed configurator has it in
// ../share/applications beside its own folder, where `cmake --install` and the package put it.
inline constexpr const char* kDesktopEntryId = "example.veltrisa.mosaicor_kv";

// True for the folder of an installed program: it is never written at run time, not even when
// an administrator could.
bool is_installed_program_folder(const std::filesystem::path& executable_dir);

// The folder that holds the settings file and PROJECTS: the folder of the program file when it
// is writable and not an installed program's folder (portable use: the program and its
// projects travel together), otherwise $XDG_DATA_HOME/Mosaicor_Kv, or ~/.local/share/Mosaicor_Kv
// without XDG_DATA_HOME.
std::filesystem::path choose_program_dir(const std::filesystem::path& executable_dir,
                                         const char* xdg_data_home, const char* home);

// The same choice for this process, from its own executable and environment.
ProgramFolders program_folders_for_this_process();

// The folder of the configurator's shared files below a data folder (/usr/share/mosaicor-kv).
inline constexpr const char* kSharedDataFolder = "mosaicor-kv";

// The MASTER folders searched for a base image, in order. A portable copy looks beside the
// program file first. An installed program keeps no data beside itself: it looks in the shared
// data folders an administrator fills, <dir>/mosaicor-kv/MASTER for every folder of
// `xdg_data_dirs` (a colon-separated list, "/usr/local/share:/usr/share" when empty or null)
// and then in its own installation's share folder. Last comes the program directory's MASTER
// when that is another folder (the user's data folder): where the user puts base images.
std::vector<std::filesystem::path> master_search_dirs(const ProgramFolders& folders,
                                                      const char* xdg_data_dirs);
// The same with this process's XDG_DATA_DIRS.
std::vector<std::filesystem::path> master_search_dirs(const ProgramFolders& folders);

// Start-up of the main window: sets the directories, creates MASTER and PROJECTS of the program
// directory when missing (failures ignored), restores the last project named in the settings
// file when its folder still exists. Returns the caption the main window shows.
std::string start_up(ProjectState& state, const ProgramFolders& folders);

std::filesystem::path settings_path(const ProjectState& state);

} // namespace mk
