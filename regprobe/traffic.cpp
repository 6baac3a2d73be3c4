#include "regprobe/traffic.h"

namespace rp {

std::string frame_hex_line(const LocalStamp& when, FrameDirection direction,
                           std::span<const std::uint8_t> frame) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = time_of_day_text(when);
    line += direction == FrameDirection::Sent ? " Tx:" : " Rx:";
    line.reserve(line.size() + 3 * frame.size());
    for (std::uint8_t b : frame) {
        line += ' ';
        line += kDigits[b >> 4];
        line += kDigits[b & 0x0F];
    }
    return line;
}

} // namespace rp
