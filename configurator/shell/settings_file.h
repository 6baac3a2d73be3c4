#pragma once

#include <filesystem>
#include <string>

namespace mk {

inline constexpr const char* kSettingsFileName = "Mosaicor_Kv.ini";

// The last project name: key "projectname" of section "lastproj", read as INI files are read
// (blanks around names and values, the case of section and key and a UTF-8 byte-order mark do
// not count; a value in quotes keeps the blanks inside them). A missing or unreadable file,
// section or key gives an empty name.
std::string read_last_project(const std::filesystem::path& ini_path);

// Writes the project name (an empty name as an empty value) into the settings file, changing
// only that value: every other line stays as it was, and a missing section or key is added. The
// file is replaced through a temporary file. Throws std::system_error when it cannot be read or
// written, leaving it as it was.
void write_last_project(const std::filesystem::path& ini_path, const std::string& project_name);

} // namespace mk
