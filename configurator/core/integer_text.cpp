#include "core/integer_text.h"

#include <cstdint>

namespace mk {

namespace {

// Length of the hexadecimal prefix at the start of s, 0 when there is none.
std::size_t hex_prefix_length(std::string_view s) {
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return 2;
    if (!s.empty() && (s[0] == 'x' || s[0] == 'X' || s[0] == '$'))
        return 1;
    return 0;
}

} // namespace

std::string invalid_integer_message(std::string_view text) {
    std::string out = "'";
    out += text;
    out += "' is not a valid integer value";
    return out;
}

std::optional<std::int32_t> parse_integer_text(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (const std::size_t prefix = hex_prefix_length(s); prefix > 0) {
        s.remove_prefix(prefix);
        if (s.empty() || s.size() > 8)
            return std::nullopt;
        std::uint32_t pattern = 0;
        for (char c : s) {
            const int d = hex_digit_value(c);
            if (d < 0)
                return std::nullopt;
            pattern = (pattern << 4) | static_cast<std::uint32_t>(d);
        }
        if (negative)
            pattern = 0u - pattern;
        return static_cast<std::int32_t>(pattern);
    }
    if (s.empty())
        return std::nullopt;
    // Accumulate the magnitude in 64 bits; the limit is one more for negative numbers.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::int32_t str_to_int(std::string_view text) {
    if (auto v = parse_integer_text(text))
        return *v;
    throw ConversionError(text);
}

std::int32_t str_to_int_def(std::string_view text, std::int32_t fallback) {
    return parse_integer_text(text).value_or(fallback);
}

std::string filter_integer_cell(std::string_view text) {
    if (text == "0x" || parse_integer_text(text))
        return std::string(text);
    return {};
}

} // namespace mk
