#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace mk {

// Replaces the file at `path` with `bytes` as a whole: the bytes go to a temporary file in the
// same folder, which is flushed and then renamed over the target. When anything fails the
// previous file stays as it was and a std::system_error describing the failure is thrown.
//
// A symbolic link stays a link: the file it leads to is replaced (the temporary file then lies
// beside that file), also when the link leads nowhere yet, which makes the file it names. Only a
// plain file is replaced: a folder, device or pipe there fails the write (EISDIR, ENOTSUP). The
// replaced file keeps its permissions, group and (when root writes it) owner; a new file gets the
// permissions the umask gives.
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

// The file a write to `path` replaces: `path` itself, or the file a symbolic link there leads
// to, through any chain of links; it need not exist. Throws std::system_error (ELOOP) when the
// links go round in a loop.
std::filesystem::path replaced_file(const std::filesystem::path& path);

// The reason a failed write_file_atomically gives the user: the system's text and, when `path`
// is a symbolic link, the file it leads to, where the write failed:
// "Permission denied (a link to \"/mnt/share/sdo.xml\")".
std::string write_failure_reason(const std::filesystem::path& path, const std::error_code& code);

// Creates the temporary file for replacing `file` beside it, named "." + its name + "." and six
// letters or digits, and returns its descriptor, open for writing (close-on-exec), with the
// permissions, group and (as far as allowed) owner of `file` or, when `file` does not exist yet,
// the permissions the umask gives a new file. `temp` receives its path. Returns -1 with errno set
// when it cannot be made, or when `file` is there but no plain file (EISDIR, ENOTSUP).
int create_temporary_beside(const std::filesystem::path& file, std::string& temp);

} // namespace mk
