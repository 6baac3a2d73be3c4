#include "shell/directories.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "shell/project_ops.h"
#include "shell/settings_file.h"

namespace mk {

namespace fs = std::filesystem;

bool is_installed_program_folder(const fs::path& executable_dir) {
    std::error_code ec;
    const fs::path entry = executable_dir.parent_path() / "share" / "applications" /
                           (std::string(kDesktopEntryId) + ".desktop");
    return fs::exists(entry, ec);
}

fs::path choose_program_dir(const fs::path& executable_dir, const char* xdg_data_home,
                            const char* home) {
    // Root may write into /usr/bin; an installation stays untouched all the same.
    if (!is_installed_program_folder(executable_dir) && ::access(executable_dir.c_str(), W_OK) == 0)
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

ProgramFolders program_folders_for_this_process() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path exe_dir = ec ? fs::current_path() : exe.parent_path();
    return {choose_program_dir(exe_dir, std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
            exe_dir};
}

std::vector<fs::path> master_search_dirs(const ProgramFolders& folders, const char* xdg_data_dirs) {
    std::vector<fs::path> dirs;
    const auto add = [&dirs](const fs::path& dir) {
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end())
            dirs.push_back(dir);
    };
    if (is_installed_program_folder(folders.executable_dir)) {
        const std::string list =
            xdg_data_dirs && *xdg_data_dirs ? xdg_data_dirs : "/usr/local/share:/usr/share";
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t end = std::min(list.find(':', start), list.size());
            const fs::path base = list.substr(start, end - start);
            // Relative entries are invalid in the list and ignored, as the XDG rules say.
            if (base.is_absolute())
                add(base / kSharedDataFolder / "MASTER");
            start = end + 1;
        }
        add(folders.executable_dir.parent_path() / "share" / kSharedDataFolder / "MASTER");
    } else {
        add(folders.executable_dir / "MASTER");
    }
    if (folders.program_dir != folders.executable_dir)
        add(folders.program_dir / "MASTER");
    return dirs;
}

std::vector<fs::path> master_search_dirs(const ProgramFolders& folders) {
    return master_search_dirs(folders, std::getenv("XDG_DATA_DIRS"));
}

fs::path settings_path(const ProjectState& state) {
    return state.program_dir / kSettingsFileName;
}

std::string start_up(ProjectState& state, const ProgramFolders& folders) {
    std::error_code ec;
    state.program_dir = folders.program_dir;
    state.master_dirs = master_search_dirs(folders);
    state.projects_dir = folders.program_dir / "PROJECTS";
    // One level each; a failure shows later, in the operations that need the folder. Only the
    // program directory is written: an installed program's own folder is left as it is.
    fs::create_directory(state.master_dirs.back(), ec);
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
