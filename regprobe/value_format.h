#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rp {

// How read register values are shown. Hex is four upper-case hexadecimal digits after "0x";
// the 32-bit forms take two registers per value.
enum class ValueFormat { Hex, Unsigned, Signed, Binary, Unsigned32, Signed32, Float32 };

// Which register of a pair holds the high 16 bits of a 32-bit value.
enum class WordOrder { HighWordFirst, LowWordFirst };

struct ValueView {
    ValueFormat format = ValueFormat::Hex;
    WordOrder order = WordOrder::HighWordFirst;
};

// The choices as the window lists them, in the order of the enumerations.
inline constexpr std::array<const char*, 7> kValueFormatNames = {
    "Hex", "Unsigned", "Signed", "Binary", "32-bit unsigned", "32-bit signed", "32-bit float"};
inline constexpr std::array<const char*, 2> kWordOrderNames = {"High word first", "Low word first"};

bool is_pair_format(ValueFormat format);

// One shown value: the number of its (first) register and its text.
struct ShownValue {
    long long reg;
    std::string text;
    bool operator==(const ShownValue&) const = default;
};

// The values read from register `address` on, as `view` shows them. A 32-bit form makes one
// value of each pair of registers; the last register of an odd block has no partner and is
// shown in Hex.
std::vector<ShownValue> shown_values(std::int32_t address, std::span<const std::uint16_t> values,
                                     ValueView view);

// "Register value(s) read:" and, for each shown value, CR LF, five blanks, its register number,
// ": " and its text. In Hex this is the read result with ": 0x" and four digits per register.
std::string read_result_text(std::int32_t address, std::span<const std::uint16_t> values,
                             ValueView view);

} // namespace rp
