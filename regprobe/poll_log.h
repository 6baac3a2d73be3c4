#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "regprobe/local_stamp.h"
#include "regprobe/value_format.h"

namespace rp {

// The log of polled values: one CSV line per timer request, appended with the error log's care
// (locked, size bound with one backup, the file closed after every line).
inline constexpr const char* kPollLogName = "regprobe-log.csv";
inline constexpr std::uintmax_t kPollLogLimit = 16 * 1024 * 1024;

// A good response: the time, the first register number, then each value as shown.
// "2026-12-10T01:15:03.042+01:00,40,0x00FF,0x1234"
std::string poll_log_line(const LocalStamp& when, std::int32_t address,
                          std::span<const ShownValue> values);

// A failed request: the time, the first register number, then what went wrong as one field
// (quoted when it holds a comma, a quote or a line break).
// "2026-12-10T01:15:04.040+01:00,40,Read operation failed!"
std::string poll_failure_line(const LocalStamp& when, std::int32_t address,
                              std::string_view reason);

void append_poll_log(const std::filesystem::path& path, std::string_view line,
                     std::uintmax_t limit = kPollLogLimit);

} // namespace rp
