#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mk::test {

// The whole file as it is on disk, byte for byte; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Writes `bytes` as the whole file, byte for byte (no line-end translation); throws when the
// file cannot be written, so that a test never runs on a fixture that is not there.
void write_file(const std::filesystem::path& path, std::string_view bytes);

} // namespace mk::test
