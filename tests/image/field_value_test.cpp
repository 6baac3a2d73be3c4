#include <gtest/gtest.h>

#include "image/build_clock.h"
#include "image/field_value.h"

namespace mk {
namespace {

// Every text form a table cell can hold, each a named case: its value, and whether the
// conversion message is shown.
struct FieldCase {
    const char* name;
    const char* text;
    std::uint16_t value;
    bool message;
};

const FieldCase kFieldCases[] = {
    {"empty_is_all_ones_silently", "", 0xFFFF, false},
    {"spaces_around_removed", " 26 ", 26, false},
    {"control_characters_removed", "\t5\r\n", 5, false},
    {"hex_0x", "0x1A", 26, false},
    {"hex_dollar_lower_case", "$1a", 26, false},
    {"hex_capital_x", "X1A", 26, false},
    {"negative_low_16_bits", "-1", 0xFFFF, false},
    {"above_16_bits_low_16_bits", "70000", 4464, false}, // 70000 - 65536
    {"letters", "abc", 0xFFFF, true},
    {"hex_prefix_only", "0x", 0xFFFF, true},
    {"dollar_only", "$", 0xFFFF, true},
    {"two_numbers", "1 2", 0xFFFF, true},
    {"blanks_only_not_empty", "   ", 0xFFFF, true},
};

class FieldValue : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldValue, GivesItsValueOrTheConversionMessage) {
    const FieldCase& c = GetParam();
    RecordingSink sink;
    EXPECT_EQ(field_value(c.text, sink), c.value) << '"' << c.text << '"';
    EXPECT_EQ(sink.texts(), c.message ? std::vector<std::string>{"Error in conversion string"}
                                      : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(TextForms, FieldValue, ::testing::ValuesIn(kFieldCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BuildStampWords, FifthOfMarch2024At143709) {
    const BuildStamp s{2024, 3, 5, 14, 37, 9};
    EXPECT_EQ(build_date_word(s), 10648);
    EXPECT_EQ(build_time_word(s), 9390);
    EXPECT_EQ(build_date_word({2099, 12, 31, 0, 0, 0}), 99 + 12 * 128 + 31 * 2048);
    EXPECT_EQ(build_time_word({2000, 1, 1, 23, 59, 59}), 23 + 59 * 32 + 29 * 2048);
}

} // namespace
} // namespace mk
