// Integer text, request framing of every function, the response rules and the window's texts,
// without a network.
#include <gtest/gtest.h>

#include "regprobe/integer_text.h"
#include "regprobe/modbus_frame.h"
#include "regprobe/window_texts.h"

namespace rp::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RegprobeIntegerText, AcceptsEveryWrittenForm) {
    for (const char* t : {" 26", "+26", "0x1A", "0X1a", "$1A", "x1A", "X1a", "   26"})
        EXPECT_EQ(parse_integer_text(t), 26) << t;
    EXPECT_EQ(parse_integer_text("0"), 0);
    EXPECT_EQ(parse_integer_text("-7"), -7);
    EXPECT_EQ(parse_integer_text("0xFFFFFFFF"), -1);
    EXPECT_EQ(parse_integer_text("-$10"), -16);
    EXPECT_EQ(parse_integer_text("-2147483648"), INT32_MIN);
    EXPECT_EQ(parse_integer_text("2147483647"), INT32_MAX);
}

TEST(RegprobeIntegerText, RejectsEverythingElseWithTheMessage) {
    for (const char* t : {"26 ", "0x", "", " ", "1A", "--5", "+-5", "2147483648", "-2147483649",
                          "0x123456789", "\t26", "$", "1.5", "99999999999999999999"})
        EXPECT_FALSE(parse_integer_text(t).has_value()) << '"' << t << '"';
    try {
        str_to_int("abc");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

TEST(ModbusRequestFrame, EveryFunctionWithItsLimits) {
    TransferBuffer buffer{};
    buffer[0] = 1;
    buffer[2] = 7;
    buffer[9] = 1;
    // Reads of bits and registers carry the limited quantity; register 0 wraps to 65535.
    EXPECT_EQ(build_request({1, 1, 0, 300}, buffer),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 1, 0xFF, 0xFF, 0, 250}));
    EXPECT_EQ(build_request({2, 2, 2, 8}, buffer), (Bytes{0, 0, 0, 0, 0, 6, 2, 2, 0, 1, 0, 8}));
    EXPECT_EQ(build_request({1, 4, 1, 126}, buffer), (Bytes{0, 0, 0, 0, 0, 6, 1, 4, 0, 0, 0, 125}));
    // Single coil: any value but 0 is on.
    EXPECT_EQ(build_request({1, 5, 1, 0}, buffer),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 5, 0, 0, 0xFF, 0x00}));
    buffer[0] = 0;
    EXPECT_EQ(build_request({1, 5, 1, 0}, buffer), (Bytes{0, 0, 0, 0, 0, 6, 1, 5, 0, 0, 0, 0}));
    // Ten coils: bits 2 and 9 set, least significant bit first, two data bytes.
    EXPECT_EQ(build_request({1, 15, 1, 10}, buffer),
              (Bytes{0, 0, 0, 0, 0, 9, 1, 15, 0, 0, 0, 10, 2, 0x04, 0x02}));
    EXPECT_EQ(build_request({1, 15, 1, 400}, buffer).size(), 13u + 32u);
    EXPECT_EQ(build_request({1, 16, 1, 200}, buffer).size(), 13u + 246u);
    for (std::uint8_t f : {0, 7, 17, 23, 0x83})
        EXPECT_THROW(build_request({1, f, 1, 1}, buffer), UnsupportedFunction);
}

