#include "regprobe/window_texts.h"

#include <cstdio>

namespace rp {

ListIndexError::ListIndexError(std::size_t index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

std::uint16_t register_number_for_address(std::int32_t address) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(address) + 1u);
}

std::string read_result_text(std::int32_t address, std::span<const std::uint16_t> values) {
    std::string text = "Register value(s) read:";
    char line[48];
    for (std::size_t i = 0; i < values.size(); ++i) {
        // 64 bits: an address near the top of the 32-bit range keeps counting upwards.
        const long long reg = static_cast<long long>(address) + static_cast<long long>(i);
        std::snprintf(line, sizeof line, "\r\n     %lld: 0x%04X", reg,
                      static_cast<unsigned>(values[i]));
        text += line;
    }
    return text;
}

std::string request_counter_text(long long count) {
    return "Tot. request : " + std::to_string(count);
}

std::string response_counter_text(long long count) {
    return "Tot. response ok : " + std::to_string(count);
}

} // namespace rp
