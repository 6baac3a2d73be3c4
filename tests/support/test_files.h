#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mk::test {

// The whole file as it is on disk, byte for byte; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Writes `bytes` as the whole file, byte for byte (no line-end translation).
void write_file(const std::filesystem::path& path, std::string_view bytes);

} // namespace mk::test
