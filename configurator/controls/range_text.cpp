#include "controls/range_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "core/integer_text.h"

namespace mk::range {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_separator(char c) {
    return c == '.' || c == ',';
}

std::string strip_leading_zeros(std::string s) {
    const auto first = s.find_first_not_of('0');
    if (first == std::string::npos)
        return "0";
    return s.substr(first);
}

std::string pad_left(std::string_view s, std::size_t multiple) {
    const std::size_t rest = s.size() % multiple;
    std::string out(rest == 0 ? 0 : multiple - rest, '0');
    out += s;
    return out;
}

// Sum of two decimal digit strings.
std::string add_decimal(std::string_view a, std::string_view b) {
    std::string out;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
        int d = carry;
        if (i < a.size())
            d += a[a.size() - 1 - i] - '0';
        if (i < b.size())
            d += b[b.size() - 1 - i] - '0';
        out.push_back(static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    std::reverse(out.begin(), out.end());
    return strip_leading_zeros(out);
}

// Whether decimal digit string a (without leading zeros) is less than b.
bool less_decimal(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// a - b for decimal digit strings with a >= b.
std::string subtract_decimal(std::string_view a, std::string_view b) {
    std::string out;
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int d = (a[a.size() - 1 - i] - '0') - borrow;
        if (i < b.size())
            d -= b[b.size() - 1 - i] - '0';
        borrow = d < 0 ? 1 : 0;
        out.push_back(static_cast<char>('0' + d + 10 * borrow));
    }
    std::reverse(out.begin(), out.end());
    return strip_leading_zeros(out);
}

} // namespace

std::string trim_decimal(std::string_view decimal) {
    std::string digits;
    for (char c : decimal)
        if (is_digit(c))
            digits.push_back(c);
    return strip_leading_zeros(digits);
}

std::string decimal_to_bits(std::string_view decimal) {
    std::string n = trim_decimal(decimal);
    std::string bits;
    while (n != "0") {
        std::string half;
        int rest = 0;
        for (char c : n) {
            const int cur = rest * 10 + (c - '0');
            half.push_back(static_cast<char>('0' + cur / 2));
            rest = cur % 2;
        }
        bits.push_back(static_cast<char>('0' + rest));
        n = strip_leading_zeros(half);
    }
    if (bits.empty())
        return "0";
    std::reverse(bits.begin(), bits.end());
    return bits;
}

std::string bits_to_decimal(std::string_view bits) {
    std::string n = "0";
    for (char c : bits) {
        n = add_decimal(n, n);
        if (is_digit(c) && c != '0')
            n = add_decimal(n, std::string(1, c));
    }
    return n;
}

std::string hex_to_bits(std::string_view hex) {
    std::string bits;
    for (char c : hex) {
        const int v = hex_digit_value(c);
        if (v < 0)
            continue;
        for (int b = 3; b >= 0; --b)
            bits.push_back((v >> b) & 1 ? '1' : '0');
    }
    return strip_leading_zeros(bits);
}

std::string octal_to_bits(std::string_view octal) {
    std::string bits;
    for (char c : octal) {
        if (c < '0' || c > '7')
            continue;
        const int v = c - '0';
        for (int b = 2; b >= 0; --b)
            bits.push_back((v >> b) & 1 ? '1' : '0');
    }
    return strip_leading_zeros(bits);
}

std::string bits_to_octal_grouping(std::string_view bits) {
    const std::string padded = pad_left(bits, 3);
    std::string out;
    for (std::size_t i = 0; i < padded.size(); i += 3) {
        int v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v * 2 + (padded[i + k] == '1' ? 1 : 0);
        out.push_back(static_cast<char>('0' + v));
    }
    return out;
}

std::string bits_to_hex(std::string_view bits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::string padded = pad_left(bits, 4);
    std::string out;
    for (std::size_t i = 0; i < padded.size(); i += 4) {
        int v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = v * 2 + (padded[i + k] == '1' ? 1 : 0);
        out.push_back(kDigits[v]);
    }
    return strip_leading_zeros(out);
}

std::string decimal_digits_to_bcd(std::string_view decimal) {
    std::string bits;
    for (char c : decimal) {
        if (!is_digit(c))
            continue;
        const int v = c - '0';
        for (int b = 3; b >= 0; --b)
            bits.push_back((v >> b) & 1 ? '1' : '0');
    }
    return strip_leading_zeros(bits);
}

std::string bcd_decode(std::string_view bcd) {
    const std::string padded = pad_left(bcd, 4);
    std::string out;
    for (std::size_t i = 0; i < padded.size(); i += 4) {
        int v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = v * 2 + (padded[i + k] == '1' ? 1 : 0);
        out.push_back(v > 9 ? 'E' : static_cast<char>('0' + v));
    }
    return out;
}

std::string decimal_add(std::string_view decimal, long long delta) {
    const std::string n = trim_decimal(decimal);
    const unsigned long long magnitude = delta < 0 ? 0ULL - static_cast<unsigned long long>(delta)
                                                   : static_cast<unsigned long long>(delta);
    const std::string step = std::to_string(magnitude);
    if (delta >= 0)
        return add_decimal(n, step);
    if (less_decimal(n, step))
        return "0";
    return subtract_decimal(n, step);
}

std::string value_of(std::string_view text, TBase base, bool* bad_bcd) {
    if (bad_bcd)
        *bad_bcd = false;
    switch (base) {
    case TBase::Decimale:
        return trim_decimal(text);
    case TBase::Binario:
        return bits_to_decimal(text);
    case TBase::Esadecimale:
        return bits_to_decimal(hex_to_bits(text));
    case TBase::Ottale:
        return bits_to_decimal(octal_to_bits(text));
    case TBase::BCD: {
        const std::string decoded = bcd_decode(text);
        if (decoded.find('E') != std::string::npos) {
            if (bad_bcd)
                *bad_bcd = true;
            return "0";
        }
        return trim_decimal(decoded);
    }
    }
    return "0";
}

std::string write_in_base(std::string_view decimal, TBase base) {
    switch (base) {
    case TBase::Decimale:
        return trim_decimal(decimal);
    case TBase::Binario:
        return decimal_to_bits(decimal);
    case TBase::Esadecimale:
        return bits_to_hex(decimal_to_bits(decimal));
    case TBase::Ottale:
        return strip_leading_zeros(bits_to_octal_grouping(decimal_to_bits(decimal)));
    case TBase::BCD:
        return decimal_digits_to_bcd(trim_decimal(decimal));
    }
    return "0";
}

std::optional<long double> read_decimal(std::string_view text) {
    std::string normal;
    std::size_t i = 0;
    if (!text.empty() && text[0] == '-') {
        normal.push_back('-');
        i = 1;
    }
    bool separator_seen = false;
    int digits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            normal.push_back(c);
            ++digits;
        } else if (is_separator(c) && !separator_seen) {
            separator_seen = true;
            normal.push_back('.');
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    // "5." and ".5" read as numbers; from_chars wants a digit on each side of the point.
    if (normal.back() == '.')
        normal.pop_back();
    const std::size_t point = normal.find('.');
    if (point != std::string::npos && (point == 0 || normal[point - 1] == '-'))
        normal.insert(point, "0");
    long double value = 0;
    const char* end = normal.data() + normal.size();
    const auto r = std::from_chars(normal.data(), end, value, std::chars_format::fixed);
    if (r.ec == std::errc::result_out_of_range)
        return normal[0] == '-' ? -HUGE_VALL : HUGE_VALL;
    if (r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return value;
}

std::optional<char> separator_of(std::string_view text) {
    const auto pos = text.find_first_of(".,");
    if (pos == std::string_view::npos)
        return std::nullopt;
    return text[pos];
}

std::string format_number(long double value, int decimals, char separator) {
    decimals = std::clamp(decimals, 0, 17);
    if (!std::isfinite(value))
        value = 0;
    // Enough room for the largest long double written out in full.
    std::string buf(5000, '\0');
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                 std::chars_format::fixed, decimals);
    std::string out(buf.data(), r.ec == std::errc() ? r.ptr : buf.data());
    if (out.empty())
        out = "0";
    const auto point = out.find('.');
    if (point != std::string::npos) {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
        else
            out[point] = separator;
    }
    if (out == "-0")
        out = "0";
    return out;
}

long double round_to_pattern(long double value, int decimals) {
    return read_decimal(format_number(value, decimals, '.')).value_or(0);
}

std::string leading_number(std::string_view text) {
    std::size_t i = 0;
    if (!text.empty() && !(is_digit(text[0]) || is_separator(text[0]) || text[0] == '-'))
        i = 1;
    std::string out;
    if (i < text.size() && text[i] == '-') {
        out.push_back('-');
        ++i;
    }
    bool separator_seen = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            out.push_back(c);
        } else if (is_separator(c) && !separator_seen) {
            separator_seen = true;
            out.push_back(c);
        } else {
            break;
        }
    }
    return out;
}

