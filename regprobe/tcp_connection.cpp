#include "regprobe/tcp_connection.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rp {

namespace {

std::string with_full_stop(std::string text) {
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

class AddressList {
public:
    AddressList(const std::string& host, std::uint16_t port) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        const std::string service = std::to_string(port);
        const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list_);
        if (rc != 0) {
            if (rc == EAI_SYSTEM)
                throw SocketError(socket_error_text(errno));
            throw SocketError(with_full_stop(::gai_strerror(rc)));
        }
    }
    ~AddressList() {
        if (list_)
            ::freeaddrinfo(list_);
    }
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    const addrinfo* first() const { return list_; }

private:
    addrinfo* list_ = nullptr;
};

// Connects the socket within timeout_ms; returns 0 or the errno value of the failure.
int connect_within(int fd, const addrinfo* a, std::int32_t timeout_ms) {
    if (timeout_ms <= 0) {
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
        // An interrupted connect goes on in the background; wait for its end below.
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        const int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        const int err = rc == 0 ? 0 : errno;
        ::fcntl(fd, F_SETFL, flags);
        if (rc == 0)
            return 0;
        if (err != EINPROGRESS && err != EINTR)
            return err;
    }
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int wait = -1;
        if (timeout_ms > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            if (left.count() <= 0)
                return ETIMEDOUT;
            wait = static_cast<int>(left.count());
        }
        pollfd p{fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, wait);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            return errno;
        if (rc == 0)
            return ETIMEDOUT;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            return errno;
        return err;
    }
}

} // namespace

ConnectionClosedGracefully::ConnectionClosedGracefully()
    : SocketError(kMsgConnectionClosedGracefully) {}

std::string socket_error_text(int error_number) {
    return with_full_stop(std::strerror(error_number));
}

TcpConnection::~TcpConnection() {
    disconnect();
}

void TcpConnection::connect(const std::string& host, std::uint16_t port, std::int32_t timeout_ms) {
    disconnect();
    const AddressList addresses(host, port);
    int last_error = EHOSTUNREACH;
    // Every address the name gives is tried in turn; the last failure is the one reported.
    for (const addrinfo* a = addresses.first(); a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last_error = errno;
            continue;
        }
        last_error = connect_within(fd, a, timeout_ms);
        if (last_error == 0) {
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
    throw SocketError(socket_error_text(last_error));
}

void TcpConnection::disconnect() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void TcpConnection::write_all(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0)
        throw SocketError(socket_error_text(ENOTCONN));
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        // MSG_NOSIGNAL: a slave that has gone away must give an error, not end the program.
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SocketError(socket_error_text(errno));
        }
        sent += static_cast<std::size_t>(n);
    }
}

bool TcpConnection::wait_readable(int timeout_ms) {
    if (fd_ < 0)
        throw SocketError(socket_error_text(ENOTCONN));
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int rc = ::poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            throw SocketError(socket_error_text(errno));
        return rc > 0;
    }
}

std::size_t TcpConnection::read_available(std::span<std::uint8_t> into) {
    if (fd_ < 0)
        throw SocketError(socket_error_text(ENOTCONN));
    if (into.empty())
        return 0;
    for (;;) {
        const ssize_t n = ::recv(fd_, into.data(), into.size(), MSG_DONTWAIT);
        if (n > 0)
            return static_cast<std::size_t>(n);
        if (n == 0)
            throw ConnectionClosedGracefully();
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw SocketError(socket_error_text(errno));
    }
}

} // namespace rp
