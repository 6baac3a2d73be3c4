#include "regprobe/integer_text.h"

namespace rp {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Length of the hexadecimal prefix at the start of the text, 0 when there is none.
std::size_t hex_prefix(std::string_view t) {
    if (t.starts_with("0x") || t.starts_with("0X"))
        return 2;
    if (t.starts_with("x") || t.starts_with("X") || t.starts_with("$"))
        return 1;
    return 0;
}

} // namespace

std::string invalid_integer_message(std::string_view text) {
    std::string message;
    message.reserve(text.size() + 32);
    message.append(1, '\'').append(text).append("' is not a valid integer value");
    return message;
}

ConversionError::ConversionError(std::string_view text)
    : std::runtime_error(invalid_integer_message(text)) {}

std::optional<std::int32_t> parse_integer_text(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (const std::size_t prefix = hex_prefix(t); prefix > 0) {
        t.remove_prefix(prefix);
        if (t.empty() || t.size() > 8)
            return std::nullopt;
        std::uint32_t bits = 0;
        for (char c : t) {
            const int d = hex_digit(c);
            if (d < 0)
                return std::nullopt;
            bits = (bits << 4) | static_cast<std::uint32_t>(d);
        }
        // Eight digits are a 32-bit pattern, so "0xFFFFFFFF" is -1; the sign negates it.
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    if (t.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{2147483648})
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t str_to_int(std::string_view text) {
    if (auto v = parse_integer_text(text))
        return *v;
    throw ConversionError(text);
}

} // namespace rp
