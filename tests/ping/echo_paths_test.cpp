// Echoes over each path this machine offers, to loopback addresses only. Cases that need a
// place where nothing answers run in a network namespace of their own, made by a child
// process, with only its loopback device: nothing sent there can leave the machine.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ping/icmp_echo.h"
#include "test_dir.h"

namespace {

using namespace std::chrono_literals;
using mk::EchoAnswer;
using mk::EchoPath;
using mk::SystemIcmpEcho;

std::string describe(const mk::EchoReport& r) {
    const char* answers[] = {"none", "reply", "unreachable", "time-exceeded"};
    return std::string(answers[static_cast<int>(r.answer)]) + " " + std::to_string(r.bytes) + " " +
           (r.path ? mk::echo_path_name(*r.path) : "-");
}

std::string describe_echo(SystemIcmpEcho& echo, const std::string& host) {
    try {
        return describe(echo.echo(host));
    } catch (const mk::EchoError& e) {
        return std::string("error ") + e.what();
    }
}

bool write_sysctl(const char* path, const char* value) {
    std::ofstream out(path);
    out << value;
    out.flush();
    return static_cast<bool>(out);
}

bool loopback_up() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &req) == 0;
    req.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &req) == 0;
    ::close(fd);
    return ok;
}

// What a run in a private network namespace gave: the child's answer, or why it could not run.
struct IsolatedRun {
    std::string answer;
    std::string skip_reason;
};