TEST(ModbusResponse, DecodesBitsAndWordsWithinTheirLimits) {
    TransferBuffer b{};
    EXPECT_TRUE(accept_response(1, 16, Bytes{0, 0, 0, 0, 0, 5, 1, 1, 2, 0x05, 0x80}, b));
    EXPECT_EQ((std::vector<std::uint16_t>(b.begin(), b.begin() + 17)),
              (std::vector<std::uint16_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    b.fill(0);
    EXPECT_TRUE(accept_response(4, 2, Bytes{0, 0, 0, 0, 0, 7, 1, 4, 4, 0x12, 0x34, 0xAB, 0xCD}, b));
    EXPECT_EQ(b[0], 0x1234);
    EXPECT_EQ(b[1], 0xABCD);
    // Bits stop at 250 (32 bytes), words at 125 (250 bytes), however many were asked.
    Bytes bits{0, 0, 0, 0, 0, 35, 1, 1, 32};
    bits.resize(9 + 32, 0xFF);
    b.fill(0);
    EXPECT_TRUE(accept_response(1, 400, bits, b));
    EXPECT_EQ(b[249], 1);
    EXPECT_EQ(b[250], 0);
    Bytes words{0, 0, 0, 0, 0, 253, 1, 3, 250};
    words.resize(9 + 250, 0xFF);
    b.fill(0);
    EXPECT_TRUE(accept_response(3, 200, words, b));
    EXPECT_EQ(b[124], 0xFFFF);
    EXPECT_EQ(b[125], 0);
    // Writes succeed on the function code alone; short or foreign answers fail.
    EXPECT_TRUE(accept_response(16, 3, Bytes{0, 0, 0, 0, 0, 2, 1, 16}, b));
    EXPECT_FALSE(accept_response(16, 3, Bytes{0, 0, 0, 0, 0, 2, 1}, b));
    EXPECT_FALSE(accept_response(3, 1, Bytes{0, 0, 0, 0, 0, 2, 1, 3}, b));
    EXPECT_FALSE(accept_response(6, 0, Bytes{}, b));
}

TEST(ModbusResponse, ReadAnswersCarryExactlyTheValuesAsked) {
    const struct {
        const char* name;
        std::uint8_t function;
        std::uint16_t asked;
        Bytes answer;
        bool accepted;
    } rows[] = {
        {"three registers, byte count 6",
         3,
         3,
         {0, 0, 0, 0, 0, 9, 1, 3, 6, 0, 1, 0, 2, 0, 3},
         true},
        {"three registers, byte count 2", 3, 3, {0, 0, 0, 0, 0, 5, 1, 3, 2, 0x12, 0x34}, false},
        {"one register, byte count 0", 4, 1, {0, 0, 0, 0, 0, 3, 1, 4, 0}, false},
        {"one register, byte count 4", 3, 1, {0, 0, 0, 0, 0, 7, 1, 3, 4, 0, 1, 0, 2}, false},
        {"odd byte count", 3, 1, {0, 0, 0, 0, 0, 4, 1, 3, 1, 0xAA}, false},
        {"nine bits, two bytes", 2, 9, {0, 0, 0, 0, 0, 5, 1, 2, 2, 0xFF, 0x01}, true},
        {"nine bits, one byte", 2, 9, {0, 0, 0, 0, 0, 4, 1, 2, 1, 0xFF}, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TransferBuffer b{};
        EXPECT_EQ(accept_response(r.function, r.asked, r.answer, b), r.accepted);
        if (!r.accepted) {
            EXPECT_EQ(b, TransferBuffer{}) << "nothing stored from a refused answer";
        }
    }
}

TEST(ModbusResponse, CompleteSizeFollowsTheHeader) {
    EXPECT_EQ(expected_response_size(Bytes{0, 0, 0}), kReceiveBufferSize);
    EXPECT_EQ(expected_response_size(Bytes{0, 0, 0, 0, 0, 7, 1}), 13u);
    EXPECT_EQ(expected_response_size(Bytes{0, 0, 0, 0, 0xFF, 0xFF}), kReceiveBufferSize);
    EXPECT_EQ(expected_response_size(Bytes{0, 0, 1, 0, 0, 7, 1, 2}), 8u); // not Modbus
    EXPECT_EQ(error_log_text(Bytes{0x07, 0x83}), "ERR: Ricevuti 2 byte  7,83,");
}

TEST(RegprobeWindowTexts, ReadResultAndRegisterNumbers) {
    const std::uint16_t values[] = {0x00FF, 0x1234};
    EXPECT_EQ(read_result_text(40, values),
              "Register value(s) read:\r\n     40: 0x00FF\r\n     41: 0x1234");
    EXPECT_EQ(read_result_text(INT32_MAX, values),
              "Register value(s) read:\r\n     2147483647: 0x00FF\r\n     2147483648: 0x1234");
    EXPECT_EQ(register_number_for_address(0), 1);
    EXPECT_EQ(register_number_for_address(65535), 0);
    EXPECT_EQ(register_number_for_address(-1), 0);
    EXPECT_EQ(register_number_for_address(65536), 1);
    EXPECT_STREQ(ListIndexError(3).what(), "List index out of bounds (3)");
}

} // namespace
} // namespace rp::test
