#include "image/build_clock.h"

#include <ctime>

namespace mk {

BuildStamp LocalClock::now() const {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

const Clock& local_clock() {
    static const LocalClock clock;
    return clock;
}

std::uint16_t build_date_word(const BuildStamp& s) {
    return static_cast<std::uint16_t>((s.year % 100) + s.month * 128 + s.day * 2048);
}

std::uint16_t build_time_word(const BuildStamp& s) {
    return static_cast<std::uint16_t>(s.hour + s.minute * 32 + (s.second / 2) * 2048);
}

} // namespace mk
