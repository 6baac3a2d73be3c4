#include "ping/icmp_packet.h"

#include <string>

#include "ping/icmp_echo.h"

namespace mk {

namespace {

constexpr std::size_t kIpHeaderMin = 20;
constexpr std::size_t kIcmpHeader = 8;
constexpr std::size_t kPayload = 56; // 64-byte message, the usual size of an echo request

std::uint16_t word_at(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

// The length of the IPv4 header at the start of bytes, or 0 when there is none to read.
std::size_t ip_header_length(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIpHeaderMin || (bytes[0] >> 4) != 4)
        return 0;
    const std::size_t length = static_cast<std::size_t>(bytes[0] & 0x0f) * 4;
    return length >= kIpHeaderMin && length <= bytes.size() ? length : 0;
}

// Whether an ICMP error message quotes our echo request: the quoted IP header of an ICMP
// packet followed by at least the first 8 bytes of the request.
bool quotes_request(std::span<const std::uint8_t> icmp, std::uint16_t id, std::uint16_t sequence) {
    const auto quoted = icmp.subspan(kIcmpHeader);
    const std::size_t ihl = ip_header_length(quoted);
    if (ihl == 0 || quoted[9] != 1 /* ICMP */ || quoted.size() < ihl + kIcmpHeader)
        return false;
    const auto request = quoted.subspan(ihl);
    return request[0] == kIcmpEchoRequest && word_at(request, 4) == id &&
           word_at(request, 6) == sequence;
}

} // namespace

std::uint16_t internet_checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += word_at(bytes, i);
    if (i < bytes.size())
        sum += static_cast<std::uint32_t>(bytes[i]) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> echo_request(std::uint16_t id, std::uint16_t sequence) {
    std::vector<std::uint8_t> m(kIcmpHeader + kPayload, 0);
    m[0] = kIcmpEchoRequest;
    m[4] = static_cast<std::uint8_t>(id >> 8);
    m[5] = static_cast<std::uint8_t>(id);
    m[6] = static_cast<std::uint8_t>(sequence >> 8);
    m[7] = static_cast<std::uint8_t>(sequence);
    // A recognisable payload: the product code, then a counting pattern.
    const char tag[] = "RQ41902 echo";
    for (std::size_t i = 0; i < kPayload; ++i)
        m[kIcmpHeader + i] =
            i + 1 < sizeof tag ? static_cast<std::uint8_t>(tag[i]) : static_cast<std::uint8_t>(i);
    const std::uint16_t sum = internet_checksum(m);
    m[2] = static_cast<std::uint8_t>(sum >> 8);
    m[3] = static_cast<std::uint8_t>(sum);
    return m;
}

IcmpMatch classify_icmp(std::span<const std::uint8_t> datagram, bool with_ip_header,
                        std::uint16_t id, std::uint16_t sequence) {
    std::span<const std::uint8_t> icmp = datagram;
    if (with_ip_header) {
        const std::size_t ihl = ip_header_length(datagram);
        if (ihl == 0)
            throw EchoError("answer too short to decode");
        icmp = datagram.subspan(ihl);
    }
    if (icmp.size() < kIcmpHeader)
        throw EchoError("answer too short to decode");

    const IcmpMatch unrelated{};
    const int bytes = static_cast<int>(icmp.size());
    // A datagram socket's kernel chooses the identifier and hands this socket only its own
    // traffic; the identifier is compared all the same, as the caller learned it.
    switch (icmp[0]) {
    case kIcmpEchoReply:
        if (word_at(icmp, 4) == id && word_at(icmp, 6) == sequence)
            return {IcmpVerdict::Reply, bytes};
        return unrelated;
    case kIcmpEchoRequest:
        // Our own request looped back to a raw socket, or someone pinging this machine.
        return unrelated;
    case kIcmpUnreachable:
        return quotes_request(icmp, id, sequence) ? IcmpMatch{IcmpVerdict::Unreachable, bytes}
                                                  : unrelated;
    case kIcmpTimeExceeded:
        return quotes_request(icmp, id, sequence) ? IcmpMatch{IcmpVerdict::TimeExceeded, bytes}
                                                  : unrelated;
    default:
        // Source quench, redirect, parameter problem and the like carry the same quote; about
        // our request they are an answer this echo cannot stand for.
        if (quotes_request(icmp, id, sequence))
            throw EchoError("ICMP message of type " + std::to_string(icmp[0]) +
                            " about the request");
        return unrelated;
    }
}

} // namespace mk
