#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace rp::test {

using Bytes = std::vector<std::uint8_t>;

// One accepted connection as the slave's script sees it.
class SlaveConnection {
public:
    explicit SlaveConnection(int fd) : fd_(fd) {}
    // Reads one Modbus TCP request (header, then the length it announces); empty when the
    // master closed or nothing complete came within the time.
    Bytes read_request(std::chrono::milliseconds within = std::chrono::seconds(5));
    void send(const Bytes& bytes);
    // Waits until the master closes or the time is over (a slave that never answers).
    void wait_for_close(std::chrono::milliseconds at_most);

private:
    int fd_;
};

// A scripted Modbus TCP slave on 127.0.0.1 at a free port, run on its own thread. Each
// connection is handed to the script; the connection is closed when the script returns.
// Every request read through read_request() is recorded.
class FakeSlave {
public:
    using Script = std::function<void(SlaveConnection&, FakeSlave&)>;

    explicit FakeSlave(Script script);
    ~FakeSlave();
    FakeSlave(const FakeSlave&) = delete;
    FakeSlave& operator=(const FakeSlave&) = delete;

    std::uint16_t port() const { return port_; }
    std::vector<Bytes> requests() const;
    void record(const Bytes& request);

    // A well-behaved slave over a map of holding registers (functions 3, 6 and 16); an
    // address outside 0..999 gets the exception answer "illegal data address".
    static FakeSlave with_registers(std::map<std::uint16_t, std::uint16_t>& registers,
                                    std::mutex& lock);

private:
    void run();

    Script script_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

// The answer of a slave holding `registers` to one request; used by with_registers.
Bytes answer_from_registers(const Bytes& request, std::map<std::uint16_t, std::uint16_t>& regs);

// A port on 127.0.0.1 where nothing listens (bound once, then released).
std::uint16_t unused_port();

// A listener on 127.0.0.1 whose queue of accepted connections is full, so the system drops
// further connection requests without any answer, as a host that drops packets does. A
// connect to it waits until its time-out; once close() is called the next retry is refused.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t port() const { return port_; }
    void close();

private:
    int listen_fd_ = -1;
    int filler_fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace rp::test
