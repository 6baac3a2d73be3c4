#pragma once

#include <chrono>
#include <string>

namespace rp {

// A moment in local time, read once from the clock: the calendar fields, the milliseconds and
// the offset from UTC in force at that moment.
struct LocalStamp {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    long utc_offset_seconds = 0;
};

LocalStamp local_stamp(std::chrono::system_clock::time_point when);

// ISO 8601 with milliseconds and the UTC offset: "2026-12-10T01:15:03.042+01:00". The offset
// keeps a log that runs across a change to or from summer time in order.
std::string iso8601_text(const LocalStamp& stamp);

// The time of day with milliseconds: "01:15:03.042".
std::string time_of_day_text(const LocalStamp& stamp);

} // namespace rp
