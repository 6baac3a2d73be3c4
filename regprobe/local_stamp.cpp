#include "regprobe/local_stamp.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace rp {

LocalStamp local_stamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    // Whole seconds rounded down, so a moment before 1970 keeps a millisecond part of 0..999.
    const long long seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&t, &local);
    LocalStamp s;
    s.year = local.tm_year + 1900;
    s.month = local.tm_mon + 1;
    s.day = local.tm_mday;
    s.hour = local.tm_hour;
    s.minute = local.tm_min;
    s.second = local.tm_sec;
    s.millisecond = static_cast<int>(ms - seconds * 1000);
    s.utc_offset_seconds = local.tm_gmtoff;
    return s;
}

std::string iso8601_text(const LocalStamp& s) {
    const long offset_minutes = std::labs(s.utc_offset_seconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", s.year,
                  s.month, s.day, s.hour, s.minute, s.second, s.millisecond,
                  s.utc_offset_seconds < 0 ? '-' : '+', offset_minutes / 60, offset_minutes % 60);
    return text;
}

std::string time_of_day_text(const LocalStamp& s) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", s.hour, s.minute, s.second,
                  s.millisecond);
    return text;
}

} // namespace rp
