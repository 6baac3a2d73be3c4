#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/table_file.h"

namespace mk {

// Shown when an operation needs a project folder and there is none.
inline constexpr const char* kMsgProjectNotValid = "Project not valid";

inline constexpr const char* kBaseCaption = "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :";
inline constexpr const char* kDefaultDeviceAddress = "0.0.0.0";

// The one project state of a run: created by the program entry and passed by reference to every
// window and to firmware generation.
struct ProjectState {
    std::filesystem::path program_dir;
    // The MASTER folders where base images are looked for, in this order; the last one is in the
    // program directory, where the user puts a missing image.
    std::vector<std::filesystem::path> master_dirs;
    std::filesystem::path projects_dir;
    // Name of the current project as remembered in the settings file; may be empty.
    std::string project_name;
    // Absolute path of the current project folder. It is the PROJECTS folder when no project
    // could be restored, and empty only after the current folder vanished while opening.
    std::filesystem::path project_dir;
    // 0 means "15 RPDO and 3 TPDO", any other value "8 RPDO and 8 TPDO".
    int pdo_layout = 0;
    std::string device_address = kDefaultDeviceAddress;

    // The path of a table file of the current project.
    std::filesystem::path table_path(const TableSchema& table) const {
        return table.path_in(project_dir);
    }
    bool has_project_dir() const { return !project_dir.empty(); }
};

// The main window's caption for a project name.
std::string caption_for(const std::string& project_name);

// The loader's command line holds the image's path between double quotes, followed by the sign
// ¶ (U+00B6) and the port: a path holding either sign would be cut at the wrong place.
bool holds_loader_delimiter(std::string_view text);

} // namespace mk
