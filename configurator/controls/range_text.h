#pragma once

// Text rules of the numeric range field, free of any window code: digit-string conversions
// between the five bases, reading and formatting decimal numbers, the text-change rules and the
// base conversion table. Values of the non-decimal bases are carried as decimal digit strings,
// so a long binary or hexadecimal text converts exactly, however many digits it has.

#include <optional>
#include <string>
#include <string_view>

namespace mk {

// The base of the field's text, in the order the field's users know them.
enum class TBase { Decimale, Binario, Esadecimale, Ottale, BCD };

inline constexpr std::string_view kMsgValueMustBePositive = "Il valore deve essere positivo !!!!";
inline constexpr std::string_view kMsgBadBcdOnConvert = "Codice BCD scorretto";
inline constexpr std::string_view kMsgBadBcdOnStep = "Codice BCD scorreto";

namespace range {

// --- Digit strings -------------------------------------------------------------------------

// Binary digits of a decimal digit string (other characters skipped), without leading zeros;
// zero gives "0".
std::string decimal_to_bits(std::string_view decimal);
// Decimal digits of a binary text: each character's digit value times its power of two, the
// rightmost character having weight 1. Characters that are not digits count as 0.
std::string bits_to_decimal(std::string_view bits);
// Each hexadecimal digit (either case) becomes 4 bits, other characters are skipped, leading
// zeros are removed; an empty result gives "0".
std::string hex_to_bits(std::string_view hex);
// Each octal digit becomes 3 bits, other characters are skipped, leading zeros are removed; an
// empty result gives "0".
std::string octal_to_bits(std::string_view octal);
// The binary text padded on the left to a multiple of 3, each group of three one octal digit.
// Nothing more is removed, so leading zeros of the bits can survive as a leading "0".
std::string bits_to_octal_grouping(std::string_view bits);
// Upper-case hexadecimal digits of a binary text, without leading zeros; zero gives "0".
std::string bits_to_hex(std::string_view bits);
// Each decimal digit becomes its 4-bit code, other characters are skipped, leading zeros are
// removed; an empty result gives "0".
std::string decimal_digits_to_bcd(std::string_view decimal);
// The binary text padded on the left to a multiple of 4, each group of four one digit, or "E"
// for a group above 9. An empty text decodes to an empty string.
std::string bcd_decode(std::string_view bcd);

// A decimal digit string without leading zeros ("" and "000" give "0").
std::string trim_decimal(std::string_view decimal);
// A non-negative decimal digit string plus a signed step; a negative result gives "0".
std::string decimal_add(std::string_view decimal, long long delta);

// --- Values in a base ----------------------------------------------------------------------

// The value of a non-decimal text as a decimal digit string. For BCD, `bad_bcd` tells whether a
// group was above 9 (the value then counts as 0).
std::string value_of(std::string_view text, TBase base, bool* bad_bcd = nullptr);
// A non-negative decimal value written in a base, without leading zeros.
std::string write_in_base(std::string_view decimal, TBase base);

// --- Decimal numbers -----------------------------------------------------------------------

// Reads a decimal text: an optional leading "-", digits, and at most one separator ("." or ",")
// with at least one digit somewhere. Anything else is not a number (no exponent, no blanks).
std::optional<long double> read_decimal(std::string_view text);
// The separator the text uses ("." or ","), or none.
std::optional<char> separator_of(std::string_view text);
// The value rounded to `decimals` places (at most 17), without trailing zeros, without a
// thousands separator, "-" for negatives, written with the given separator character.
std::string format_number(long double value, int decimals, char separator);
// The value rounded to `decimals` places as the number pattern rounds it.
long double round_to_pattern(long double value, int decimals);
// The leading number of a text for stepping: an optional "-" as first character, digits and at
// most one separator; a first character that is none of these is skipped.
std::string leading_number(std::string_view text);
// Texts that are only a sign and/or a separator: "-", "-.", "-,", "." and ",".
bool is_bare_sign_or_separator(std::string_view text);

// --- Text-change rules ---------------------------------------------------------------------

struct TextRuleContext {
    TBase base = TBase::Decimale;
    int max_length = 0; // the current base's length limit; 0 or less means none
    std::string_view last_valid;
    bool has_focus = false;
};

struct TextRuleResult {
    std::string text;
    bool error_flash = false;
};

// Applies the text-change rules until the text is stable, so each rule holds for the result.
TextRuleResult apply_text_rules(std::string_view text, const TextRuleContext& ctx);

// --- Base conversion -----------------------------------------------------------------------

enum class ConversionOutcome { Converted, NegativeDecimal, BadBcd };

struct ConversionResult {
    ConversionOutcome outcome = ConversionOutcome::Converted;
    std::string text;
};

// Converts a text from one base to another. `decimal_integer` is the integer the decimal text
// stands for when it holds a separator or is not plain digits (the field supplies it from its
// value or its last in-range value), as a decimal digit string.
ConversionResult convert_text(std::string_view text, TBase from, TBase to,
                              std::string_view decimal_integer);

// The integer part of a non-negative value as a decimal digit string.
std::string integer_part(long double value);

} // namespace range
} // namespace mk
