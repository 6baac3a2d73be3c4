#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "ping/host_address.h"
#include "ping/icmp_echo.h"
#include "ping/ping_tool.h"

namespace {

using namespace std::chrono_literals;
using mk::EchoAnswer;
using mk::read_ping_tool_output;

std::string dotted(in_addr a) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::chrono::steady_clock::time_point soon() {
    return std::chrono::steady_clock::now() + 2s;
}

TEST(HostAddress, NamesAndAddressesThatAreUsed) {
    EXPECT_EQ(dotted(mk::resolve_host("127.0.0.1", soon())), "127.0.0.1");
    EXPECT_EQ(dotted(mk::resolve_host("127.1", soon())), "127.0.0.1");
    // From the hosts file; no resolver query is needed.
    EXPECT_EQ(dotted(mk::resolve_host("localhost", soon())), "127.0.0.1");
    EXPECT_TRUE(mk::is_host_name("gw-1.plant_3.example."));
    EXPECT_TRUE(mk::is_host_name(std::string(63, 'a') + ".b"));
}

TEST(HostAddress, TextThatIsNoNameIsRefusedBeforeAnyResolverQuery) {
    const std::string long_name = std::string(300, 'a');
    const std::string long_label = std::string(64, 'a') + ".example";
    for (const std::string& text : {std::string(""), std::string("abc..def"), std::string(".abc"),
                                    std::string("127.0.0.1; rm -rf /"), std::string("x y"),
                                    std::string("-f"), std::string("::1"), long_name, long_label,
                                    std::string("192.168.1.1 "), std::string("300.1.1.1")}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(mk::resolve_host(text, soon()), mk::EchoError) << text;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << text;
    }
}

// The limits of a name, at their edges; a resolver would refuse most of these too, but only after
// it was asked.
TEST(HostAddress, NamesAtTheirLimits) {
    const std::string label63(63, 'a');
    // 4 labels of 63 and a dot after each but the last: 255; cut to the length wanted.
    const std::string long_name = label63 + "." + label63 + "." + label63 + "." + label63;
    struct Row {
        const char* name;
        std::string text;
        bool is_name;
    };
    const std::vector<Row> rows = {
        {"label of 63", label63 + ".b", true},
        {"label of 64", label63 + "a.b", false},
        {"last label of 64", "b." + label63 + "a", false},
        {"253 characters", long_name.substr(0, 253), true},
        {"253 characters and a final dot", long_name.substr(0, 253) + ".", true},
        {"254 characters", long_name.substr(0, 254), false},
        {"255 characters", long_name.substr(0, 255), false},
        {"first label starts with a hyphen", "-gw.example", false},
        {"later label starts with a hyphen", "gw.-x.example", false},
        {"hyphen inside labels", "gw-1.x-y", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(mk::is_host_name(row.text), row.is_name) << row.name;

    // Numeric with a final dot is a mistyped address, not a name for the resolver.
    try {
        mk::resolve_host("1.2.3.4.", soon());
        ADD_FAILURE() << "1.2.3.4. was taken";
    } catch (const mk::EchoError& e) {
        EXPECT_STREQ(e.what(), "'1.2.3.4.' is not an IPv4 address");
    }
}

TEST(HostAddress, TheUnspecifiedAddressNamesNoDevice) {
    // Linux would send these to this machine itself and report it as the device.
    EXPECT_THROW(mk::resolve_host("0.0.0.0", soon()), mk::EchoError);
    EXPECT_THROW(mk::resolve_host("0", soon()), mk::EchoError);
}

TEST(PingTool, AddressComesAfterTheEndOfOptions) {
    EXPECT_EQ(mk::ping_tool_arguments("127.0.0.1", 5000ms),
              (std::vector<std::string>{"-n", "-c", "1", "-W", "5", "--", "127.0.0.1"}));
    EXPECT_EQ(mk::ping_tool_arguments("127.0.0.1", 4001ms)[4], "5");
    EXPECT_EQ(mk::ping_tool_arguments("127.0.0.1", 1ms)[4], "1");
}

TEST(PingTool, OutputTellsReplyReportsAndSilence) {
    const auto report =
        read_ping_tool_output("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                              "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.041 ms\n\n"
                              "--- 127.0.0.1 ping statistics ---\n"
                              "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n",
                              true, 0);
    EXPECT_EQ(report.answer, EchoAnswer::Reply);
    EXPECT_EQ(report.bytes, 64);
    EXPECT_EQ(report.path, mk::EchoPath::SystemTool);

    EXPECT_EQ(read_ping_tool_output("PING 10.9.9.9 (10.9.9.9) 56(84) bytes of data.\n"
                                    "From 10.9.9.1 icmp_seq=1 Destination Host Unreachable\n",
                                    true, 1)
                  .answer,
              EchoAnswer::Unreachable);
    EXPECT_EQ(
        read_ping_tool_output("From 10.9.9.1 icmp_seq=1 Time to live exceeded\n", true, 1).answer,
        EchoAnswer::TimeExceeded);

    const std::string silent = "PING 10.9.9.9 (10.9.9.9) 56(84) bytes of data.\n\n"
                               "1 packets transmitted, 0 received, 100% packet loss\n";
    EXPECT_EQ(read_ping_tool_output(silent, true, 1).answer, EchoAnswer::None);
    // Stopped at the deadline before it printed anything.
    EXPECT_EQ(read_ping_tool_output("", false, -1).answer, EchoAnswer::None);
    EXPECT_EQ(read_ping_tool_output(silent, true, 1).bytes, 0);
}

TEST(PingTool, FailuresOfTheProgramAreErrors) {
    EXPECT_THROW(read_ping_tool_output("ping: abc.def: Name or service not known\n", true, 2),
                 mk::EchoError);
    EXPECT_THROW(read_ping_tool_output("ping: socket: Operation not permitted\n", true, 2),
                 mk::EchoError);
    EXPECT_THROW(read_ping_tool_output("", true, 127), mk::EchoError);
    EXPECT_THROW(read_ping_tool_output(
                     "From 10.9.9.1 icmp_seq=1 Redirect Host(New nexthop: 10.9.9.2)\n", true, 1),
                 mk::EchoError);
}

} // namespace
