#include "transfer/freexl_workbook.h"

#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

#include "transfer/workbook_stream.h"

namespace mk {

namespace {

constexpr const char* kNoReadingProcess = "no process can be started to read the workbook";

// Exit codes of the reading process. The program tells only 0 (the whole workbook was sent)
// from the rest; the others help when the process is watched by hand.
enum ReadingExit : int { kSent = 0, kNotOpened = 1, kNotSent = 2, kTooLarge = 3, kFailed = 4 };

// FreeXL asks for its handle to be closed even when opening failed.
struct HandleCloser {
    void operator()(const void* handle) const {
        if (handle)
            freexl_close(handle);
    }
};
using Handle = std::unique_ptr<const void, HandleCloser>;

Cell cell_text(const FreeXL_CellValue& value) {
    switch (value.type) {
    case FREEXL_CELL_INT:
        return number_text(static_cast<std::int64_t>(value.value.int_value));
    case FREEXL_CELL_DOUBLE:
        return number_text(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return std::string(value.value.text_value ? value.value.text_value : "");
    default: // FREEXL_CELL_NULL and anything FreeXL adds later
        return std::nullopt;
    }
}

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

// ---- The reading process ----------------------------------------------------------------

// Reads the whole workbook with FreeXL and writes it to `fd` as a workbook stream, in pieces
// as it goes.
ReadingExit send_workbook(int fd, const char* path, std::size_t max_bytes) {
    const void* raw = nullptr;
    const int rc = freexl_open(path, &raw);
    Handle handle(raw); // released on every path from here on
    if (rc != FREEXL_OK || !raw)
        return kNotOpened;
    unsigned int count = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        return kNotOpened;
    // FreeXL numbers sheets with an unsigned short.
    count = std::min<unsigned int>(count, std::numeric_limits<unsigned short>::max() + 1u);
    std::vector<std::string> names;
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle.get(), static_cast<unsigned short>(i), &name) !=
            FREEXL_OK)
            return kNotOpened;
        names.emplace_back(name ? name : "");
    }

    std::string out;
    std::size_t sent = 0;
    const auto flush = [&](std::size_t at_least) {
        if (out.size() < at_least)
            return kSent;
        if (out.size() > max_bytes - sent)
            return kTooLarge;
        if (!write_all(fd, out.data(), out.size()))
            return kNotSent;
        sent += out.size();
        out.clear();
        return kSent;
    };
    constexpr std::size_t kPiece = 256 * 1024;

    WorkbookStreamWriter stream(out, count);
    for (unsigned int i = 0; i < count; ++i) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(handle.get(), static_cast<unsigned short>(i)) !=
                FREEXL_OK ||
            freexl_worksheet_dimensions(handle.get(), &rows, &columns) != FREEXL_OK) {
            stream.unreadable_sheet(names[i]);
            continue;
        }
        stream.begin_sheet(names[i], rows, columns);
        std::vector<Cell> cells(columns);
        for (unsigned int r = 0; r < rows; ++r) {
            bool read = true;
            for (unsigned short c = 0; c < columns && read; ++c) {
                FreeXL_CellValue value;
                read = freexl_get_cell_value(handle.get(), r, c, &value) == FREEXL_OK;
                if (read)
                    cells[c] = cell_text(value);
            }
            if (!read) {
                stream.unreadable_rest();
                break;
            }
            stream.row(cells);
            if (const ReadingExit e = flush(kPiece); e != kSent)
                return e;
        }
    }
    return flush(0);
}

// Runs in the child after fork(). The program may have had other threads at the fork; the
// child touches none of their state (no Qt, no locks of the program), only FreeXL and the C
// library, whose malloc glibc keeps usable in a forked child. Leaves with _exit so that no
// handler or buffer of the program runs or is flushed twice.
[[noreturn]] void reading_process(int fd, const char* path, const WorkbookReadLimits& limits) {
    // A library crash report (from a sanitizer or the C library) is not for the user, who is
    // told the file cannot be read.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
        ::dup2(null, STDERR_FILENO);
    if (limits.in_reading_process)
        limits.in_reading_process();
    ReadingExit code = kFailed;
    try {
        code = send_workbook(fd, path, limits.max_bytes);
    } catch (...) {
        code = kFailed;
    }
    ::_exit(code);
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
// process outlives open() and no zombie is left.
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

    // True when the process exits with 0 by `deadline`; reaps it when it has ended.
    bool exited_cleanly_by(Clock::time_point deadline) {
        // The process usually ends right after its last write; a pidfd wakes us when it has,
        // where short sleeps would add their length to every import.
        // (Called through syscall(): glibc 2.36's <sys/pidfd.h> cannot be included from C++.)
        Fd exit_signal(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == kSent;
            }
            if (r < 0 && errno != EINTR) {
                pid_ = -1; // reaped by someone else (SIGCHLD ignored): its result is unknown
                return false;
            }
            if (r == 0) {
                const auto left = deadline - Clock::now();
                if (left <= Clock::duration::zero())
                    return false;
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

std::unique_ptr<Workbook> FreexlWorkbookReader::open(const std::filesystem::path& path) {
    const std::string file = path.string();
    const Clock::time_point deadline = Clock::now() + limits_.time;
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
        reading_process(ends[1], file.c_str(), limits_);
    }
    ReadingProcess child(pid);
    to_parent.reset(); // the end of the stream arrives once the child's end is closed too
    std::string stream;
    if (!receive(from_child.get(), stream, limits_.max_bytes, deadline))
        throw WorkbookError(kNotAWorkbookReason);
    from_child.reset();
    if (!child.exited_cleanly_by(deadline))
        throw WorkbookError(kNotAWorkbookReason);
    return decode_workbook_stream(std::move(stream));
}

std::string number_text(std::int64_t value) {
    return std::to_string(value);
}

std::string number_text(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "INF" : "-INF");
    // A whole number within the exactly representable range prints without a fraction.
    if (std::trunc(value) == value && std::fabs(value) < 9.0e15)
        return number_text(static_cast<std::int64_t>(value));
    // Otherwise the shortest fixed form that reads back as the same value. 1e308 needs 309
    // digits; the buffer holds every double.
    std::array<char, 400> text;
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return std::string(text.data(), result.ptr);
}

} // namespace mk
