#include "core/file_kind.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace mk {

std::string not_a_file_reason(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ELOOP)
            return "is a loop of symbolic links";
        if (err == ENOENT) {
            struct stat link {};
            if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
                return "";
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(path, ec);
            return "is a symbolic link to " + (ec ? std::string("a file") : target.string()) +
                   ", which does not exist";
        }
        return "cannot be looked at: " + std::string(std::strerror(err));
    }
    if (S_ISREG(st.st_mode))
        return "";
    if (S_ISDIR(st.st_mode))
        return "is a folder, not a file";
    if (S_ISFIFO(st.st_mode))
        return "is a FIFO (named pipe), not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "is a device, not a file";
    if (S_ISSOCK(st.st_mode))
        return "is a socket, not a file";
    return "is not a regular file";
}

std::string not_a_file_note(const std::filesystem::path& path) {
    const std::string reason = not_a_file_reason(path);
    return reason.empty() ? "" : "\n" + path.string() + " " + reason;
}

} // namespace mk
