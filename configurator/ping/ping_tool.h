#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ping/icmp_echo.h"

namespace mk {

// The arguments for one echo by the system's ping program: one request, numeric output (no
// reverse lookups), the wait in whole seconds, and the address after "--" so that it can never
// be read as an option. They are passed as a list to the program itself, never to a shell.
std::vector<std::string> ping_tool_arguments(const std::string& address,
                                             std::chrono::milliseconds wait);

// Reads what the ping program printed (in the C locale) and how it ended. finished is false
// when the program was stopped at the deadline. Throws EchoError for an unknown host, a failure
// of the program and an ICMP report the echo does not handle.
EchoReport read_ping_tool_output(std::string_view output, bool finished, int exit_code);

// Runs the ping program at tool for address and reads its outcome before the deadline.
// Throws EchoError when the program cannot be started or fails.
EchoReport echo_by_tool(const std::filesystem::path& tool, const std::string& address,
                        std::chrono::steady_clock::time_point deadline);

} // namespace mk