bool is_bare_sign_or_separator(std::string_view text) {
    return text == "-" || text == "-." || text == "-," || text == "." || text == ",";
}

TextRuleResult apply_text_rules(std::string_view text, const TextRuleContext& ctx) {
    TextRuleResult result{std::string(text), false};
    // Each rule that changes the text starts the rules again; a handful of rounds always settles
    // because every round either removes characters or returns to the last valid text.
    for (int round = 0; round < 16; ++round) {
        std::string s = result.text;
        if (ctx.has_focus)
            std::transform(s.begin(), s.end(), s.begin(), [](char c) {
                return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            });
        if (ctx.max_length > 0 && s.size() > static_cast<std::size_t>(ctx.max_length)) {
            // A last valid text that is itself too long (the limit or the base changed since)
            // would bring the rule back for ever; the text is then cut to the limit.
            if (ctx.last_valid.size() <= static_cast<std::size_t>(ctx.max_length))
                s = std::string(ctx.last_valid);
            else
                s.resize(static_cast<std::size_t>(ctx.max_length));
        }
        // The same characters stay in every base: a pasted text keeps what the user can see
        // and correct, and the base's own reading skips what it cannot use.
        std::erase_if(s, [](char c) {
            return !(is_digit(c) || (c >= 'A' && c <= 'F') || is_separator(c) || c == '-');
        });
        for (std::size_t i = s.size(); i-- > 1;)
            if (s[i] == '-')
                s.erase(i, 1);
        if (s.find(",-") != std::string::npos || s.find(".-") != std::string::npos) {
            s = std::string(ctx.last_valid);
            result.error_flash = true;
        }
        if (ctx.base == TBase::Decimale && s.empty())
            s = "0";
        if (s == result.text)
            break;
        result.text = std::move(s);
    }
    return result;
}

