#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "regprobe/local_stamp.h"

namespace rp {

enum class FrameDirection { Sent, Received };

// How many lines the traffic view keeps; older lines are dropped.
inline constexpr int kTrafficLines = 1000;

// One frame as the traffic view shows it: the time of day, "Tx:" for a request or "Rx:" for a
// response, and every byte as two upper-case hexadecimal digits after a blank.
// "01:15:03.042 Tx: 00 00 00 00 00 06 07 03 00 28 00 02"
std::string frame_hex_line(const LocalStamp& when, FrameDirection direction,
                           std::span<const std::uint8_t> frame);

} // namespace rp
