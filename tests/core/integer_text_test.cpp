#include <gtest/gtest.h>

#include "core/integer_text.h"

namespace {

using mk::parse_integer_text;

TEST(IntegerText, AcceptsEveryFormOfTwentySix) {
    for (const char* text :
         {"26", " 26", "   26", "+26", "0x1A", "0X1a", "$1A", "x1A", "X1a", "$001a"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(parse_integer_text(text).has_value());
        EXPECT_EQ(*parse_integer_text(text), 26);
    }
}

TEST(IntegerText, RefusesWhatDoesNotFollowTheRule) {
    for (const char* text : {"", " ", "26 ", "0x", "$", "1A", "--5", "+-5", "\t26", "2 6",
                             "0x123456789", "x-1", "26h", "0b101", "1e3", "- 5"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parse_integer_text(text).has_value());
    }
}

TEST(IntegerText, HexadecimalIsA32BitPattern) {
    EXPECT_EQ(*parse_integer_text("0xFFFFFFFF"), -1);
    EXPECT_EQ(*parse_integer_text("$80000000"), INT32_MIN);
    EXPECT_EQ(*parse_integer_text("-0x10"), -16);
    EXPECT_EQ(*parse_integer_text("0"), 0);
}

TEST(IntegerText, DecimalStaysInTheSigned32BitRange) {
    EXPECT_EQ(*parse_integer_text("2147483647"), INT32_MAX);
    EXPECT_EQ(*parse_integer_text("-2147483648"), INT32_MIN);
    EXPECT_FALSE(parse_integer_text("2147483648").has_value());
    EXPECT_FALSE(parse_integer_text("-2147483649").has_value());
    EXPECT_FALSE(parse_integer_text("99999999999999999999999").has_value());
}

TEST(IntegerText, StrictConversionCarriesTheUsersMessage) {
    try {
        mk::str_to_int("1A");
        FAIL() << "no error";
    } catch (const mk::ConversionError& e) {
        EXPECT_STREQ(e.what(), "'1A' is not a valid integer value");
        EXPECT_EQ(e.text(), "1A");
    }
    EXPECT_THROW(mk::str_to_int(""), mk::UserError);
    EXPECT_EQ(mk::str_to_int("$ff"), 255);
}

TEST(IntegerText, DefaultReplacesOnlyBadText) {
    EXPECT_EQ(mk::str_to_int_def("abc", -1), -1);
    EXPECT_EQ(mk::str_to_int_def("", 0), 0);
    EXPECT_EQ(mk::str_to_int_def(" 7", -1), 7);
}

} // namespace
