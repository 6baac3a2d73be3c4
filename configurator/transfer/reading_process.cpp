#include "transfer/reading_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "transfer/workbook.h"

namespace mk {

namespace {

constexpr const char* kNoReadingProcess = "no process can be started to read the workbook";

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Runs in the child after fork(). The program may have had other threads at the fork; the
// child touches none of their state (no Qt, no locks of the program), only the reading library
// and the C library, whose malloc glibc keeps usable in a forked child. Leaves with _exit so
// that no handler or buffer of the program runs or is flushed twice.
[[noreturn]] void reading_process(int fd, const char* path, const WorkbookReadLimits& limits,
                                  SendWorkbook send) {
    // A library crash report (from a sanitizer or the C library) is not for the user, who is
    // told the file cannot be read.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
        ::dup2(null, STDERR_FILENO);
    if (limits.in_reading_process)
        limits.in_reading_process();
    limit_memory_growth(std::max<std::size_t>(std::size_t{256} << 20, 16 * limits.max_bytes));
    ReadResult result = ReadResult::NoFormat;
    try {
        StreamPipe pipe(fd, limits.max_bytes);
        result = send(pipe, path);
    } catch (...) {
        result = ReadResult::NoFormat;
    }
    ::_exit(static_cast<int>(result));
}

// ---- The program's side -----------------------------------------------------------------

using Clock = std::chrono::steady_clock;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Milliseconds for poll(), rounded up so that a wait never ends just before the deadline.
int poll_timeout(Clock::duration left) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 60000));
}

// The reading process, killed and reaped on every path that leaves it running, so that no
// process outlives the read and no zombie is left.
class ReadingProcess {
public:
    explicit ReadingProcess(pid_t pid) : pid_(pid) {}
    ReadingProcess(const ReadingProcess&) = delete;
    ReadingProcess& operator=(const ReadingProcess&) = delete;
    ~ReadingProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }

    // How the process ended, when it exits by `deadline` (reaped then); NoFormat when it was
    // killed by a signal, its result is unknown or the deadline passed.
    ReadResult result_by(Clock::time_point deadline) {
        // The process usually ends right after its last write; a pidfd wakes us when it has,
        // where short sleeps would add their length to every import.
        // (Called through syscall(): glibc 2.36's <sys/pidfd.h> cannot be included from C++.)
        Fd exit_signal(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                if (!WIFEXITED(status))
                    return ReadResult::NoFormat;
                const int code = WEXITSTATUS(status);
                return code == 0 || (code >= static_cast<int>(ReadResult::NoFormat) &&
                                     code <= static_cast<int>(ReadResult::Last))
                           ? static_cast<ReadResult>(code)
                           : ReadResult::NoFormat;
            }
            if (r < 0 && errno != EINTR) {
                pid_ = -1; // reaped by someone else (SIGCHLD ignored): its result is unknown
                return ReadResult::NoFormat;
            }
            if (r == 0) {
                const auto left = deadline - Clock::now();
                if (left <= Clock::duration::zero())
                    return ReadResult::NoFormat;
                if (exit_signal.get() < 0) { // no pidfd (kernel before 5.3): poll every ms
                    ::poll(nullptr, 0, 1);
                    continue;
                }
                pollfd ended{exit_signal.get(), POLLIN, 0};
                ::poll(&ended, 1, poll_timeout(left));
            }
        }
    }

private:
    pid_t pid_;
};

// Reads `fd` to its end into `stream`. False when the deadline passes first, the stream grows
// past `max_bytes` or reading fails.
bool receive(int fd, std::string& stream, std::size_t max_bytes, Clock::time_point deadline) {
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        pollfd ready{fd, POLLIN, 0};
        const int n_ready = ::poll(&ready, 1, poll_timeout(left));
        if (n_ready < 0 && errno != EINTR)
            return false;
        if (n_ready <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        if (static_cast<std::size_t>(n) > max_bytes - stream.size())
            return false;
        stream.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

} // namespace

bool limit_memory_growth(std::size_t headroom) {
    // The first field of /proc/self/statm is the size of the address space in pages. Read
    // without allocating: the caller may be a child forked from a program with threads.
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    std::size_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + static_cast<std::size_t>(text[i] - '0');
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const rlimit limit{pages * page + headroom, pages * page + headroom};
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

bool StreamPipe::flush(std::size_t at_least) {
    if (out.size() < at_least)
        return true;
    if (out.size() > max_bytes_ - sent_)
        return false;
    if (!write_all(fd_, out.data(), out.size()))
        return false;
    sent_ += out.size();
    out.clear();
    return true;
}

std::string read_in_child(const std::filesystem::path& path, const WorkbookReadLimits& limits,
                          SendWorkbook send, FailureReason reason) {
    const std::string file = path.string();
    const Clock::time_point deadline = Clock::now() + limits.time;
    int ends[2];
    // Close-on-exec, so that a program another thread starts meanwhile holds no end of the pipe
    // (a write end held elsewhere would keep the end of the stream from arriving).
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw WorkbookError(kNoReadingProcess);
    Fd from_child(ends[0]);
    Fd to_parent(ends[1]);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw WorkbookError(kNoReadingProcess);
    if (pid == 0) {
        ::close(ends[0]);
        reading_process(ends[1], file.c_str(), limits, send);
    }
    ReadingProcess child(pid);
    to_parent.reset(); // the end of the stream arrives once the child's end is closed too
    std::string stream;
    if (!receive(from_child.get(), stream, limits.max_bytes, deadline))
        throw WorkbookError(reason(ReadResult::NoFormat));
    from_child.reset();
    if (const ReadResult result = child.result_by(deadline); result != ReadResult::Sent)
        throw WorkbookError(reason(result));
    return stream;
}

} // namespace mk
