#pragma once

#include <cstdint>

namespace mk {

// A local date and time as the build stamps it into the parameter block.
struct BuildStamp {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Where the build takes its date and time from: the local clock in the program, a fixed moment
// in tests and in reproducible command-line builds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual BuildStamp now() const = 0;
};

class LocalClock : public Clock {
public:
    BuildStamp now() const override;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(BuildStamp stamp) : stamp_(stamp) {}
    BuildStamp now() const override { return stamp_; }

private:
    BuildStamp stamp_;
};

// The clock of this process's local time, shared by every caller that needs no other.
const Clock& local_clock();

// (year mod 100) + month * 128 + day * 2048.
std::uint16_t build_date_word(const BuildStamp& stamp);
// hour + minute * 32 + (second div 2) * 2048.
std::uint16_t build_time_word(const BuildStamp& stamp);

} // namespace mk
