#include "shell/project_ops.h"

#include <system_error>

#include "tables/pargen_table.h"

namespace mk {

namespace fs = std::filesystem;

bool is_name_below_folder(const std::string& name) {
    if (name.find('\0') != std::string::npos)
        return false;
    const fs::path p(name);
    if (p.is_absolute())
        return false;
    for (const auto& part : p)
        if (part == "..")
            return false;
    return true;
}

std::string normalised_project_name(const std::string& name) {
    std::string normal = fs::path(name).lexically_normal().string();
    while (!normal.empty() && normal.back() == '/')
        normal.pop_back();
    return normal == "." ? std::string() : normal;
}

void forget_vanished_project_dir(ProjectState& state) {
    std::error_code ec;
    if (!state.project_dir.empty() && !fs::is_directory(state.project_dir, ec))
        state.project_dir.clear();
}

std::string project_name_below(const fs::path& projects_dir, const fs::path& dir) {
    const std::string root = projects_dir.string();
    const std::string text = dir.string();
    // The name is what follows "PROJECTS/" in the folder's path.
    if (text.size() <= root.size() + 1 || text.compare(0, root.size(), root) != 0 ||
        text[root.size()] != '/')
        return {};
    std::string name = text.substr(root.size() + 1);
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    return name;
}

void reload_pdo_layout(ProjectState& state) {
    state.pdo_layout = state.project_dir.empty() ? 0 : load_pdo_layout(state.project_dir);
}

std::string apply_opened_project(ProjectState& state, const std::optional<fs::path>& chosen) {
    if (chosen)
        state.project_dir = *chosen;
    state.project_name = project_name_below(state.projects_dir, state.project_dir);
    reload_pdo_layout(state);
    return caption_for(state.project_name);
}

bool create_project(ProjectState& state, const fs::path& destination, const std::string& name,
                    MessageSink& sink) {
    bool may_close = true;
    if (destination.empty()) {
        sink.show(kMsgDestinationNotValid, MessageKind::Warning);
        may_close = false;
    }
    if (name.empty()) {
        sink.show(kMsgNameNotValid, MessageKind::Warning);
        may_close = false;
    }
    if (!may_close)
        return false;

    // The name goes to the file system as typed: no trimming, no character check. A name the
    // file system cannot hold, or one that would put the project outside the destination
    // (an absolute path, a ".." step), is refused like any folder that cannot be created.
    if (!is_name_below_folder(name))
        return false;
    // The project is named after the folder the name makes, so "trail/" is the project trail
    // in the caption and the settings file alike.
    const std::string folder_name = normalised_project_name(name);
    const fs::path folder = folder_name.empty() ? destination : destination / folder_name;
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        sink.show(kMsgNameExists, MessageKind::Warning);
        return false;
    }
    // One level only: a name whose parent part does not exist fails here, without a message.
    if (!fs::create_directory(folder, ec) || ec)
        return false;
    fs::create_directories(folder / "bin", ec);
    state.project_name = folder_name;
    state.project_dir = folder;
    return true;
}

} // namespace mk
