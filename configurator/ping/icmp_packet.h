#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mk {

// ICMP message types the echo deals with.
inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpUnreachable = 3;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;
inline constexpr std::uint8_t kIcmpTimeExceeded = 11;

// The Internet checksum (ones' complement sum of 16-bit words) of the bytes.
std::uint16_t internet_checksum(std::span<const std::uint8_t> bytes);

// An echo request with the given identifier and sequence number, a fixed 56-byte payload and
// its checksum filled in.
std::vector<std::uint8_t> echo_request(std::uint16_t id, std::uint16_t sequence);

// What one received datagram means for the request (id, sequence).
enum class IcmpVerdict {
    Unrelated,    // other traffic: another program's, someone else's request, our own request
    Reply,        // the echo reply to the request
    Unreachable,  // a destination-unreachable report quoting the request
    TimeExceeded, // a time-exceeded report quoting the request
};

struct IcmpMatch {
    IcmpVerdict verdict = IcmpVerdict::Unrelated;
    int icmp_bytes = 0; // size of the ICMP message, IP header not counted
};

// Reads one datagram from an ICMP socket. A raw socket delivers the IP header first
// (with_ip_header); a datagram socket delivers the ICMP message alone. Throws EchoError for a
// datagram too short to decode and for a message of another type that quotes the request.
IcmpMatch classify_icmp(std::span<const std::uint8_t> datagram, bool with_ip_header,
                        std::uint16_t id, std::uint16_t sequence);

} // namespace mk
