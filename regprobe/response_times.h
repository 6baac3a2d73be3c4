#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace rp {

// Response times of the timer's good responses since the counters were last cleared: the
// last, the shortest, the mean and the longest.
class ResponseTimes {
public:
    using Duration = std::chrono::microseconds;

    void add(Duration time);
    void clear() { *this = ResponseTimes(); }

    std::uint64_t count() const { return count_; }
    Duration last() const { return last_; }
    Duration min() const { return min_; }
    Duration max() const { return max_; }
    Duration average() const;

    // "Last ms : 1.2", "Min ms : 0.8", "Avg ms : 1.0", "Max ms : 1.9": milliseconds with one
    // decimal, or "-" after each colon while there is no response to measure.
    std::string last_text() const;
    std::string min_text() const;
    std::string average_text() const;
    std::string max_text() const;

private:
    std::string text(const char* label, Duration value) const;

    std::uint64_t count_ = 0;
    Duration last_{0}, min_{0}, max_{0};
    Duration::rep total_ = 0;
};

} // namespace rp
