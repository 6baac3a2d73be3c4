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

SystemIcmpEcho::SystemIcmpEcho(std::chrono::milliseconds timeout, std::vector<EchoPath> paths,
                               std::optional<std::filesystem::path> tool)
    : timeout_(timeout), paths_(std::move(paths)), tool_(std::move(tool)) {}

std::optional<std::filesystem::path> SystemIcmpEcho::find_ping_tool() {
    // Fixed places only: the search path of the environment does not choose what runs.
    for (const char* place : {"/usr/bin/ping", "/bin/ping", "/usr/sbin/ping", "/sbin/ping"})
        if (::access(place, X_OK) == 0)
            return std::filesystem::path(place);
    return std::nullopt;
}

EchoReport SystemIcmpEcho::echo(const std::string& host) {
    // One time limit for the whole echo: resolving the name, sending and the answer.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
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
        if (auto report = echo_over_socket(path, address, deadline))
            return *report;
    }
    throw EchoError("this system lets the program send no ICMP echo (no ICMP socket may be "
                    "opened and no ping program was found)");
}

} // namespace mk
