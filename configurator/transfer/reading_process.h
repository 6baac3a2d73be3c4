#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace mk {

// How far the reader lets the process that reads a workbook go.
struct WorkbookReadLimits {
    std::size_t max_bytes = std::size_t{64} << 20; // the whole workbook as sent to the program
    std::chrono::milliseconds time{10000};         // from the start to the process's exit
    // Called in the reading process before the file is opened; tests use it to make that
    // process die or hang. Must not return into anything but the reader.
    void (*in_reading_process)() = nullptr;
};

// The reading process's end of the pipe: the workbook stream is built in `out` and sent in
// pieces, so that a large workbook is not held twice, and never beyond the size limit.
class StreamPipe {
public:
    StreamPipe(int fd, std::size_t max_bytes) : fd_(fd), max_bytes_(max_bytes) {}

    std::string out;
    // Sends what `out` holds once it holds at least `at_least` bytes (0: sends it all).
    // False when the stream would grow past the limit or the pipe fails.
    bool flush(std::size_t at_least = kPiece);
    std::size_t max_bytes() const { return max_bytes_; }

    static constexpr std::size_t kPiece = 256 * 1024;

private:
    int fd_;
    std::size_t max_bytes_;
    std::size_t sent_ = 0;
};

// Bounds the address space of the calling process to what it has now plus `headroom` bytes, so
// that a reading library asked by a hostile file for gigabytes fails its allocation (or ends
// the process) instead of taking the machine's memory. The reading process calls it with 16
// times the stream limit; false when the limit cannot be set.
bool limit_memory_growth(std::size_t headroom);

// How the reading process ends: 0 when the whole stream was sent; otherwise the format it
// found the file to be (or did not recognise), so the program can say what failed.
enum class ReadResult : int {
    Sent = 0,
    NoFormat = 10,
    NotXls,
    NotXlsx,
    NotOds,
    NotCsv,
    Last = NotCsv
};

// Runs `send` in a short-lived child process that writes the file's workbook stream to the
// pipe, and returns the stream. A damaged or hostile file that breaks a reading library (which
// may write outside its buffers) takes down only that process. The child leaves the program's
// state alone: it runs `send` and the C library only, and leaves with _exit. Throws
// WorkbookError with `reason(result)` when the child fails, crashes, runs out of time or sends
// more than the limit.
using SendWorkbook = ReadResult (*)(StreamPipe& pipe, const char* path);
using FailureReason = const char* (*)(ReadResult result);
std::string read_in_child(const std::filesystem::path& path, const WorkbookReadLimits& limits,
                          SendWorkbook send, FailureReason reason);

} // namespace mk
