#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace mk {

// The ways an echo request can leave this machine, in the order they are tried.
enum class EchoPath {
    DatagramSocket, // unprivileged ICMP socket (allowed by net.ipv4.ping_group_range)
    RawSocket,      // root, or the program given cap_net_raw
    SystemTool,     // the system's ping program (setuid or with file capabilities)
};

const char* echo_path_name(EchoPath path);

// What answered one echo request.
enum class EchoAnswer {
    None,         // nothing matching arrived in time
    Reply,        // an echo reply to the request
    Unreachable,  // a destination-unreachable report quoting the request
    TimeExceeded, // a time-exceeded report quoting the request
};

// The report of one echo: the answer, the number of bytes it held (0 when nothing matching
// arrived, or when the system tool does not tell the size of a report) and the path used.
struct EchoReport {
    EchoAnswer answer = EchoAnswer::None;
    int bytes = 0;
    std::optional<EchoPath> path;
};

// Any failure of an echo: a host that is no address and cannot be resolved, a socket failure,
// an answer too short to decode or an ICMP message of a type the echo does not handle.
class EchoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One ICMP echo to a host given as text. Implementations may be called from any thread, one
// call at a time.
class IcmpEcho {
public:
    virtual ~IcmpEcho() = default;
    // Sends one echo request to host (a dotted address or a name to resolve, unchanged) and
    // waits for its answer within the echo's time limit. Throws EchoError.
    virtual EchoReport echo(const std::string& host) = 0;
};

// The time of an echo over an ICMP socket: the clock its limit is counted on, and the wait for
// the socket to have something to read. The system's is the steady clock and poll(); a test that
// must not wait out a whole limit steps a clock of its own.
class EchoClock {
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~EchoClock() = default;
    virtual time_point now() = 0;
    // Waits until `socket` is ready or `deadline` has passed; returns as poll() does (0 when the
    // deadline passed first).
    virtual int poll_until(pollfd& socket, time_point deadline) = 0;
};

EchoClock& system_echo_clock();

// The system's ICMP echo over IPv4. It tries the paths in the given order and uses the first
// one this process may open: a path that the system refuses is passed over, not an error.
class SystemIcmpEcho : public IcmpEcho {
public:
    static constexpr std::chrono::milliseconds kTimeout{5000};

    explicit SystemIcmpEcho(std::chrono::milliseconds timeout = kTimeout,
                            std::vector<EchoPath> paths = {EchoPath::DatagramSocket,
                                                           EchoPath::RawSocket,
                                                           EchoPath::SystemTool},
                            std::optional<std::filesystem::path> tool = find_ping_tool(),
                            EchoClock& clock = system_echo_clock());

    EchoReport echo(const std::string& host) override;

    // The system's ping program in the usual places, if there is one.
    static std::optional<std::filesystem::path> find_ping_tool();

private:
    std::chrono::milliseconds timeout_;
    std::vector<EchoPath> paths_;
    std::optional<std::filesystem::path> tool_;
    EchoClock& clock_;
};

} // namespace mk
