#pragma once

#include <chrono>
#include <netinet/in.h>
#include <optional>

#include "ping/icmp_echo.h"

namespace mk {

// Sends one echo request to address over an ICMP socket of the given path (DatagramSocket or
// RawSocket) and waits for its answer until the deadline, on `clock`. Returns nothing when the
// system does not let this process open that kind of socket, so the caller can try the next path;
// throws EchoError for any other socket failure.
std::optional<EchoReport> echo_over_socket(EchoPath path, in_addr address,
                                           std::chrono::steady_clock::time_point deadline,
                                           EchoClock& clock);

} // namespace mk
