#pragma once

#include <filesystem>
#include <string>

namespace mk {

inline constexpr const char* kSettingsFileName = "Mosaicor_Kv.ini";

// The last project name: key "projectname" of section "lastproj". A missing or unreadable file,
// section or key gives an empty name; section and key names match without regard to case.
std::string read_last_project(const std::filesystem::path& ini_path);

// Writes the settings file with the project name (an empty name is written as an empty value).
// The file is replaced whole. Throws std::system_error when it cannot be written.
void write_last_project(const std::filesystem::path& ini_path, const std::string& project_name);

} // namespace mk
