#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace rp {

// An error of the socket layer; what() is the text the user reads, for example
// "Connection refused.".
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The peer ended the connection in order (it sent its FIN) while we waited for data.
class ConnectionClosedGracefully : public SocketError {
public:
    ConnectionClosedGracefully();
};

inline constexpr const char* kMsgConnectionClosedGracefully = "Connection Closed Gracefully.";

// One TCP client connection over POSIX sockets. Blocking, used from one thread.
class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves the host and connects. timeout_ms <= 0 leaves the time to the system's own
    // connect; above 0 the attempt is abandoned with "Connection timed out." after that time.
    void connect(const std::string& host, std::uint16_t port, std::int32_t timeout_ms);
    bool connected() const { return fd_ >= 0; }
    void disconnect();

    // Sends every byte (looping over short writes); a broken connection raises.
    void write_all(std::span<const std::uint8_t> bytes);
    // Waits at most timeout_ms (0 = only looks) for data or an end of the connection.
    bool wait_readable(int timeout_ms);
    // Reads what is available now, at most into.size() bytes; 0 when nothing is there.
    // Raises ConnectionClosedGracefully when the peer has closed.
    std::size_t read_available(std::span<std::uint8_t> into);

private:
    int fd_ = -1;
};

// The socket layer's text for an errno value: the system's message with a closing full stop.
std::string socket_error_text(int error_number);

} // namespace rp
