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

bool holds_unsafe_name_character(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool c1_control = c == 0xC2 && i + 1 < name.size() &&
                                static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                                static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1_control)
            return true;
    }
    return holds_loader_delimiter(name);
}

std::string project_not_created_message(const fs::path& folder, const std::error_code& reason) {
    return "Project not created: the folder \"" + folder.string() + "\" cannot be made (" +
           reason.message() + ").";
}

std::string projects_folder_missing_message(const fs::path& destination,
                                            const std::error_code& reason) {
    return "Project not created: the folder of the projects, \"" + destination.string() +
           "\", does not exist and cannot be made (" + reason.message() + ").";
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

    // The name goes to the file system as typed, without trimming. A line break would split the
    // settings file's line and a quote or ¶ the loader's command line, so these are refused, as
    // is a name that would put the project outside the destination (an absolute path, "..").
    if (holds_unsafe_name_character(name)) {
        sink.show(kMsgNameUnsafe, MessageKind::Warning);
        return false;
    }
    if (!is_name_below_folder(name)) {
        sink.show(kMsgNameOutside, MessageKind::Warning);
        return false;
    }
    // The project is named after the folder the name makes, so "trail/" is the project trail
    // in the caption and the settings file alike.
    const std::string folder_name = normalised_project_name(name);
    const fs::path folder = folder_name.empty() ? destination : destination / folder_name;
    std::error_code ec;
    // Start-up makes the folder of the projects; when it could not (nothing writable) or the
    // folder went since, it is made now, or the user is told why it cannot be.
    if (!fs::is_directory(destination, ec) && !fs::create_directories(destination, ec) && ec) {
        sink.show(projects_folder_missing_message(destination, ec), MessageKind::Error);
        return false;
    }
    if (fs::exists(folder, ec)) {
        sink.show(kMsgNameExists, MessageKind::Warning);
        return false;
    }
    // One level only: a name whose parent part does not exist fails here.
    if (!fs::create_directory(folder, ec) || ec) {
        if (!ec) // made by someone else since it was looked for
            ec = std::make_error_code(std::errc::file_exists);
        sink.show(project_not_created_message(folder, ec), MessageKind::Error);
        return false;
    }
    fs::create_directories(folder / "bin", ec);
    state.project_name = folder_name;
    state.project_dir = folder;
    return true;
}

} // namespace mk
