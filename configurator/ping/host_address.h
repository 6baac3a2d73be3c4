#pragma once

#include <chrono>
#include <netinet/in.h>
#include <string>

namespace mk {

// Whether text can be a host name: labels of 1 to 63 letters, digits, hyphens or underscores,
// not starting with a hyphen, joined by dots, 253 characters at most (a final dot allowed).
// Text that cannot be a name is refused before any resolver sees it.
bool is_host_name(const std::string& text);

// The IPv4 address of host, a dotted address or a name, resolved before the deadline.
// Throws EchoError for text that is no address or name, a name the resolver refuses or does
// not answer for in time, and the unspecified address 0.0.0.0 (which Linux would quietly send
// to this machine itself, so the local host would seem to be the device).
in_addr resolve_host(const std::string& host, std::chrono::steady_clock::time_point deadline);

} // namespace mk
