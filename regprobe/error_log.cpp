#include "regprobe/error_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rp {

namespace {

std::string format_now(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

[[noreturn]] void fail(const std::filesystem::path& path, int error_number) {
    throw ErrorLogError("Cannot write file " + path.string() + " (" + std::strerror(error_number) +
                        ")");
}

void write_all(int fd, const std::string& bytes, const std::filesystem::path& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(path, errno);
        done += static_cast<std::size_t>(n);
    }
}

// Writes the header and the first line into a new file beside the log and renames it into
// place, so the log never exists without its header.
void create_error_log(const std::filesystem::path& path, const std::string& content) {
    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        fail(path, errno);
    try {
        // mkstemp creates 0600; a log is an ordinary file for whoever reads it.
        ::fchmod(fd, 0644);
        write_all(fd, content, path);
        if (::fsync(fd) != 0)
            fail(path, errno);
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(path, err);
    }
}

} // namespace

std::string local_date_time() {
    return format_now("%x") + " " + format_now("%X");
}

// A line is appended in place: the cost stays that of one line however long the log has grown
// during hours of polling. A write that fails part-way is cut back to the old end, so no
// half line is left.
void append_error_log(const std::filesystem::path& path, const std::string& stamp,
                      std::string_view text) {
    const std::string line = stamp + " " + std::string(text) + "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            fail(path, errno);
        create_error_log(path, stamp + " " + kErrorLogHeader + "\n" + line);
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        fail(path, err);
    }
    try {
        write_all(fd, line, path);
    } catch (...) {
        if (::ftruncate(fd, st.st_size) != 0) {
            // Nothing more can be done; the write error is the one to report.
        }
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0)
        fail(path, errno);
}

} // namespace rp
