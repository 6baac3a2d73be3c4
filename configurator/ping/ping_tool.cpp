#include "ping/ping_tool.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mk {

namespace {

using Clock = std::chrono::steady_clock;

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.03 ms": the size of the reply.
int reply_bytes(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos ||
        !starts_with(line.substr(space), " bytes from "))
        return -1;
    int bytes = 0;
    for (char c : line.substr(0, space)) {
        if (c < '0' || c > '9' || bytes > 65535)
            return -1;
        bytes = bytes * 10 + (c - '0');
    }
    return bytes;
}

// "From 10.1.1.1 icmp_seq=1 Destination Host Unreachable": an ICMP report about the request.
EchoAnswer report_kind(std::string_view line) {
    if (contains(line, "exceeded"))
        return EchoAnswer::TimeExceeded;
    for (std::string_view unreachable :
         {"Unreachable", "Unknown", "Prohibited", "Packet filtered", "Frag needed",
          "Source Route Failed", "Source Host Isolated", "Precedence"})
        if (contains(line, unreachable))
            return EchoAnswer::Unreachable;
    return EchoAnswer::None;
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.remove_suffix(1);
    return line;
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            throw EchoError(std::string("cannot start the ping program: ") + std::strerror(errno));
    }
    ~Pipe() {
        closeWrite();
        if (fds_[0] >= 0)
            ::close(fds_[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void closeWrite() {
        if (fds_[1] >= 0)
            ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

pid_t spawn_tool(const std::filesystem::path& tool, const std::vector<std::string>& arguments,
                 const Pipe& output) {
    std::vector<char*> argv;
    std::string program = tool.string();
    argv.push_back(program.data());
    std::vector<std::string> args = arguments;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The C locale keeps the messages in the words read below; nothing else of this process's
    // environment goes to the program.
    char locale[] = "LC_ALL=C";
    char* envp[] = {locale, nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.write(), 1);
    posix_spawn_file_actions_adddup2(&actions, output.write(), 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    // The program may run with privileges of its own: it gets no other file of this process.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    pid_t pid = -1;
    const int status = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
        throw EchoError("cannot start " + program + ": " + std::strerror(status));
    return pid;
}

// Whether the program ended before the deadline; status then holds how.
bool exited_before(pid_t pid, int& status, Clock::time_point deadline) {
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return false;
        if (Clock::now() >= deadline)
            return false;
        ::usleep(5000);
    }
}

} // namespace

std::vector<std::string> ping_tool_arguments(const std::string& address,
                                             std::chrono::milliseconds wait) {
    const auto seconds = std::max<long long>(1, (wait.count() + 999) / 1000);
    return {"-n", "-c", "1", "-W", std::to_string(seconds), "--", address};
}

EchoReport read_ping_tool_output(std::string_view output, bool finished, int exit_code) {
    EchoReport report{EchoAnswer::None, 0, EchoPath::SystemTool};
    std::string_view complaint;
    while (!output.empty()) {
        const std::size_t end = output.find('\n');
        const std::string_view line = trimmed(output.substr(0, end));
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        if (const int bytes = reply_bytes(line); bytes > 0)
            return {EchoAnswer::Reply, bytes, EchoPath::SystemTool};
        if (starts_with(line, "From ")) {
            report.answer = report_kind(line);
            if (report.answer == EchoAnswer::None)
                throw EchoError("ICMP report about the request: " + std::string(line));
            return report;
        }
        if (starts_with(line, "ping: ") && complaint.empty())
            complaint = line.substr(6);
    }
    // Stopped at the deadline, or ended with 1 (no reply): nothing answered in time.
    if (!finished || exit_code == 1)
        return report;
    if (!complaint.empty())
        throw EchoError("the ping program: " + std::string(complaint));
    throw EchoError("the ping program ended with " + std::to_string(exit_code) + " and no reply");
}

EchoReport echo_by_tool(const std::filesystem::path& tool, const std::string& address,
                        Clock::time_point deadline) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    Pipe output;
    const pid_t pid = spawn_tool(tool, ping_tool_arguments(address, wait), output);
    output.closeWrite();

    std::string text;
    bool open = true;
    while (open) {
        pollfd p{output.read(), POLLIN, 0};
        const int ready = ::poll(&p, 1, remaining_ms(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char chunk[512];
        const ssize_t n = ::read(output.read(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            open = false;
        else if (text.size() < 65536)
            text.append(chunk, static_cast<std::size_t>(n));
    }
    int status = 0;
    const bool finished = !open && exited_before(pid, status, deadline);
    if (!finished) {
        // Past the deadline: the program is stopped, what it printed so far still counts.
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    const int exit_code = finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (finished && !WIFEXITED(status))
        throw EchoError("the ping program was stopped by a signal");
    return read_ping_tool_output(text, finished, exit_code);
}

} // namespace mk
