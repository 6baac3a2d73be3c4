#include "regprobe/response_times.h"

#include <algorithm>
#include <cstdio>

namespace rp {

void ResponseTimes::add(Duration time) {
    last_ = time;
    min_ = count_ == 0 ? time : std::min(min_, time);
    max_ = count_ == 0 ? time : std::max(max_, time);
    total_ += time.count();
    ++count_;
}

ResponseTimes::Duration ResponseTimes::average() const {
    if (count_ == 0)
        return Duration{0};
    const auto n = static_cast<Duration::rep>(count_);
    return Duration{(total_ + n / 2) / n}; // rounded to the nearest microsecond
}

std::string ResponseTimes::text(const char* label, Duration value) const {
    std::string line = std::string(label) + " ms : ";
    if (count_ == 0)
        return line + "-";
    // Tenths of a millisecond, rounded half up, in integers: no float rounding surprises.
    const long long tenths = (value.count() + 50) / 100;
    char number[32];
    std::snprintf(number, sizeof number, "%lld.%lld", tenths / 10, tenths % 10);
    return line + number;
}

std::string ResponseTimes::last_text() const {
    return text("Last", last_);
}
std::string ResponseTimes::min_text() const {
    return text("Min", min_);
}
std::string ResponseTimes::average_text() const {
    return text("Avg", average());
}
std::string ResponseTimes::max_text() const {
    return text("Max", max_);
}

} // namespace rp
