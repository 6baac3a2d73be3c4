// TModbusTcpClient against a real Modbus TCP slave: Debian's pymodbus on 127.0.0.1 at a free
// port, started and stopped here. What our client writes is read back with libmodbus, and what
// libmodbus writes is read with our client.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "regprobe/modbus_tcp_client.h"
#include "regprobe/traffic.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

extern char** environ;

namespace rp::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPython = "/usr/bin/python3";
// Reads addressed to this unit get the first register only (byte count 2).
constexpr int kShortReadsUnit = 66;

// The local slave script as a child process; stopped (TERM, then KILL) when destroyed.
class PymodbusSlave {
public:
    explicit PymodbusSlave(std::uint16_t port) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const std::string port_text = std::to_string(port);
        const std::string short_unit = std::to_string(kShortReadsUnit);
        char short_option[] = "--short-reads";
        char* argv[] = {const_cast<char*>(kPython),
                        const_cast<char*>(RP_LOCAL_SLAVE),
                        const_cast<char*>(port_text.c_str()),
                        short_option,
                        const_cast<char*>(short_unit.c_str()),
                        nullptr};
        if (::posix_spawn(&pid_, kPython, &actions, nullptr, argv, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The read end stays open while the slave runs, so its output never meets a closed pipe.
        out_ = out[0];
        ready_ = pid_ > 0 && wait_for_line(out_, "listening on", 20s);
    }
    ~PymodbusSlave() {
        stop();
        ::close(out_);
    }
    void stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            std::this_thread::sleep_for(100ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    PymodbusSlave(const PymodbusSlave&) = delete;
    PymodbusSlave& operator=(const PymodbusSlave&) = delete;
    bool ready() const { return ready_; }

private:
    static bool wait_for_line(int fd, const std::string& text, std::chrono::seconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        std::string got;
        char chunk[256];
        while (got.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            got.append(chunk, static_cast<std::size_t>(n));
        }
        return true;
    }
    pid_t pid_ = -1;
    int out_ = -1;
    bool ready_ = false;
};

// A free port: bound to 0, read back and released for the slave to take.
std::uint16_t free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool pymodbus_installed() {
    return ::access(kPython, X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import pymodbus' >/dev/null 2>&1") == 0;
}

class ModbusPeerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!pymodbus_installed())
            return;
        port_ = free_port();
        slave_ = new PymodbusSlave(port_);
    }
    static void TearDownTestSuite() {
        delete slave_;
        slave_ = nullptr;
    }
    void SetUp() override {
        if (!slave_)
            GTEST_SKIP() << "python3-pymodbus is not installed (scripts/bootstrap installs it)";
        ASSERT_TRUE(slave_->ready()) << "the pymodbus slave did not start on port " << port_;
        client.Host = "127.0.0.1";
        client.Port = port_;
        client.UnitID = 7;
        client.TimeOut = 5000;
        client.ErrorLogPath = dir.path() / "errorlog.txt";
        client.LogStamp = [] { return std::string("D T"); };
        ctx = modbus_new_tcp("127.0.0.1", port_);
        ASSERT_NE(ctx, nullptr);
        modbus_set_slave(ctx, 7);
        modbus_set_response_timeout(ctx, 5, 0);
        ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    }
    void TearDown() override {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
    }
    std::vector<std::uint16_t> peer_read(int address, int count) {
        std::vector<std::uint16_t> v(static_cast<std::size_t>(count));
        EXPECT_EQ(modbus_read_registers(ctx, address, count, v.data()), count)
            << modbus_strerror(errno);
        return v;
    }

    static inline std::uint16_t port_ = 0;
    static inline PymodbusSlave* slave_ = nullptr;
    mk::test::TempDir dir;
    TModbusTcpClient client;
    modbus_t* ctx = nullptr;
};

TEST_F(ModbusPeerTest, WritesReachTheSlaveRegisters) {
    // Register number 11 is protocol address 10.
    ASSERT_TRUE(client.WriteSingleRegister(11, 0x1234));
    EXPECT_EQ(peer_read(10, 1), (std::vector<std::uint16_t>{0x1234}));

    const std::vector<std::uint16_t> values{1, 2, 3, 0xFFFF};
    ASSERT_TRUE(client.WriteMultipleRegisters(101, values));
    EXPECT_EQ(peer_read(100, 4), values);

    std::vector<std::uint16_t> many(130);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<std::uint16_t>(0x500 + i);
    ASSERT_TRUE(client.WriteMultipleRegisters(201, many));
    const auto back = peer_read(200, 124);
    EXPECT_EQ(back[122], 0x500 + 122);
    EXPECT_EQ(back[123], 0) << "only the first 123 values go out";
}

TEST_F(ModbusPeerTest, ReadsWhatThePeerWrote) {
    std::vector<std::uint16_t> written(125);
    for (std::size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<std::uint16_t>(0xA000 + i);
    ASSERT_EQ(modbus_write_registers(ctx, 300, 100, written.data()), 100);
    ASSERT_EQ(modbus_write_registers(ctx, 400, 25, written.data() + 100), 25);

    std::vector<std::uint16_t> values(3);
    ASSERT_TRUE(client.ReadHoldingRegisters(301, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xA000, 0xA001, 0xA002}));

    std::vector<std::uint16_t> block(200, 0xDEAD);
    ASSERT_TRUE(client.ReadHoldingRegisters(301, block));
    EXPECT_EQ(block[99], 0xA000 + 99);
    EXPECT_EQ(block[0], 0xA000);
    for (std::size_t i = 125; i < block.size(); ++i)
        ASSERT_EQ(block[i], 0) << i;
    EXPECT_FALSE(std::filesystem::exists(client.ErrorLogPath));
}