std::string integer_part(long double value) {
    if (!std::isfinite(value) || value < 0)
        return "0";
    return format_number(std::trunc(value), 0, '.');
}

ConversionResult convert_text(std::string_view text, TBase from, TBase to,
                              std::string_view decimal_integer) {
    if (from == to)
        return {ConversionOutcome::Converted, std::string(text)};
    std::string decimal; // the value as decimal digits
    std::string digits;  // the digits a BCD target codes
    switch (from) {
    case TBase::Decimale: {
        if (text.find('-') != std::string_view::npos)
            return {ConversionOutcome::NegativeDecimal, std::string(text)};
        const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
        digits = plain ? std::string(text) : trim_decimal(decimal_integer);
        decimal = trim_decimal(digits);
        break;
    }
    case TBase::BCD: {
        const std::string decoded = bcd_decode(text);
        if (decoded.find('E') != std::string::npos)
            return {ConversionOutcome::BadBcd, std::string(text)};
        if (to == TBase::Decimale)
            return {ConversionOutcome::Converted, decoded};
        decimal = trim_decimal(decoded);
        break;
    }
    case TBase::Binario:
    case TBase::Esadecimale:
    case TBase::Ottale:
        decimal = value_of(text, from);
        break;
    }
    if (digits.empty())
        digits = decimal;

    const std::string bits = [&] {
        switch (from) {
        case TBase::Binario:
            // The text is grouped as it stands while it holds only bits; other digits count at
            // their power of two, so such a text is grouped by the bits of that value.
            if (std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; }))
                return std::string(text);
            return decimal_to_bits(decimal);
        case TBase::Esadecimale:
            return hex_to_bits(text);
        case TBase::Ottale:
            return octal_to_bits(text);
        default:
            return decimal_to_bits(decimal);
        }
    }();
    switch (to) {
    case TBase::Decimale:
        return {ConversionOutcome::Converted, decimal};
    case TBase::Binario:
        return {ConversionOutcome::Converted, bits};
    case TBase::Esadecimale:
        return {ConversionOutcome::Converted, bits_to_hex(bits)};
    case TBase::Ottale:
        return {ConversionOutcome::Converted, bits_to_octal_grouping(bits)};
    case TBase::BCD:
        return {ConversionOutcome::Converted, decimal_digits_to_bcd(digits)};
    }
    return {ConversionOutcome::Converted, std::string(text)};
}

} // namespace mk::range
