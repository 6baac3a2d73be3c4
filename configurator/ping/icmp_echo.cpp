#include "ping/icmp_echo.h"

#include <arpa/inet.h>
#include <unistd.h>

#include "ping/host_address.h"
#include "ping/icmp_socket.h"
#include "ping/ping_tool.h"

namespace mk {

const char* echo_path_name(EchoPath path) {
    switch (path) {
    case EchoPath::DatagramSocket:
        return "ICMP datagram socket";
    case EchoPath::RawSocket:
        return "raw ICMP socket";
    case EchoPath::SystemTool:
        return "system ping program";
    }
    return "?";
}

namespace {

class SystemEchoClock : public EchoClock {
public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    int poll_until(pollfd& socket, time_point deadline) override {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now()).count();
        return ::poll(&socket, 1, left > 0 ? static_cast<int>(left) : 0);
    }
};

} // namespace

EchoClock& system_echo_clock() {
    static SystemEchoClock clock;
    return clock;
}

SystemIcmpEcho::SystemIcmpEcho(std::chrono::milliseconds timeout, std::vector<EchoPath> paths,
                               std::optional<std::filesystem::path> tool, EchoClock& clock)
    : timeout_(timeout), paths_(std::move(paths)), tool_(std::move(tool)), clock_(clock) {}

std::optional<std::filesystem::path> SystemIcmpEcho::find_ping_tool() {
    // Fixed places only: the search path of the environment does not choose what runs.
    for (const char* place : {"/usr/bin/ping", "/bin/ping", "/usr/sbin/ping", "/sbin/ping"})
        if (::access(place, X_OK) == 0)
            return std::filesystem::path(place);
    return std::nullopt;
}

EchoReport SystemIcmpEcho::echo(const std::string& host) {
    // One time limit for the whole echo: resolving the name, sending and the answer.
    const auto deadline = clock_.now() + timeout_;
    const in_addr address = resolve_host(host, deadline);
    for (EchoPath path : paths_) {
        if (path == EchoPath::SystemTool) {
            if (!tool_)
                continue;
            char dotted[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &address, dotted, sizeof dotted);
            // The program gets the resolved address, not the text typed: it resolves nothing
            // again and never sees anything but digits and dots.
            return echo_by_tool(*tool_, dotted, deadline);
        }
        if (auto report = echo_over_socket(path, address, deadline, clock_))
            return *report;
    }
    throw EchoError("this system lets the program send no ICMP echo (no ICMP socket may be "
                    "opened and no ping program was found)");
}

} // namespace mk
