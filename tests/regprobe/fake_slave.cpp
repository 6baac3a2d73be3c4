#include "fake_slave.h"

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rp::test {

namespace {

bool wait_in(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

// Reads exactly n bytes before the deadline; false on close, error or time-out.
bool read_exactly(int fd, std::uint8_t* into, std::size_t n,
                  std::chrono::steady_clock::time_point deadline) {
    std::size_t got = 0;
    while (got < n) {
        if (!wait_in(fd, deadline))
            return false;
        const ssize_t r = ::recv(fd, into + got, n - got, 0);
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

int listen_on_loopback(std::uint16_t& port, int backlog = 8) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("test slave: no socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("test slave: cannot listen on 127.0.0.1");
    }
    port = ntohs(a.sin_port);
    return fd;
}

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

std::uint16_t get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

} // namespace

Bytes SlaveConnection::read_request(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    Bytes frame(6);
    if (!read_exactly(fd_, frame.data(), 6, deadline))
        return {};
    const std::size_t length = get16(frame, 4);
    frame.resize(6 + length);
    if (!read_exactly(fd_, frame.data() + 6, length, deadline))
        return {};
    return frame;
}

void SlaveConnection::send(const Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

void SlaveConnection::wait_for_close(std::chrono::milliseconds at_most) {
    const auto deadline = std::chrono::steady_clock::now() + at_most;
    std::uint8_t sink[64];
    while (wait_in(fd_, deadline))
        if (::recv(fd_, sink, sizeof sink, 0) <= 0)
            return;
}

FakeSlave::FakeSlave(Script script) : script_(std::move(script)) {
    listen_fd_ = listen_on_loopback(port_);
    thread_ = std::thread([this] { run(); });
}

FakeSlave::~FakeSlave() {
    stop_ = true;
    thread_.join();
    ::close(listen_fd_);
}

void FakeSlave::run() {
    while (!stop_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        SlaveConnection connection(fd);
        script_(connection, *this);
        ::close(fd);
    }
}

std::vector<Bytes> FakeSlave::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakeSlave::record(const Bytes& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
}

Bytes answer_from_registers(const Bytes& q, std::map<std::uint16_t, std::uint16_t>& regs) {
    const std::uint8_t function = q[7];
    const std::uint16_t address = get16(q, 8);
    const std::uint16_t word = get16(q, 10);
    Bytes pdu{function};
    const std::size_t count = function == 6 ? 1 : word;
    if (address + count > 1000 || (function != 3 && function != 6 && function != 16)) {
        pdu = {static_cast<std::uint8_t>(function | 0x80), 2};
    } else if (function == 3) {
        pdu.push_back(static_cast<std::uint8_t>(2 * count));
        for (std::size_t i = 0; i < count; ++i)
            put16(pdu, regs[static_cast<std::uint16_t>(address + i)]);
    } else if (function == 6) {
        regs[address] = word;
        put16(pdu, address);
        put16(pdu, word);
    } else {
        for (std::size_t i = 0; i < count; ++i)
            regs[static_cast<std::uint16_t>(address + i)] = get16(q, 13 + 2 * i);
        put16(pdu, address);
        put16(pdu, word);
    }
    Bytes out{q[0], q[1], 0, 0};
    put16(out, static_cast<std::uint16_t>(pdu.size() + 1));
    out.push_back(q[6]);
    out.insert(out.end(), pdu.begin(), pdu.end());
    return out;
}

FakeSlave FakeSlave::with_registers(std::map<std::uint16_t, std::uint16_t>& registers,
                                    std::mutex& lock) {
    return FakeSlave([&registers, &lock](SlaveConnection& c, FakeSlave& self) {
        const Bytes request = c.read_request();
        if (request.size() < 12)
            return;
        self.record(request);
        Bytes answer;
        {
            std::lock_guard guard(lock);
            answer = answer_from_registers(request, registers);
        }
        c.send(answer);
    });
}

std::uint16_t unused_port() {
    std::uint16_t port = 0;
    ::close(listen_on_loopback(port));
    return port;
}

SilentListener::SilentListener() {
    // A backlog of 0 admits one connection that nobody accepts; the one below fills it.
    listen_fd_ = listen_on_loopback(port_, 0);
    filler_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    if (filler_fd_ < 0 || ::connect(filler_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close();
        throw std::runtime_error("test listener: cannot fill the queue");
    }
}

SilentListener::~SilentListener() {
    close();
}

void SilentListener::close() {
    for (int* fd : {&filler_fd_, &listen_fd_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace rp::test
