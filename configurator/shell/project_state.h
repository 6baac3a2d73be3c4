#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mk {

// The tables of a project, one file each in the project directory.
enum class TableFile { Pargen, Sdo, Rpdodef, Sdopdo, Emcydef, Emcyword, TransmitPdo };

// The fixed file name of a table ("Transmit_Pdo.xml" keeps its capitals).
const char* table_file_name(TableFile table);

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
    std::filesystem::path table_path(TableFile table) const;
    bool has_project_dir() const { return !project_dir.empty(); }
};

// The main window's caption for a project name.
std::string caption_for(const std::string& project_name);

} // namespace mk
