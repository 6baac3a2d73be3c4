#include "ping/host_address.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

#include "ping/icmp_echo.h"

namespace mk {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A name whose last label is a number is meant as an address: no top-level domain is numeric.
bool looks_numeric(const std::string& text) {
    std::string name = text;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    const std::size_t dot = name.rfind('.');
    const std::string last = dot == std::string::npos ? name : name.substr(dot + 1);
    if (last.empty())
        return false;
    for (char c : last)
        if (!is_digit(c))
            return false;
    return true;
}

bool is_label_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// One lookup by the system resolver, shared between the thread that runs it and the echo that
// waits for it. A resolver that hangs keeps only its own thread; the echo goes on at its
// deadline.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
    int status = 0;
    in_addr address{};
};

void run_lookup(const std::shared_ptr<Lookup>& lookup, const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    in_addr address{};
    if (status == 0 && found)
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    if (found)
        ::freeaddrinfo(found);
    std::lock_guard lock(lookup->mutex);
    lookup->status = found || status != 0 ? status : EAI_NONAME;
    lookup->address = address;
    lookup->done = true;
    lookup->done_signal.notify_all();
}

} // namespace

bool is_host_name(const std::string& text) {
    std::string name = text;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name.empty() || name.size() > 253)
        return false;
    std::size_t label = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '.') {
            if (label == 0 || label > 63)
                return false;
            label = 0;
            continue;
        }
        if (!is_label_char(name[i]) || (label == 0 && name[i] == '-'))
            return false;
        ++label;
    }
    return true;
}

namespace {

in_addr lookup_name(const std::string& name, std::chrono::steady_clock::time_point deadline) {
    auto lookup = std::make_shared<Lookup>();
    std::thread(run_lookup, lookup, name).detach();
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done_signal.wait_until(lock, deadline, [&] { return lookup->done; }))
        throw EchoError("no answer from the resolver for '" + name + "' in time");
    if (lookup->status != 0)
        throw EchoError("cannot resolve '" + name + "': " + ::gai_strerror(lookup->status));
    return lookup->address;
}

in_addr to_address(const std::string& host, std::chrono::steady_clock::time_point deadline) {
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address;
    if (!is_host_name(host))
        throw EchoError("'" + host + "' is neither an IPv4 address nor a host name");
    if (!looks_numeric(host))
        return lookup_name(host, deadline);
    // Short forms such as 127.1 are addresses too; anything else numeric is no name worth a
    // resolver query.
    if (::inet_aton(host.c_str(), &address) == 0)
        throw EchoError("'" + host + "' is not an IPv4 address");
    return address;
}

} // namespace

in_addr resolve_host(const std::string& host, std::chrono::steady_clock::time_point deadline) {
    const in_addr address = to_address(host, deadline);
    if (address.s_addr == htonl(INADDR_ANY))
        throw EchoError("0.0.0.0 names no device");
    return address;
}

} // namespace mk
