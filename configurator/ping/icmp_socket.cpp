#include "ping/icmp_socket.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "ping/icmp_packet.h"

namespace mk {

namespace {

using Clock = std::chrono::steady_clock;

class SocketFd {
public:
    explicit SocketFd(int fd) : fd_(fd) {}
    ~SocketFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& what, int error) {
    throw EchoError(what + ": " + std::strerror(error));
}

// The system's way of saying that this process may not open the socket: not in
// net.ipv4.ping_group_range, no cap_net_raw, or no such socket kind at all.
bool refused_by_system(int error) {
    return error == EACCES || error == EPERM || error == EPROTONOSUPPORT ||
           error == ESOCKTNOSUPPORT || error == EAFNOSUPPORT;
}

// Each request gets its own sequence number; the identifier of a raw socket's requests is
// drawn once per run so that two programs pinging at once tell their answers apart.
std::uint16_t next_sequence() {
    static std::atomic<std::uint16_t> sequence{0};
    return ++sequence;
}

std::uint16_t raw_identifier() {
    static const std::uint16_t id = static_cast<std::uint16_t>(std::random_device{}());
    return id;
}

EchoAnswer answer_of(IcmpVerdict verdict) {
    switch (verdict) {
    case IcmpVerdict::Reply:
        return EchoAnswer::Reply;
    case IcmpVerdict::Unreachable:
        return EchoAnswer::Unreachable;
    case IcmpVerdict::TimeExceeded:
        return EchoAnswer::TimeExceeded;
    case IcmpVerdict::Unrelated:
        break;
    }
    return EchoAnswer::None;
}

// A datagram socket does not deliver ICMP error reports as data: with IP_RECVERR they wait in
// the socket's error queue, with the request they quote as data. Returns the answer it holds,
// if the queue had a report about our request.
std::optional<EchoReport> read_error_queue(int fd, std::uint16_t sequence) {
    std::array<std::uint8_t, 576> quoted{};
    std::array<char, 512> control{};
    iovec io{quoted.data(), quoted.size()};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control.data();
    msg.msg_controllen = control.size();
    const ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n < 0)
        return std::nullopt;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err err{};
        std::memcpy(&err, CMSG_DATA(c), sizeof err);
        if (err.ee_origin != SO_EE_ORIGIN_ICMP)
            continue;
        // The quoted request: its sequence number says whether the report is about this echo.
        if (n < 8 || ((quoted[6] << 8) | quoted[7]) != sequence)
            return std::nullopt;
        // The kernel keeps the report's header, not its bytes: count the 8-byte ICMP header,
        // the quoted IP header and the quoted request as they arrived.
        const int bytes = 8 + 20 + static_cast<int>(n);
        if (err.ee_type == kIcmpUnreachable)
            return EchoReport{EchoAnswer::Unreachable, bytes, EchoPath::DatagramSocket};
        if (err.ee_type == kIcmpTimeExceeded)
            return EchoReport{EchoAnswer::TimeExceeded, bytes, EchoPath::DatagramSocket};
        throw EchoError("ICMP message of type " + std::to_string(err.ee_type) +
                        " about the request");
    }
    return std::nullopt;
}

} // namespace

std::optional<EchoReport> echo_over_socket(EchoPath path, in_addr address,
                                           Clock::time_point deadline, EchoClock& clock) {
    const bool raw = path == EchoPath::RawSocket;
    SocketFd fd(::socket(AF_INET, (raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (fd.get() < 0) {
        if (refused_by_system(errno))
            return std::nullopt;
        fail("cannot open an ICMP socket", errno);
    }
    if (!raw) {
        const int on = 1;
        if (::setsockopt(fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on) != 0)
            fail("cannot ask for ICMP error reports", errno);
    }

    const std::uint16_t sequence = next_sequence();
    std::uint16_t id = raw ? raw_identifier() : 0;
    const std::vector<std::uint8_t> request = echo_request(id, sequence);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = address;
    if (::sendto(fd.get(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0)
        fail("cannot send the echo request", errno);
    if (!raw) {
        // A datagram socket puts its own identifier into the request: the socket's port.
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
            fail("cannot read the echo identifier", errno);
        id = ntohs(local.sin_port);
    }

    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = clock.poll_until(p, deadline);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            fail("cannot wait for the answer", errno);
        if (ready == 0)
            return EchoReport{EchoAnswer::None, 0, path};
        if (!raw && (p.revents & POLLERR)) {
            if (auto report = read_error_queue(fd.get(), sequence))
                return report;
        }
        const ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0) {
            // The error a report left on the socket was read from the queue above; a report
            // about someone else's request leaves nothing for this echo.
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ||
                errno == EHOSTUNREACH || errno == ENETUNREACH || errno == ECONNREFUSED)
                continue;
            fail("cannot read the answer", errno);
        }
        const IcmpMatch match =
            classify_icmp(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                          raw, id, sequence);
        if (match.verdict != IcmpVerdict::Unrelated)
            return EchoReport{answer_of(match.verdict), match.icmp_bytes, path};
    }
}

} // namespace mk
