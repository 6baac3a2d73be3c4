#include "core/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mk {

namespace {

[[noreturn]] void fail(int err, const std::filesystem::path& path) {
    throw std::system_error(err, std::generic_category(), path.string());
}

void write_all(int fd, std::string_view bytes, const std::filesystem::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        fail(errno, path);
    bool open = true;
    try {
        write_all(fd, bytes, path);
        if (::fsync(fd) != 0)
            fail(errno, path);
        // mkstemp makes the file private to its owner; table and bank files are ordinary files.
        ::fchmod(fd, 0644);
        open = false;
        if (::close(fd) != 0)
            fail(errno, path);
    } catch (...) {
        if (open)
            ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(err, path);
    }
}

} // namespace mk
