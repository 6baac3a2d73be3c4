#include "core/atomic_file.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mk {

namespace fs = std::filesystem;

namespace {

// The system gives up on a path after as many links.
constexpr int kMaxLinks = 40;

[[noreturn]] void fail(int err, const fs::path& path) {
    throw std::system_error(err, std::generic_category(), path.string());
}

fs::path folder_of(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

void write_all(int fd, std::string_view bytes, const fs::path& path) {
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

std::string six_letters_or_digits() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string text(6, ' ');
    for (char& c : text)
        c = kChars[pick(random)];
    return text;
}

} // namespace

fs::path replaced_file(const fs::path& path) {
    fs::path file = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        // Whatever cannot be looked at is written as named, and the write then says why it fails.
        if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return file;
        if (links == kMaxLinks)
            fail(ELOOP, path);
        std::error_code ec;
        const fs::path to = fs::read_symlink(file, ec);
        if (ec)
            fail(ec.value(), path);
        file = to.is_absolute() ? to : folder_of(file) / to;
    }
}

std::string write_failure_reason(const fs::path& path, const std::error_code& code) {
    std::string reason = code.message();
    try {
        if (const fs::path file = replaced_file(path); file != path)
            reason += " (a link to \"" + file.string() + "\")";
    } catch (const std::system_error&) {
        // A loop of links: the system's text says so.
    }
    return reason;
}

int create_temporary_beside(const fs::path& file, std::string& temp) {
    struct stat st {};
    const bool replaces = ::stat(file.c_str(), &st) == 0;
    // Only a plain file is replaced: a folder, a device or a pipe that a link leads to (such as
    // /dev/null) stays what it is, and the write fails.
    if (replaces && !S_ISREG(st.st_mode)) {
        temp.clear();
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        return -1;
    }
    // While it is written the temporary file is never more open than the file it replaces; a
    // new file gets the mode the umask (and a default ACL of the folder) gives.
    const mode_t mode = replaces ? (st.st_mode & 0666) : 0666;
    const std::string prefix = (folder_of(file) / ("." + file.filename().string() + ".")).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = prefix + six_letters_or_digits();
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            temp.clear();
            return -1;
        }
        if (replaces) {
            // Owner and group first: changing them may clear set-ID bits that the mode then sets.
            // Only root can give the file back to its owner (a private file saved with sudo stays
            // its user's, not root's); where that or the file system's owners fail, the contents
            // still go in.
            if (st.st_uid != ::geteuid()) {
                [[maybe_unused]] const int kept = ::fchown(fd, st.st_uid, static_cast<gid_t>(-1));
            }
            if (st.st_gid != ::getegid()) {
                [[maybe_unused]] const int kept = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
            }
            (void)::fchmod(fd, st.st_mode & 07777);
        }
        return fd;
    }
    temp.clear();
    errno = EEXIST;
    return -1;
}

void write_file_atomically(const fs::path& path, std::string_view bytes) {
    const fs::path file = replaced_file(path);
    std::string temp;
    const int fd = create_temporary_beside(file, temp);
    if (fd < 0)
        fail(errno, file);
    bool open = true;
    try {
        write_all(fd, bytes, file);
        if (::fsync(fd) != 0)
            fail(errno, file);
        open = false;
        if (::close(fd) != 0)
            fail(errno, file);
    } catch (...) {
        if (open)
            ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(err, file);
    }
}

} // namespace mk
