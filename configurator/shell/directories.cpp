#include "shell/directories.h"

#include <cstdlib>
#include <system_error>

#include <unistd.h>

#include "shell/project_ops.h"
#include "shell/settings_file.h"

namespace mk {

namespace fs = std::filesystem;

std::filesystem::path choose_program_dir(const fs::path& executable_dir, const char* xdg_data_home,
                                         const char* home) {
    if (::access(executable_dir.c_str(), W_OK) == 0)
        return executable_dir;
    fs::path base;
    if (xdg_data_home && *xdg_data_home)
        base = xdg_data_home;
    else if (home && *home)
        base = fs::path(home) / ".local" / "share";
    else
        return executable_dir;
    const fs::path dir = base / "Mosaicor_Kv";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::filesystem::path program_dir_for_this_process() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path exe_dir = ec ? fs::current_path() : exe.parent_path();
    return choose_program_dir(exe_dir, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

fs::path settings_path(const ProjectState& state) {
    return state.program_dir / kSettingsFileName;
}

std::string start_up(ProjectState& state, const fs::path& program_dir) {
    std::error_code ec;
    state.program_dir = program_dir;
    state.master_dir = program_dir / "MASTER";
    state.projects_dir = program_dir / "PROJECTS";
    // One level each; a failure shows later, in the operations that need the folder.
    fs::create_directory(state.master_dir, ec);
    fs::create_directory(state.projects_dir, ec);

    state.project_name = read_last_project(settings_path(state));
    // The project is the folder the name makes: "plant3/" and "./plant3" are plant3.
    const std::string folder_name = is_name_below_folder(state.project_name)
                                        ? normalised_project_name(state.project_name)
                                        : std::string();
    const fs::path remembered = state.projects_dir / folder_name;
    if (!folder_name.empty() && fs::is_directory(remembered, ec)) {
        state.project_name = folder_name;
        state.project_dir = remembered;
        return caption_for(state.project_name);
    }
    // The name stays as read, so it is written back unchanged at the end of the run.
    state.project_dir = state.projects_dir;
    return caption_for("");
}

} // namespace mk