TEST_F(ModbusPeerTest, ExceptionFromTheSlaveIsLogged) {
    // The slave holds 1000 registers: address 5000 answers "illegal data address".
    std::vector<std::uint16_t> values(2);
    EXPECT_FALSE(client.ReadHoldingRegisters(5001, values));
    EXPECT_EQ(read_file(client.ErrorLogPath),
              "D T File di errore Modbus TCP Client\n"
              "D T ERR: Ricevuti 9 byte  0, 0, 0, 0, 0, 3, 7,83, 2,\n");
}

TEST_F(ModbusPeerTest, ShortByteCountIsAFailedReadAndLogged) {
    const std::uint16_t written[] = {0x1234, 0x5678, 0x9ABC};
    ASSERT_EQ(modbus_write_registers(ctx, 10, 3, written), 3);
    client.UnitID = kShortReadsUnit;
    std::vector<std::uint16_t> values(3, 0xDEAD);
    EXPECT_FALSE(client.ReadHoldingRegisters(11, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0, 0, 0})) << "no value that never came";
    EXPECT_EQ(read_file(client.ErrorLogPath),
              "D T File di errore Modbus TCP Client\n"
              "D T ERR: Ricevuti 11 byte  0, 0, 0, 0, 0, 5,42, 3, 2,12,34,\n");
    // The same slave answers the whole block to any other unit.
    client.UnitID = 7;
    EXPECT_TRUE(client.ReadHoldingRegisters(11, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>(std::begin(written), std::end(written))));
}

// A libmodbus slave on its own thread: registers 0..99 holding 0x100 + their address, one
// request per connection, every request recorded as libmodbus received it. Stopped (its
// listening socket shut down) when destroyed.
class LibmodbusSlave {
public:
    LibmodbusSlave() : port_(free_port()) {
        ctx_ = modbus_new_tcp("127.0.0.1", port_);
        map_ = modbus_mapping_new(0, 0, 100, 0);
        for (int i = 0; i < 100; ++i)
            map_->tab_registers[i] = static_cast<std::uint16_t>(0x100 + i);
        listen_ = modbus_tcp_listen(ctx_, 4);
        if (listen_ >= 0)
            thread_ = std::thread([this] { serve(); });
    }
    ~LibmodbusSlave() {
        stop_ = true;
        if (listen_ >= 0)
            ::shutdown(listen_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        if (listen_ >= 0)
            ::close(listen_);
        modbus_mapping_free(map_);
        modbus_free(ctx_);
    }
    LibmodbusSlave(const LibmodbusSlave&) = delete;
    LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;
    bool ready() const { return listen_ >= 0; }
    std::uint16_t port() const { return port_; }
    std::vector<std::vector<std::uint8_t>> requests() {
        std::lock_guard guard(lock_);
        return requests_;
    }

private:
    void serve() {
        std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!stop_ && modbus_tcp_accept(ctx_, &listen_) >= 0) {
            modbus_set_indication_timeout(ctx_, 2, 0);
            const int n = modbus_receive(ctx_, query);
            if (n > 0) {
                {
                    std::lock_guard guard(lock_);
                    requests_.emplace_back(query, query + n);
                }
                modbus_reply(ctx_, query, n, map_);
            }
            modbus_close(ctx_);
        }
    }
    std::uint16_t port_;
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::thread thread_;
};

std::string hex_bytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char cell[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(cell, sizeof cell, " %02X", static_cast<unsigned>(b));
        text += cell;
    }
    return text;
}

TEST(ModbusPeerTraffic, LinesShowTheFramesTheSlaveSawAndItsAnswers) {
    LibmodbusSlave slave;
    ASSERT_TRUE(slave.ready());
    TModbusTcpClient client;
    client.Host = "127.0.0.1";
    client.Port = slave.port();
    client.UnitID = 7;
    client.TimeOut = 2000;
    const LocalStamp at{2026, 12, 10, 1, 2, 3, 4, 0};
    std::vector<std::string> lines;
    client.OnFrame = [&](FrameDirection d, std::span<const std::uint8_t> frame) {
        lines.push_back(frame_hex_line(at, d, frame));
    };
    std::vector<std::uint16_t> values(2);
    ASSERT_TRUE(client.ReadHoldingRegisters(11, values));
    ASSERT_TRUE(client.WriteSingleRegister(21, 0xBEEF));
    const std::uint16_t many[] = {1, 2, 3};
    ASSERT_TRUE(client.WriteMultipleRegisters(31, many));

    const auto seen = slave.requests();
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(lines[2 * i], "01:02:03.004 Tx:" + hex_bytes(seen[i])) << i;
    EXPECT_EQ(lines[1], "01:02:03.004 Rx: 00 00 00 00 00 07 07 03 04 01 0A 01 0B");
    EXPECT_EQ(lines[3], "01:02:03.004 Rx:" + hex_bytes(seen[1])); // echoed
    EXPECT_EQ(lines[5], "01:02:03.004 Rx: 00 00 00 00 00 06 07 10 00 1E 00 03");
}

} // namespace
} // namespace rp::test
