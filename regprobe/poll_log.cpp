#include "regprobe/poll_log.h"

#include "regprobe/error_log.h"

namespace rp {

namespace {

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string line_start(const LocalStamp& when, std::int32_t address) {
    return iso8601_text(when) + "," + std::to_string(address);
}

} // namespace

std::string poll_log_line(const LocalStamp& when, std::int32_t address,
                          std::span<const ShownValue> values) {
    std::string line = line_start(when, address);
    for (const ShownValue& v : values) {
        line += ',';
        line += csv_field(v.text);
    }
    return line;
}

std::string poll_failure_line(const LocalStamp& when, std::int32_t address,
                              std::string_view reason) {
    return line_start(when, address) + "," + csv_field(reason);
}

void append_poll_log(const std::filesystem::path& path, std::string_view line,
                     std::uintmax_t limit) {
    append_log_line(path, {}, line, limit);
}

} // namespace rp
