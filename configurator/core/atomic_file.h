#pragma once

#include <filesystem>
#include <string_view>

namespace mk {

// Replaces the file at `path` with `bytes` as a whole: the bytes go to a temporary file in the
// same folder, which is flushed and then renamed over the target. When anything fails the
// previous file stays as it was and a std::system_error describing the failure is thrown.
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace mk
