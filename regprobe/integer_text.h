#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rp {

// Every number typed in Regprobe is integer text: leading spaces, one optional sign, then
// decimal digits within the signed 32-bit range, or one to eight hexadecimal digits after "0x",
// "0X", "x", "X" or "$" taken as a 32-bit pattern. Nothing may follow the digits.

// Raised when a typed text is not integer text; what() is the text the user reads.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(std::string_view text);
};

// "'%s' is not a valid integer value" with the text in place of %s.
std::string invalid_integer_message(std::string_view text);

// The value of the text, or nothing when it is not integer text.
std::optional<std::int32_t> parse_integer_text(std::string_view text);

// The value of the text; throws ConversionError when it is not integer text.
std::int32_t str_to_int(std::string_view text);

} // namespace rp
