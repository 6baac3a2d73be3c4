#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mk::test {

// The whole file as it is on disk, byte for byte; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Writes `bytes` as the whole file, byte for byte (no line-end translation); throws when the
// file cannot be written, so that a test never runs on a fixture that is not there.
void write_file(const std::filesystem::path& path, std::string_view bytes);

// The names of a folder's hidden files (temporary files and kept previous versions).
std::vector<std::string> hidden_files(const std::filesystem::path& dir);

// The permission bits of a file (07777 mask); 0 when it cannot be examined.
unsigned mode_of(const std::filesystem::path& path);

} // namespace mk::test
