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
// written, leaving it as it was; a missing folder of the file is made first. A name the file cannot
// hold (see can_remember) is written as an empty name: the next start opens no project rather than
// a part of a name.
void write_last_project(const std::filesystem::path& ini_path, const std::string& project_name);

// Whether the settings file can hold the name as a value: a line break would end the line, and
// what follows it would become a line of its own. Other bytes, not UTF-8 ones included, are kept.
bool can_remember(const std::string& project_name);

inline constexpr const char* kMsgNameNotRemembered =
    "The name of this project holds a line break, which Mosaicor_Kv.ini cannot hold: the next "
    "start will open no project.";

// "The last project could not be stored: \"<ini>\" cannot be written (<reason>).", when the
// settings file cannot be written at the end of a run.
std::string settings_not_written_message(const std::filesystem::path& ini_path,
                                         const std::string& reason);

} // namespace mk
