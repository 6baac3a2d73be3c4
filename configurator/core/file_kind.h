#pragma once

#include <filesystem>
#include <string>

namespace mk {

// Why `path` is not a file that can be opened for reading, as it follows the path in a message:
// "is a folder, not a file", "is a FIFO (named pipe), not a file", "is a device, not a file",
// "is a socket, not a file", "is a symbolic link to ..., which does not exist", "is a loop of
// symbolic links", or the system's reason when the path cannot be looked at. Empty when a
// regular file is there, and when nothing is there at all.
std::string not_a_file_reason(const std::filesystem::path& path);

// The message's further line for such a path: "\n<path> <reason>", or empty.
std::string not_a_file_note(const std::filesystem::path& path);

} // namespace mk
