#include <gtest/gtest.h>

#include "image/build_clock.h"
#include "image/field_value.h"

namespace mk {
namespace {

TEST(FieldValue, EveryTextFormGivesItsValueOrTheConversionMessage) {
    struct Case {
        const char* text;
        std::uint16_t value;
        bool message;
    };
    const Case cases[] = {
        {"", 0xFFFF, false},   // empty: all ones, silently
        {" 26 ", 26, false},   // spaces around are removed
        {"\t5\r\n", 5, false}, // so are control characters
        {"0x1A", 26, false},    {"$1a", 26, false},    {"X1A", 26, false},
        {"-1", 0xFFFF, false},  // low 16 bits of the number
        {"70000", 4464, false}, // 70000 - 65536
        {"abc", 0xFFFF, true},  {"0x", 0xFFFF, true},  {"$", 0xFFFF, true},
        {"1 2", 0xFFFF, true},  {"   ", 0xFFFF, true}, // blanks only: not empty, not a number
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        EXPECT_EQ(field_value(c.text, sink), c.value) << '"' << c.text << '"';
        EXPECT_EQ(sink.texts(), c.message ? std::vector<std::string>{"Error in conversion string"}
                                          : std::vector<std::string>{})
            << '"' << c.text << '"';
    }
}

TEST(BuildStampWords, FifthOfMarch2024At143709) {
    const BuildStamp s{2024, 3, 5, 14, 37, 9};
    EXPECT_EQ(build_date_word(s), 10648);
    EXPECT_EQ(build_time_word(s), 9390);
    EXPECT_EQ(build_date_word({2099, 12, 31, 0, 0, 0}), 99 + 12 * 128 + 31 * 2048);
    EXPECT_EQ(build_time_word({2000, 1, 1, 23, 59, 59}), 23 + 59 * 32 + 29 * 2048);
}

} // namespace
} // namespace mk
