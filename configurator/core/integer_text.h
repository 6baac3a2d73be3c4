#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/user_error.h"

namespace mk {

// The value of one hexadecimal digit (either case), or -1 for any other character. The one
// reading of a hexadecimal digit: integer text, S-record lines and the range field's texts.
constexpr int hex_digit_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The one text form of a number in table files and grid cells: leading spaces, one optional sign,
// then decimal digits within the signed 32-bit range, or one to eight hexadecimal digits after
// "0x", "0X", "x", "X" or "$" taken as a 32-bit pattern. Nothing may follow the digits.

// "'%s' is not a valid integer value" with the offending text in place.
std::string invalid_integer_message(std::string_view text);

class ConversionError : public UserError {
public:
    explicit ConversionError(std::string_view text)
        : UserError(invalid_integer_message(text)), text_(text) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The value of the text, or nothing when it is not integer text.
std::optional<std::int32_t> parse_integer_text(std::string_view text);

// Strict conversion: throws ConversionError when the text is not integer text.
std::int32_t str_to_int(std::string_view text);

// Conversion with a default for text that is not integer text.
std::int32_t str_to_int_def(std::string_view text, std::int32_t fallback);

// The entry filter of grid cells that take integer text while it is being typed: the text stays
// when it is integer text or exactly "0x" (the start of a hexadecimal number); anything else
// empties the cell. Hexadecimal entry therefore starts with "0x".
std::string filter_integer_cell(std::string_view text);

} // namespace mk
