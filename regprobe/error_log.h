#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rp {

// Raised when the error log cannot be written; what() names the file and the reason.
class ErrorLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kErrorLogName = "errorlog.txt";
inline constexpr const char* kErrorLogHeader = "File di errore Modbus TCP Client";

// Past this size the log is moved to its backup and started anew.
inline constexpr std::uintmax_t kErrorLogLimit = 16 * 1024 * 1024;

// The wall clock a log line's date and time come from.
using WallClock = std::function<std::time_t()>;

// The local date and time in the user's locale: the date representation, a blank, and the
// time representation with seconds (strftime "%x" and "%X").
std::string local_date_time(const WallClock& clock);
std::string local_date_time();

// Where a full log is moved: its name followed by ".1".
std::filesystem::path error_log_backup(const std::filesystem::path& path);

// Appends one line "<stamp> <text>" to the log, creating it when it is missing. A log that is
// empty gets the first line "<stamp> File di errore Modbus TCP Client" before the line. When
// the line would take the log past `limit` bytes, the log is first renamed to its backup
// (replacing an older one) and a new log is started. A failed write is cut back, so the
// previous lines stay whole and no half line is left. Writers in several threads or programs
// may share the log.
void append_error_log(const std::filesystem::path& path, const std::string& stamp,
                      std::string_view text, std::uintmax_t limit = kErrorLogLimit);

// The same care for any line-by-line log: appends `line` and a line feed, first `first_line`
// and a line feed when the log is empty and `first_line` is not empty; moves a log that would
// pass `limit` to its backup; cuts a failed write back; closes the file before returning, so a
// crash loses at most the line being written.
void append_log_line(const std::filesystem::path& path, std::string_view first_line,
                     std::string_view line, std::uintmax_t limit);

} // namespace rp
