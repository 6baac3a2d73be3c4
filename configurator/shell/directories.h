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
inline constexpr const char* kDesktopEntryId = "example.veltrisa.MosaicorKv";

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

// The MASTER folders searched for a base image, in order: the one beside the program file, then
// the program directory's when that is another folder. The last is where the user puts them.
std::vector<std::filesystem::path> master_search_dirs(const ProgramFolders& folders);

// Start-up of the main window: sets the directories, creates MASTER and PROJECTS of the program
// directory when missing (failures ignored), restores the last project named in the settings
// file when its folder still exists. Returns the caption the main window shows.
std::string start_up(ProjectState& state, const ProgramFolders& folders);

std::filesystem::path settings_path(const ProjectState& state);

} // namespace mk
