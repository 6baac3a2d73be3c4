#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/table_file.h"

namespace mk {

// The CSV files of the export: one record per line, fields separated by commas, every line
// ended by CR LF, single-byte text (Windows-1252). A field is quoted only when it holds a comma,
// a double quote or a line break (in double quotes, an inner quote doubled), so that a
// mnemonico such as "valve, outlet" stays one field; every other field is written as it is.

using CsvRecord = std::vector<std::string>;

// The file of a table's export: its base name (the table file's name without ".xml") + ".csv",
// in the folder.
std::filesystem::path csv_path(const TableSchema& table, const std::filesystem::path& folder);

// One field as written, still UTF-8.
std::string csv_field(std::string_view text);

// UTF-8 text as Windows-1252 bytes. Characters the code page has no byte for, and bytes that
// are not UTF-8, become "?".
std::string to_windows_1252(std::string_view utf8);

// Windows-1252 bytes as UTF-8 text; the five bytes the code page leaves undefined become "?".
std::string from_windows_1252(std::string_view bytes);

// True when the bytes are well-formed UTF-8 throughout.
bool is_utf8(std::string_view bytes);

// The bytes of the whole file.
std::string csv_bytes(const std::vector<CsvRecord>& records);

// Writes the file through a temporary file beside it, replacing any previous one; on failure
// the previous file stays as it was and a UserError names the file and the reason.
void write_csv(const std::filesystem::path& path, const std::vector<CsvRecord>& records);

} // namespace mk
