#include "regprobe/error_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rp {

namespace {

[[noreturn]] void fail(const std::filesystem::path& path, int error_number) {
    throw ErrorLogError("Cannot write file " + path.string() + " (" + std::strerror(error_number) +
                        ")");
}

// An open log, closed (and so unlocked) when it goes out of scope.
class LogFile {
public:
    explicit LogFile(int fd) : fd_(fd) {}
    ~LogFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    int fd() const { return fd_; }
    // Closes now, so that an error of the close is seen.
    int close() { return ::close(release()); }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

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

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the log for appending, creating it when it is missing, and locks it against every
// other writer (another Regprobe polling into the same folder). One open both creates and
// appends, so two writers that find no log share the file the first of them creates. A writer
// that opened the log just before another moved it to the backup finds, once it has the lock,
// that the name gives another file, and opens again. `size` is the log's size under the lock.
int open_locked(const std::filesystem::path& path, std::uintmax_t& size) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        LogFile log(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (log.fd() < 0)
            fail(path, errno);
        while (::flock(log.fd(), LOCK_EX) != 0)
            if (errno != EINTR)
                fail(path, errno);
        struct stat opened {};
        struct stat named {};
        if (::fstat(log.fd(), &opened) != 0)
            fail(path, errno);
        if (::stat(path.c_str(), &named) == 0 && same_file(opened, named)) {
            size = static_cast<std::uintmax_t>(opened.st_size);
            return log.release();
        }
    }
    fail(path, EBUSY); // moved away again and again: give up rather than loop
}

} // namespace

// One reading of the clock gives both the date and the time, so a line written as midnight
// passes never joins one day's date to the next day's time.
std::string local_date_time(const WallClock& clock) {
    const std::time_t now = clock();
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, n);
}

std::string local_date_time() {
    return local_date_time([] { return std::time(nullptr); });
}

std::filesystem::path error_log_backup(const std::filesystem::path& path) {
    return path.string() + ".1";
}

// A line is appended in place: the cost stays that of one line however long the log has grown
// during hours of polling. A write that fails part-way is cut back to the old end, so no half
// line is left. Everything happens under the log's lock: the first line goes only into a log
// that is empty, and a log that is full is moved to its backup before anyone writes to it again.
void append_log_line(const std::filesystem::path& path, std::string_view first_line,
                     std::string_view text, std::uintmax_t limit) {
    std::string line(text);
    line += '\n';
    for (;;) {
        std::uintmax_t size = 0;
        LogFile log(open_locked(path, size));
        // A line longer than the whole limit still goes into a fresh log: an empty log is never
        // moved, so this ends.
        if (size > 0 && size + line.size() > limit) {
            if (::rename(path.c_str(), error_log_backup(path).c_str()) != 0)
                fail(path, errno);
            continue; // the next open creates the new log
        }
        const std::string bytes =
            size == 0 && !first_line.empty() ? std::string(first_line) + "\n" + line : line;
        try {
            write_all(log.fd(), bytes, path);
        } catch (...) {
            if (::ftruncate(log.fd(), static_cast<off_t>(size)) != 0) {
                // Nothing more can be done; the write error is the one to report.
            }
            throw;
        }
        if (log.close() != 0)
            fail(path, errno);
        return;
    }
}

void append_error_log(const std::filesystem::path& path, const std::string& stamp,
                      std::string_view text, std::uintmax_t limit) {
    append_log_line(path, stamp + " " + kErrorLogHeader, stamp + " " + std::string(text), limit);
}

} // namespace rp
