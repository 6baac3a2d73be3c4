#include "regprobe/window_texts.h"

#include "regprobe/integer_text.h"

namespace rp {

ListIndexError::ListIndexError(std::size_t index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

std::uint16_t port_from_text(const std::string& text) {
    const std::int32_t port = str_to_int(text);
    if (port < 1 || port > 65535)
        throw SettingError("'" + text + "' is not a valid port (1 to 65535)");
    return static_cast<std::uint16_t>(port);
}

std::uint32_t time_out_from_text(const std::string& text) {
    const std::int32_t ms = str_to_int(text);
    if (ms < 0)
        throw SettingError("'" + text + "' is not a valid time-out (0 ms or more)");
    return static_cast<std::uint32_t>(ms);
}

std::uint16_t register_number_for_address(std::int32_t address) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(address) + 1u);
}

std::string read_result_text(std::int32_t address, std::span<const std::uint16_t> values) {
    return read_result_text(address, values, ValueView{});
}

std::string request_counter_text(long long count) {
    return "Tot. request : " + std::to_string(count);
}

std::string response_counter_text(long long count) {
    return "Tot. response ok : " + std::to_string(count);
}

} // namespace rp
