#pragma once

#include <filesystem>
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

// The current local date and time in the user's locale: the date representation, a blank,
// and the time representation with seconds (strftime "%x" and "%X").
std::string local_date_time();

// Appends one line "<stamp> <text>" to the log. A log that does not exist yet is written
// beside it with its first line "<stamp> File di errore Modbus TCP Client" and renamed into
// place. An existing log gets the line appended in place; a failed write is cut back, so the
// previous lines stay whole and no half line is left.
void append_error_log(const std::filesystem::path& path, const std::string& stamp,
                      std::string_view text);

} // namespace rp
