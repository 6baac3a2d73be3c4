#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "regprobe/value_format.h"

namespace rp {

inline constexpr const char* kCaption = "Veltrisa  Modbus TCP master";
inline constexpr const char* kMsgReadFailed = "Read operation failed!";
inline constexpr const char* kMsgWriteOk = "Write register write successful!";
inline constexpr const char* kMsgWriteFailed = "Write register write failed!";
inline constexpr const char* kMsgWriteMultipleOk = "Write registers write successful!";
inline constexpr const char* kMsgWriteMultipleFailed = "Write registers write failed!";

// Raised when the multiple write needs more values than the list holds.
class ListIndexError : public std::out_of_range {
public:
    explicit ListIndexError(std::size_t index);
};

// Raised when a typed port or time-out is a number out of its range; what() is the user's text.
class SettingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Port": integer text from 1 to 65535, otherwise "'%s' is not a valid port (1 to 65535)".
std::uint16_t port_from_text(const std::string& text);
// "Time-out ms": integer text of 0 or more (0: take only what has already come), otherwise
// "'%s' is not a valid time-out (0 ms or more)".
std::uint32_t time_out_from_text(const std::string& text);

// Register numbers are typed as protocol addresses counted from 0; the client counts from 1.
// Address 65535 (or -1) gives register number 0, which the client sends as address 65535.
std::uint16_t register_number_for_address(std::int32_t address);

// "Register value(s) read:" and, for each value, CR LF, five blanks, the address a + i,
// ": 0x" and the value as four upper-case hexadecimal digits.
std::string read_result_text(std::int32_t address, std::span<const std::uint16_t> values);

// "Tot. request : " and "Tot. response ok : " followed by the counter.
std::string request_counter_text(long long count);
std::string response_counter_text(long long count);

} // namespace rp
