// What the extended panel shows and keeps: register values in every format, the CSV lines of
// the poll log, the traffic lines and the response times.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "regprobe/local_stamp.h"
#include "regprobe/poll_log.h"
#include "regprobe/response_times.h"
#include "regprobe/traffic.h"
#include "regprobe/value_format.h"
#include "regprobe/window_texts.h"
#include "test_dir.h"
#include "test_files.h"

namespace rp::test {
namespace {

using mk::test::read_file;
using namespace std::chrono_literals;

struct FormatCase {
    const char* name;
    ValueView view;
    std::vector<std::uint16_t> registers;
    std::vector<std::string> shown;
};

class ValueFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ValueFormatTest, ShowsTheChosenValues) {
    const FormatCase& c = GetParam();
    std::vector<std::string> texts;
    long long expected_reg = 10;
    for (const ShownValue& v : shown_values(10, c.registers, c.view)) {
        EXPECT_EQ(v.reg, expected_reg) << v.text;
        expected_reg += is_pair_format(c.view.format) ? 2 : 1;
        texts.push_back(v.text);
    }
    EXPECT_EQ(texts, c.shown);
}

using VF = ValueFormat;
constexpr auto kLow = WordOrder::LowWordFirst;

INSTANTIATE_TEST_SUITE_P(
    Registers, ValueFormatTest,
    ::testing::Values(
        FormatCase{
            "Hex", {}, {0x8000, 0xFFFF, 0x0000, 0x00FF}, {"0x8000", "0xFFFF", "0x0000", "0x00FF"}},
        FormatCase{"Unsigned", {VF::Unsigned}, {0x8000, 0xFFFF, 0x0000}, {"32768", "65535", "0"}},
        FormatCase{
            "Signed", {VF::Signed}, {0x8000, 0xFFFF, 0x7FFF, 0}, {"-32768", "-1", "32767", "0"}},
        FormatCase{"Binary",
                   {VF::Binary},
                   {0x8000, 0xFFFF, 0x00A5},
                   {"1000 0000 0000 0000", "1111 1111 1111 1111", "0000 0000 1010 0101"}},
        FormatCase{"Unsigned32HighFirst",
                   {VF::Unsigned32},
                   {0x8000, 0x0001, 0xFFFF, 0xFFFF},
                   {"2147483649", "4294967295"}},
        FormatCase{"Unsigned32LowFirst", {VF::Unsigned32, kLow}, {0x0001, 0x8000}, {"2147483649"}},
        FormatCase{"Signed32",
                   {VF::Signed32},
                   {0xFFFF, 0xFFFF, 0x8000, 0x0000, 0x0000, 0x8000},
                   {"-1", "-2147483648", "32768"}},
        FormatCase{"Signed32LowFirst", {VF::Signed32, kLow}, {0xFFFE, 0xFFFF}, {"-2"}},
        FormatCase{"FloatPi", {VF::Float32}, {0x4049, 0x0FDB}, {"3.1415927"}},
        FormatCase{"FloatPiLowFirst", {VF::Float32, kLow}, {0x0FDB, 0x4049}, {"3.1415927"}},
        FormatCase{"FloatSpecials",
                   {VF::Float32},
                   {0xBF80, 0, 0x7F80, 0, 0x7FC0, 0},
                   {"-1", "inf", "nan"}},
        FormatCase{"OddBlockLastInHex", {VF::Float32}, {0x3F80, 0x0000, 0x1234}, {"1", "0x1234"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegprobeReadText, HexIsTheDesignedTextAndOtherFormatsFollowIt) {
    const std::uint16_t values[] = {0x00FF, 0x1234};
    EXPECT_EQ(read_result_text(40, values, ValueView{}), read_result_text(40, values));
    EXPECT_EQ(read_result_text(40, values, {ValueFormat::Signed}),
              "Register value(s) read:\r\n     40: 255\r\n     41: 4660");
    const std::uint16_t pi[] = {0x4049, 0x0FDB};
    EXPECT_EQ(read_result_text(7, pi, {ValueFormat::Float32}),
              "Register value(s) read:\r\n     7: 3.1415927");
}

TEST(RegprobeLocalStamp, IsoAndTimeOfDayTexts) {
    LocalStamp s{2026, 12, 10, 1, 5, 3, 42, 3600};
    EXPECT_EQ(iso8601_text(s), "2026-12-10T01:05:03.042+01:00");
    EXPECT_EQ(time_of_day_text(s), "01:05:03.042");
    s.utc_offset_seconds = -(3 * 3600 + 30 * 60);
    EXPECT_EQ(iso8601_text(s), "2026-12-10T01:05:03.042-03:30");
    // From the clock: the milliseconds survive, and the offset is the zone's at that moment.
    const auto t = std::chrono::system_clock::from_time_t(1'765'000'000) + 987ms;
    const LocalStamp now = local_stamp(t);
    EXPECT_EQ(now.millisecond, 987);
    std::time_t whole = 1'765'000'000;
    std::tm local{};
    ::localtime_r(&whole, &local);
    EXPECT_EQ(now.second, local.tm_sec);
    EXPECT_EQ(now.utc_offset_seconds, local.tm_gmtoff);
}

TEST(RegprobePollLog, LinesAndTheirFile) {
    const LocalStamp s{2026, 12, 10, 1, 5, 3, 42, 0};
    const std::uint16_t regs[] = {0x4049, 0x0FDB, 0x8000};
    EXPECT_EQ(poll_log_line(s, 40, shown_values(40, regs, {})),
              "2026-12-10T01:05:03.042+00:00,40,0x4049,0x0FDB,0x8000");
    EXPECT_EQ(poll_log_line(s, 40, shown_values(40, regs, {ValueFormat::Float32})),
              "2026-12-10T01:05:03.042+00:00,40,3.1415927,0x8000");
    EXPECT_EQ(poll_failure_line(s, 7, "Read operation failed!"),
              "2026-12-10T01:05:03.042+00:00,7,Read operation failed!");
    EXPECT_EQ(poll_failure_line(s, 7, "Cannot write file a,\"b\" (x)"),
              "2026-12-10T01:05:03.042+00:00,7,\"Cannot write file a,\"\"b\"\" (x)\"");

    // Appended line by line, no first line; a full log goes to one backup.
    mk::test::TempDir dir;
    const auto path = dir.path() / kPollLogName;
    append_poll_log(path, "a,1", 10);
    append_poll_log(path, "b,2", 10);
    EXPECT_EQ(read_file(path), "a,1\nb,2\n");
    append_poll_log(path, "c,3", 10);
    EXPECT_EQ(read_file(path), "c,3\n");
    EXPECT_EQ(read_file(path.string() + ".1"), "a,1\nb,2\n");
}

TEST(RegprobeTraffic, FrameLines) {
    const LocalStamp s{2026, 12, 10, 23, 59, 59, 999, 0};
    const std::uint8_t request[] = {0, 0, 0, 0, 0, 6, 7, 3, 0, 0x28, 0, 2};
    EXPECT_EQ(frame_hex_line(s, FrameDirection::Sent, request),
              "23:59:59.999 Tx: 00 00 00 00 00 06 07 03 00 28 00 02");
    const std::uint8_t exception[] = {0xAB, 0x83, 0x02};
    EXPECT_EQ(frame_hex_line(s, FrameDirection::Received, exception), "23:59:59.999 Rx: AB 83 02");
}

TEST(RegprobeResponseTimes, LastMinAverageMaxSinceCleared) {
    ResponseTimes t;
    EXPECT_EQ(t.last_text(), "Last ms : -");
    EXPECT_EQ(t.average_text(), "Avg ms : -");
    t.add(1250us);
    t.add(349us);
    t.add(3001us);
    EXPECT_EQ(t.last_text(), "Last ms : 3.0");
    EXPECT_EQ(t.min_text(), "Min ms : 0.3");
    EXPECT_EQ(t.average_text(), "Avg ms : 1.5"); // 1533 us
    EXPECT_EQ(t.max_text(), "Max ms : 3.0");
    t.add(12'345'678us);
    EXPECT_EQ(t.max_text(), "Max ms : 12345.7");
    EXPECT_EQ(t.count(), 4u);
    t.clear();
    EXPECT_EQ(t.count(), 0u);
    EXPECT_EQ(t.min_text(), "Min ms : -");
}

TEST(RegprobeConnectionFields, PortAndTimeOutRanges) {
    EXPECT_EQ(port_from_text("502"), 502);
    EXPECT_EQ(port_from_text("$FFFF"), 65535);
    EXPECT_EQ(time_out_from_text("0"), 0u);
    EXPECT_EQ(time_out_from_text(" 15000"), 15000u);
    const struct {
        const char* text;
        bool port;
        const char* message;
    } refused[] = {
        {"0", true, "'0' is not a valid port (1 to 65535)"},
        {"65536", true, "'65536' is not a valid port (1 to 65535)"},
        {"50 2", true, "'50 2' is not a valid integer value"},
        {"-1", false, "'-1' is not a valid time-out (0 ms or more)"},
        {"", false, "'' is not a valid integer value"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        try {
            r.port ? (void)port_from_text(r.text) : (void)time_out_from_text(r.text);
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
    }
}

} // namespace
} // namespace rp::test
