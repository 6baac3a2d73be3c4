#include <gtest/gtest.h>

#include "ping/icmp_echo.h"
#include "ping/icmp_packet.h"

namespace {

using mk::classify_icmp;
using mk::IcmpVerdict;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kId = 0x4d4b;
constexpr std::uint16_t kSeq = 7;

// A minimal IPv4 header carrying ICMP, as a raw socket delivers it.
Bytes ip_header(std::size_t payload) {
    const std::size_t total = 20 + payload;
    return {0x45,
            0,
            static_cast<std::uint8_t>(total >> 8),
            static_cast<std::uint8_t>(total),
            0,
            0,
            0,
            0,
            64,
            1 /* ICMP */,
            0,
            0,
            192,
            0,
            2,
            1,
            127,
            0,
            0,
            1};
}

Bytes with_ip(const Bytes& icmp) {
    Bytes d = ip_header(icmp.size());
    d.insert(d.end(), icmp.begin(), icmp.end());
    return d;
}

Bytes reply(std::uint16_t id, std::uint16_t seq) {
    Bytes m = mk::echo_request(id, seq);
    m[0] = mk::kIcmpEchoReply;
    return m;
}

// An ICMP error report of the given type quoting the IP header and first 8 bytes of a request.
Bytes report_about(std::uint8_t type, std::uint16_t id, std::uint16_t seq) {
    Bytes m = {type, 1, 0, 0, 0, 0, 0, 0};
    const Bytes request = mk::echo_request(id, seq);
    const Bytes quoted = with_ip(Bytes(request.begin(), request.begin() + 8));
    m.insert(m.end(), quoted.begin(), quoted.end());
    return m;
}

TEST(IcmpPacket, RequestCarriesIdSequenceAndAValidChecksum) {
    const Bytes m = mk::echo_request(0x1234, 0xabcd);
    ASSERT_EQ(m.size(), 64u);
    EXPECT_EQ(m[0], mk::kIcmpEchoRequest);
    EXPECT_EQ(m[1], 0);
    EXPECT_EQ((Bytes{m[4], m[5], m[6], m[7]}), (Bytes{0x12, 0x34, 0xab, 0xcd}));
    // A message with its checksum in place sums to zero.
    EXPECT_EQ(mk::internet_checksum(m), 0);
    // Odd lengths pad the last byte with zero.
    EXPECT_EQ(mk::internet_checksum(Bytes{0x01}), 0xfeff);
}

TEST(IcmpPacket, OnlyOurReplyAndReportsAboutOurRequestAnswer) {
    const auto verdict = [](const Bytes& d, bool ip) {
        return classify_icmp(d, ip, kId, kSeq).verdict;
    };
    // A raw socket sees the IP header; a datagram socket the ICMP message alone.
    EXPECT_EQ(verdict(with_ip(reply(kId, kSeq)), true), IcmpVerdict::Reply);
    EXPECT_EQ(verdict(reply(kId, kSeq), false), IcmpVerdict::Reply);
    EXPECT_EQ(classify_icmp(with_ip(reply(kId, kSeq)), true, kId, kSeq).icmp_bytes, 64);

    // Other programs' replies, earlier sequence numbers and our own request looped back.
    EXPECT_EQ(verdict(with_ip(reply(kId + 1, kSeq)), true), IcmpVerdict::Unrelated);
    EXPECT_EQ(verdict(with_ip(reply(kId, kSeq - 1)), true), IcmpVerdict::Unrelated);
    EXPECT_EQ(verdict(with_ip(mk::echo_request(kId, kSeq)), true), IcmpVerdict::Unrelated);

    EXPECT_EQ(verdict(with_ip(report_about(3, kId, kSeq)), true), IcmpVerdict::Unreachable);
    EXPECT_EQ(verdict(with_ip(report_about(11, kId, kSeq)), true), IcmpVerdict::TimeExceeded);
    EXPECT_EQ(verdict(with_ip(report_about(3, kId, kSeq + 1)), true), IcmpVerdict::Unrelated);
    EXPECT_EQ(verdict(with_ip(report_about(3, kId + 1, kSeq)), true), IcmpVerdict::Unrelated);
    // A report whose quote is cut short cannot be about our request.
    Bytes cut = with_ip(report_about(3, kId, kSeq));
    cut.resize(cut.size() - 4);
    EXPECT_EQ(verdict(cut, true), IcmpVerdict::Unrelated);
}

TEST(IcmpPacket, UndecodableAnswersAndOtherReportsAboutTheRequestAreErrors) {
    EXPECT_THROW(classify_icmp(Bytes{0, 0, 0}, false, kId, kSeq), mk::EchoError);
    EXPECT_THROW(classify_icmp(ip_header(0), true, kId, kSeq), mk::EchoError);
    Bytes bad_length = with_ip(reply(kId, kSeq));
    bad_length[0] = 0x4f; // a 60-byte header in a shorter datagram
    bad_length.resize(50);
    EXPECT_THROW(classify_icmp(bad_length, true, kId, kSeq), mk::EchoError);
    // Parameter problem and redirect about our request; a redirect about another is traffic.
    EXPECT_THROW(classify_icmp(with_ip(report_about(12, kId, kSeq)), true, kId, kSeq),
                 mk::EchoError);
    EXPECT_THROW(classify_icmp(with_ip(report_about(5, kId, kSeq)), true, kId, kSeq),
                 mk::EchoError);
    EXPECT_EQ(classify_icmp(with_ip(report_about(5, kId, kSeq + 3)), true, kId, kSeq).verdict,
              IcmpVerdict::Unrelated);
}

TEST(IcmpPacket, ChecksumFoldsEveryCarry) {
    struct Row {
        const char* name;
        Bytes bytes;
        std::uint16_t sum;
    };
    const std::vector<Row> rows = {
        {"no carry", {0x12, 0x34}, 0xedcb},
        {"a carry that makes another", {0xff, 0xff, 0xff, 0xff, 0x00, 0x01}, 0xfffe},
        {"one carry", {0xff, 0xff, 0x00, 0x02}, 0xfffd},
    };
    for (const Row& row : rows)
        EXPECT_EQ(mk::internet_checksum(row.bytes), row.sum) << row.name;
}

// A router's report is about our echo only when it quotes our request: ICMP, type echo request,
// our identifier and sequence.
TEST(IcmpPacket, ReportsQuotingAnythingButOurRequestAreTraffic) {
    struct Row {
        const char* name;
        std::size_t at; // in the report: 8 the quoted IP header, 28 the quoted ICMP message
        std::uint8_t value;
    };
    const std::vector<Row> rows = {
        {"quoting a UDP datagram", 8 + 9, 17},
        {"quoting a TCP segment", 8 + 9, 6},
        {"quoting an echo reply", 28, mk::kIcmpEchoReply},
        {"quoting a time-exceeded report", 28, mk::kIcmpTimeExceeded},
    };
    for (const std::uint8_t type :
         {mk::kIcmpUnreachable, mk::kIcmpTimeExceeded, std::uint8_t{12}}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + ", report type " + std::to_string(type));
            Bytes report = report_about(type, kId, kSeq);
            report[row.at] = row.value;
            EXPECT_EQ(classify_icmp(with_ip(report), true, kId, kSeq).verdict,
                      IcmpVerdict::Unrelated);
            EXPECT_EQ(classify_icmp(report, false, kId, kSeq).verdict, IcmpVerdict::Unrelated);
        }
    }
}

} // namespace
