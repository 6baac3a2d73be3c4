// The numeric field's text rules, without a window.
#include <gtest/gtest.h>

#include "controls/range_text.h"

namespace {

using mk::TBase;
using namespace mk::range;

TEST(RangeDigits, TwentyFiveInEveryBase) {
    EXPECT_EQ(decimal_to_bits("25"), "11001");
    EXPECT_EQ(bits_to_hex("11001"), "19");
    EXPECT_EQ(bits_to_octal_grouping("11001"), "31");
    EXPECT_EQ(decimal_digits_to_bcd("25"), "100101");
    EXPECT_EQ(bcd_decode("100101"), "25");
    EXPECT_EQ(bits_to_decimal("11001"), "25");
}

TEST(RangeDigits, DigitStringRules) {
    EXPECT_EQ(decimal_to_bits("0"), "0");
    EXPECT_EQ(decimal_to_bits(""), "0");
    EXPECT_EQ(hex_to_bits("0f"), "1111");
    EXPECT_EQ(hex_to_bits("x-"), "0");
    EXPECT_EQ(octal_to_bits("0178"), "1111");        // 8 is skipped
    EXPECT_EQ(bits_to_octal_grouping("0001"), "01"); // padding only, nothing more removed
    EXPECT_EQ(bits_to_hex("0000"), "0");
    EXPECT_EQ(decimal_digits_to_bcd("007"), "111");
    EXPECT_EQ(decimal_digits_to_bcd(""), "0");
    EXPECT_EQ(bcd_decode(""), "");
    EXPECT_EQ(bcd_decode("1010"), "E");
    EXPECT_EQ(bcd_decode("10000"), "10");
}

TEST(RangeDigits, LongTextsConvertExactly) {
    // 72 bits: more than any machine integer holds.
    EXPECT_EQ(bits_to_decimal(hex_to_bits("FFFFFFFFFFFFFFFFFF")), "4722366482869645213695");
    EXPECT_EQ(write_in_base("4722366482869645213695", TBase::Esadecimale), "FFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(decimal_add("18446744073709551615", 1), "18446744073709551616");
    EXPECT_EQ(decimal_add("999", 1), "1000");
    EXPECT_EQ(decimal_add("1000", -1000), "0");
    EXPECT_EQ(decimal_add("5", -10), "0");
}

TEST(RangeDigits, ValuesInEachBase) {
    EXPECT_EQ(value_of("1F", TBase::Esadecimale), "31");
    EXPECT_EQ(value_of("17", TBase::Ottale), "15");
    bool bad = false;
    EXPECT_EQ(value_of("1010", TBase::BCD, &bad), "0");
    EXPECT_TRUE(bad);
    EXPECT_EQ(value_of("10000", TBase::BCD, &bad), "10");
    EXPECT_FALSE(bad);
    EXPECT_EQ(write_in_base("8", TBase::Ottale), "10");
    EXPECT_EQ(write_in_base("0", TBase::Ottale), "0");
    EXPECT_EQ(write_in_base("10", TBase::BCD), "10000");
}

TEST(RangeConversion, TableOfConversions) {
    const auto conv = [](std::string_view text, TBase from, TBase to) {
        return convert_text(text, from, to, "0").text;
    };
    EXPECT_EQ(conv("25", TBase::Decimale, TBase::Binario), "11001");
    EXPECT_EQ(conv("25", TBase::Decimale, TBase::Esadecimale), "19");
    EXPECT_EQ(conv("25", TBase::Decimale, TBase::Ottale), "31");
    EXPECT_EQ(conv("25", TBase::Decimale, TBase::BCD), "100101");
    EXPECT_EQ(conv("0001", TBase::Binario, TBase::Ottale), "01");
    EXPECT_EQ(conv("0001", TBase::Binario, TBase::Esadecimale), "1");
    EXPECT_EQ(conv("11001", TBase::Binario, TBase::BCD), "100101");
    EXPECT_EQ(conv("1F", TBase::Esadecimale, TBase::Ottale), "37");
    EXPECT_EQ(conv("1F", TBase::Esadecimale, TBase::Decimale), "31");
    EXPECT_EQ(conv("17", TBase::Ottale, TBase::Esadecimale), "F");
    EXPECT_EQ(conv("17", TBase::Ottale, TBase::Binario), "1111");
    EXPECT_EQ(conv("100101", TBase::BCD, TBase::Decimale), "25");
    EXPECT_EQ(conv("000100101", TBase::BCD, TBase::Decimale), "025"); // digit string unchanged
    EXPECT_EQ(conv("100101", TBase::BCD, TBase::Ottale), "31");
    EXPECT_EQ(conv("12", TBase::Ottale, TBase::Ottale), "12");
}

TEST(RangeConversion, ABinaryTextWithOtherDigitsConvertsByItsValue) {
    // "1021" counts each digit at its power of two: 8 + 0 + 4 + 1. Every target shows 13.
    const auto conv = [](TBase to) { return convert_text("1021", TBase::Binario, to, "0").text; };
    EXPECT_EQ(conv(TBase::Decimale), "13");
    EXPECT_EQ(conv(TBase::Esadecimale), "D");
    EXPECT_EQ(conv(TBase::Ottale), "15");
    EXPECT_EQ(conv(TBase::BCD), "10011");
    EXPECT_EQ(value_of("1021", TBase::Binario), "13");
}

TEST(RangeConversion, DecimalTextsThatAreNotPlainDigitsUseTheFieldsInteger) {
    EXPECT_EQ(convert_text("12.7", TBase::Decimale, TBase::Binario, "12").text, "1100");
    EXPECT_EQ(convert_text("1E5", TBase::Decimale, TBase::Esadecimale, "7").text, "7");
    EXPECT_EQ(convert_text("-3", TBase::Decimale, TBase::Binario, "0").outcome,
              ConversionOutcome::NegativeDecimal);
    const auto bad = convert_text("1010", TBase::BCD, TBase::Decimale, "0");
    EXPECT_EQ(bad.outcome, ConversionOutcome::BadBcd);
    EXPECT_EQ(bad.text, "1010");
    EXPECT_EQ(integer_part(12.9), "12");
}

TEST(RangeNumbers, ReadingAndFormatting) {
    EXPECT_DOUBLE_EQ(static_cast<double>(*read_decimal("1,5")), 1.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(*read_decimal("5.")), 5.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(*read_decimal("-.5")), -0.5);
    for (const char* bad : {"", "-", ".", "-,", "1E5", "1.2.3", "1-", "+1", " 1"})
        EXPECT_FALSE(read_decimal(bad).has_value()) << bad;

    EXPECT_EQ(format_number(12.34567L, 3, '.'), "12.346");
    EXPECT_EQ(format_number(12.34567L, 5, '.'), "12.34567");
    EXPECT_EQ(format_number(7, 3, '.'), "7");
    EXPECT_EQ(format_number(1.5L, 3, ','), "1,5");
    EXPECT_EQ(format_number(-0.0001L, 3, '.'), "0");
    EXPECT_EQ(format_number(1234567.0L, 3, '.'), "1234567"); // no thousands separator
}

TEST(RangeNumbers, LeadingNumberForStepping) {
    EXPECT_EQ(leading_number("12AB"), "12");
    EXPECT_EQ(leading_number("1.2.3"), "1.2");
    EXPECT_EQ(leading_number("A12"), "12");
    EXPECT_EQ(leading_number("-,"), "-,");
    EXPECT_TRUE(is_bare_sign_or_separator("-,"));
    EXPECT_TRUE(is_bare_sign_or_separator(","));
}

TEST(RangeTextRules, EachRuleHoldsForTheFinalText) {
    const auto rules = [](std::string_view text, TBase base = TBase::Decimale, bool focus = true,
                          int max = 0, std::string_view last = "0") {
        return apply_text_rules(text, {base, max, last, focus}).text;
    };
    EXPECT_EQ(rules("1-2"), "12");
    EXPECT_EQ(rules("-1-2-"), "-12");
    EXPECT_EQ(rules(""), "0");
    EXPECT_EQ(rules("1g2ab"), "12AB");                       // upper-cased while focused
    EXPECT_EQ(rules("1g2ab", TBase::Decimale, false), "12"); // lower case is not a digit
    EXPECT_EQ(rules("1 2\t"), "12");
    EXPECT_EQ(rules("12a", TBase::Esadecimale, true, 2, "12"), "12");
    // A text over the limit returns whole to the last valid text, wherever the extra was typed.
    EXPECT_EQ(rules("A12", TBase::Esadecimale, true, 2, "12"), "12");
    EXPECT_EQ(rules("1A2", TBase::Esadecimale, true, 2, "12"), "12");
    // A last valid text that is itself too long cannot bring the text back; it is cut.
    EXPECT_EQ(rules("11111111", TBase::Binario, true, 4, "11111111"), "1111");
    // Every base keeps the same characters: digits, A to F, separators and a leading sign.
    EXPECT_EQ(rules("1021", TBase::Binario), "1021");
    EXPECT_EQ(rules("78", TBase::Ottale), "78");
    EXPECT_EQ(rules("-1.fg", TBase::Esadecimale), "-1.F");
    EXPECT_EQ(rules("1.fg", TBase::Esadecimale, false), "1.");
    EXPECT_EQ(rules("", TBase::Binario), "");
}

} // namespace
