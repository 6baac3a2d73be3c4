#include "regprobe/value_format.h"

#include <bit>
#include <charconv>
#include <cstdio>

namespace rp {

namespace {

std::string hex_text(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
    return text;
}

// Sixteen digits in four groups of four, most significant first: readable, and a spreadsheet
// opening the log keeps it as text instead of reading a decimal number.
std::string binary_text(std::uint16_t v) {
    std::string text;
    for (int bit = 15; bit >= 0; --bit) {
        text += ((v >> bit) & 1u) ? '1' : '0';
        if (bit % 4 == 0 && bit > 0)
            text += ' ';
    }
    return text;
}

// The shortest text that reads back as the same float ("3.1415927"); "nan" and "inf" for
// patterns that are no number.
std::string float_text(std::uint32_t pattern) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, std::bit_cast<float>(pattern));
    return std::string(text, r.ptr);
}

std::string single_text(std::uint16_t v, ValueFormat format) {
    switch (format) {
    case ValueFormat::Unsigned:
        return std::to_string(v);
    case ValueFormat::Signed:
        return std::to_string(static_cast<std::int16_t>(v));
    case ValueFormat::Binary:
        return binary_text(v);
    default:
        return hex_text(v);
    }
}

std::string pair_text(std::uint32_t v, ValueFormat format) {
    switch (format) {
    case ValueFormat::Unsigned32:
        return std::to_string(v);
    case ValueFormat::Signed32:
        return std::to_string(static_cast<std::int32_t>(v));
    default:
        return float_text(v);
    }
}

} // namespace

bool is_pair_format(ValueFormat format) {
    return format == ValueFormat::Unsigned32 || format == ValueFormat::Signed32 ||
           format == ValueFormat::Float32;
}

std::vector<ShownValue> shown_values(std::int32_t address, std::span<const std::uint16_t> values,
                                     ValueView view) {
    std::vector<ShownValue> shown;
    const bool pairs = is_pair_format(view.format);
    shown.reserve(pairs ? (values.size() + 1) / 2 : values.size());
    for (std::size_t i = 0; i < values.size();) {
        // 64 bits: an address near the top of the 32-bit range keeps counting upwards.
        const long long reg = static_cast<long long>(address) + static_cast<long long>(i);
        if (pairs && i + 1 < values.size()) {
            const bool high_first = view.order == WordOrder::HighWordFirst;
            const std::uint32_t high = high_first ? values[i] : values[i + 1];
            const std::uint32_t low = high_first ? values[i + 1] : values[i];
            shown.push_back({reg, pair_text((high << 16) | low, view.format)});
            i += 2;
        } else {
            shown.push_back({reg, single_text(values[i], view.format)});
            ++i;
        }
    }
    return shown;
}

std::string read_result_text(std::int32_t address, std::span<const std::uint16_t> values,
                             ValueView view) {
    std::string text = "Register value(s) read:";
    for (const ShownValue& v : shown_values(address, values, view)) {
        text += "\r\n     ";
        text += std::to_string(v.reg);
        text += ": ";
        text += v.text;
    }
    return text;
}

} // namespace rp