// Runs body in a child process inside a fresh network namespace whose loopback is up. The
// settings are "path=value" pairs under /proc/sys/net of that namespace. The child is stopped
// after 20 s at the latest.
IsolatedRun in_private_network(const std::vector<std::pair<const char*, const char*>>& settings,
                               const std::function<std::string()>& body) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return {"", "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        std::string answer;
        if (::unshare(CLONE_NEWNET) != 0)
            answer = std::string("SKIP this process may not make a network namespace (") +
                     std::strerror(errno) + "; it needs root or CAP_SYS_ADMIN)";
        else if (!loopback_up())
            answer = "SKIP the new network namespace's loopback cannot be brought up";
        for (const auto& [path, value] : settings)
            if (answer.empty() && !write_sysctl(path, value))
                answer = std::string("SKIP cannot set ") + path + " in the namespace";
        if (answer.empty())
            answer = body();
        [[maybe_unused]] auto n = ::write(pipe_fds[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    if (child < 0) {
        ::close(pipe_fds[0]);
        return {"", "cannot fork"};
    }
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{pipe_fds[0], POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char chunk[256];
        const ssize_t n = ::read(pipe_fds[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipe_fds[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    if (answer.rfind("SKIP ", 0) == 0)
        return {"", answer.substr(5)};
    return {answer, ""};
}

// Everybody may open a datagram socket in the namespace; replies are turned off in the second.
const std::pair<const char*, const char*> kOpenDatagram{"/proc/sys/net/ipv4/ping_group_range",
                                                        "0 2147483647"};
const std::pair<const char*, const char*> kSilent{"/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"};

// Whether this process may open the kind of socket here, without asking for more.
bool may_open(int type) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

SystemIcmpEcho only(EchoPath path, std::chrono::milliseconds timeout = 1500ms) {
    return SystemIcmpEcho(timeout, {path});
}

TEST(EchoPaths, LoopbackAnswersWhicheverPathThisMachineOffers) {
    SystemIcmpEcho echo;
    const mk::EchoReport report = echo.echo("127.0.0.1");
    EXPECT_EQ(report.answer, EchoAnswer::Reply);
    EXPECT_EQ(report.bytes, 64);
    ASSERT_TRUE(report.path.has_value());
    std::cout << "[ info     ] this process's echo path: " << mk::echo_path_name(*report.path)
              << '\n';
    // A second echo matches its own sequence number, not the first one's reply.
    EXPECT_EQ(echo.echo("localhost").answer, EchoAnswer::Reply);
}

TEST(EchoPaths, DatagramSocket) {
    if (may_open(SOCK_DGRAM)) {
        auto echo = only(EchoPath::DatagramSocket);
        EXPECT_EQ(describe_echo(echo, "127.0.0.1"), "reply 64 ICMP datagram socket");
        return;
    }
    // net.ipv4.ping_group_range leaves this process out here; a namespace of its own may let
    // every group in.
    const IsolatedRun run = in_private_network({kOpenDatagram}, [] {
        auto echo = only(EchoPath::DatagramSocket);
        return describe_echo(echo, "127.0.0.1") + " / " + describe_echo(echo, "127.0.0.1");
    });
    if (!run.skip_reason.empty())
        GTEST_SKIP() << "no ICMP datagram socket for this process (net.ipv4.ping_group_range) "
                        "and "
                     << run.skip_reason;
    EXPECT_EQ(run.answer, "reply 64 ICMP datagram socket / reply 64 ICMP datagram socket");
}

TEST(EchoPaths, RawSocket) {
    if (!may_open(SOCK_RAW))
        GTEST_SKIP() << "no raw ICMP socket for this process (it needs root or cap_net_raw)";
    auto echo = only(EchoPath::RawSocket);
    EXPECT_EQ(describe_echo(echo, "127.0.0.1"), "reply 64 raw ICMP socket");
    EXPECT_EQ(describe_echo(echo, "127.0.0.2"), "reply 64 raw ICMP socket");
}

TEST(EchoPaths, SystemTool) {
    const auto tool = SystemIcmpEcho::find_ping_tool();
    if (!tool)
        GTEST_SKIP() << "no ping program in /usr/bin, /bin, /usr/sbin or /sbin";
    auto echo = only(EchoPath::SystemTool);
    EXPECT_EQ(describe_echo(echo, "127.0.0.1"), "reply 64 system ping program");

    // The text typed never reaches a shell, nor the program: nothing here runs "touch".
    mk::test::TempDir dir;
    const auto marker = dir.path() / "touched";
    EXPECT_THROW(echo.echo("127.0.0.1; touch " + marker.string()), mk::EchoError);
    EXPECT_THROW(echo.echo("$(touch " + marker.string() + ")"), mk::EchoError);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(EchoPaths, NoPathLeftIsAnError) {
    SystemIcmpEcho echo(1000ms, {EchoPath::SystemTool}, std::nullopt);
    EXPECT_THROW(echo.echo("127.0.0.1"), mk::EchoError);
}

TEST(EchoPaths, SilentHostGivesNoAnswerOnEveryPath) {
    const IsolatedRun run = in_private_network({kOpenDatagram, kSilent}, [] {
        std::string out;
        for (EchoPath path :
             {EchoPath::DatagramSocket, EchoPath::RawSocket, EchoPath::SystemTool}) {
            auto echo = only(path, 400ms);
            const auto start = std::chrono::steady_clock::now();
            out += describe_echo(echo, "127.0.0.1");
            const auto took = std::chrono::steady_clock::now() - start;
            out += took >= 390ms && took < 1500ms ? " in time; " : " out of time; ";
        }
        return out;
    });
    if (!run.skip_reason.empty())
        GTEST_SKIP() << run.skip_reason;
    EXPECT_EQ(run.answer, "none 0 ICMP datagram socket in time; "
                          "none 0 raw ICMP socket in time; "
                          "none 0 system ping program in time; ");
}

// A clock that waits no real time: each wait for an answer looks once whether one is there and,
// when none is, moves the clock on to the end of the wait.
class SteppedClock : public mk::EchoClock {
public:
    time_point now() override { return now_; }
    int poll_until(pollfd& socket, time_point deadline) override {
        const int ready = ::poll(&socket, 1, 0);
        if (ready == 0 && deadline > now_)
            now_ = deadline;
        return ready;
    }

private:
    time_point now_ = std::chrono::steady_clock::now();
};

TEST(EchoPaths, SilentHostIsGivenUpAfterFiveSeconds) {
    const IsolatedRun run = in_private_network({kSilent}, [] {
        SteppedClock clock;
        const auto start = clock.now();
        SystemIcmpEcho echo(SystemIcmpEcho::kTimeout,
                            {EchoPath::DatagramSocket, EchoPath::RawSocket},
                            SystemIcmpEcho::find_ping_tool(), clock);
        const std::string answer = describe_echo(echo, "127.0.0.1");
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start);
        return answer.substr(0, 6) + " " + std::to_string(took.count());
    });
    if (!run.skip_reason.empty())
        GTEST_SKIP() << run.skip_reason;
    // The echo waits on its clock until the limit and not a step longer.
    EXPECT_EQ(run.answer, "none 0 5000");
}

TEST(EchoPaths, NameTheResolverCannotAnswerIsAnError) {
    // In the namespace there is no way to any name server: the lookup fails on this machine.
    const IsolatedRun run = in_private_network({}, [] {
        SystemIcmpEcho echo(3000ms);
        const auto start = std::chrono::steady_clock::now();
        const std::string answer = describe_echo(echo, "abc.def");
        const bool quick = std::chrono::steady_clock::now() - start < 3100ms;
        return answer.substr(0, 5) + (quick ? " within the limit" : " late");
    });
    if (!run.skip_reason.empty())
        GTEST_SKIP() << run.skip_reason;
    EXPECT_EQ(run.answer, "error within the limit");
}

TEST(EchoPaths, SlowResolverIsGivenUpAtTheEchoLimit) {
    // A name server on the namespace's loopback that takes every query and answers none.
    mk::test::TempDir dir;
    const auto resolv = dir.path() / "resolv.conf";
    std::ofstream(resolv) << "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n";
    const IsolatedRun run = in_private_network({}, [&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
            return "SKIP this process may not put its own resolver settings in place";
        const int server = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
            return "SKIP no silent name server on the namespace's loopback";
        SystemIcmpEcho echo(1500ms);
        const auto start = std::chrono::steady_clock::now();
        const std::string answer = describe_echo(echo, "gateway.example");
        const auto took = std::chrono::steady_clock::now() - start;
        return answer.substr(0, 5) + (took >= 1490ms && took < 2000ms ? " at the limit" : " off");
    });
    if (!run.skip_reason.empty())
        GTEST_SKIP() << run.skip_reason;
    EXPECT_EQ(run.answer, "error at the limit");
}

} // namespace
