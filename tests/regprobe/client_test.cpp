// TModbusTcpClient on the wire: exact request frames, response rules, the error log, and the
// slaves that misbehave, all against a scripted slave on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include "fake_slave.h"
#include "regprobe/modbus_tcp_client.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace rp::test {
namespace {

using namespace std::chrono_literals;

// A slave that answers every request with the bytes the test gives.
FakeSlave answering(Bytes answer) {
    return FakeSlave([answer](SlaveConnection& c, FakeSlave& self) {
        self.record(c.read_request());
        c.send(answer);
    });
}

class ModbusClientTest : public ::testing::Test {
protected:
    ModbusClientTest() {
        client.Host = "127.0.0.1";
        client.UnitID = 7;
        client.TimeOut = 2000;
        client.ErrorLogPath = dir.path() / "errorlog.txt";
        client.LogStamp = [] { return std::string("09/12/26 10:11:12"); };
    }
    std::string log() const { return read_file(dir.path() / "errorlog.txt"); }
    bool log_exists() const { return std::filesystem::exists(dir.path() / "errorlog.txt"); }

    mk::test::TempDir dir;
    TModbusTcpClient client;
};

TEST(ModbusClientDefaults, PropertiesAndBuffer) {
    TModbusTcpClient c;
    EXPECT_EQ(c.Port, 502);
    EXPECT_EQ(c.UnitID, 1);
    EXPECT_EQ(c.TimeOut, 15000u);
    EXPECT_EQ(c.ConnectTimeOut, -1);
    EXPECT_EQ(c.ModBusFunction, 0);
    EXPECT_EQ(c.RegNumber, 0);
    EXPECT_EQ(c.BlockLength, 0);
    EXPECT_EQ(TModbusTcpClient::Version(), "0.3.0");
    EXPECT_EQ(c.Buffer().size(), 256u);
    for (auto v : c.Buffer())
        ASSERT_EQ(v, 0);
    EXPECT_FALSE(c.Connected());
}

TEST_F(ModbusClientTest, RequestsGoOnTheWireByteForByte) {
    std::map<std::uint16_t, std::uint16_t> regs{{0, 0xBEEF}};
    std::mutex lock;
    auto slave = FakeSlave::with_registers(regs, lock);
    client.Port = slave.port();

    std::array<std::uint16_t, 1> one{};
    ASSERT_TRUE(client.ReadHoldingRegisters(1, one));
    EXPECT_EQ(one[0], 0xBEEF);
    ASSERT_TRUE(client.WriteSingleRegister(11, 0x1234));
    const std::array<std::uint16_t, 3> three{1, 2, 3};
    ASSERT_TRUE(client.WriteMultipleRegisters(1, three));

    const auto sent = slave.requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0, 0, 0, 0, 0, 6, 7, 3, 0, 0, 0, 1}));
    EXPECT_EQ(sent[1], (Bytes{0, 0, 0, 0, 0, 6, 7, 6, 0, 0x0A, 0x12, 0x34}));
    EXPECT_EQ(sent[2], (Bytes{0, 0, 0, 0, 0, 0x0D, 7, 16, 0, 0, 0, 3, 6, 0, 1, 0, 2, 0, 3}));
    std::lock_guard guard(lock);
    EXPECT_EQ(regs[10], 0x1234);
    EXPECT_EQ(regs[2], 3);
    // The properties show the last transaction; no connection stays open.
    EXPECT_EQ(client.ModBusFunction, 16);
    EXPECT_EQ(client.RegNumber, 1);
    EXPECT_EQ(client.BlockLength, 3);
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(log_exists());
}

TEST_F(ModbusClientTest, LongReadsAskForTheLimitAndPadWithZeros) {
    std::map<std::uint16_t, std::uint16_t> regs;
    for (std::uint16_t i = 0; i < 1000; ++i)
        regs[i] = static_cast<std::uint16_t>(0x100 + i);
    std::mutex lock;
    auto slave = FakeSlave::with_registers(regs, lock);
    client.Port = slave.port();

    // 200 registers: 125 asked, the last 75 values are 0. 300 (beyond the transfer buffer)
    // gives 300 values the same way, without touching memory past either buffer.
    for (std::size_t count : {200u, 300u}) {
        std::vector<std::uint16_t> values(count, 0xAAAA);
        ASSERT_TRUE(client.ReadHoldingRegisters(5, values));
        EXPECT_EQ(slave.requests().back(), (Bytes{0, 0, 0, 0, 0, 6, 7, 3, 0, 4, 0, 125}));
        EXPECT_EQ(values[0], 0x104);
        EXPECT_EQ(values[124], 0x104 + 124);
        for (std::size_t i = 125; i < count; ++i)
            ASSERT_EQ(values[i], 0) << i;
        EXPECT_EQ(client.BlockLength, count);
    }
}

TEST_F(ModbusClientTest, ExceptionAnswerIsLoggedWithHeaderOnce) {
    auto slave = answering({0, 0, 0, 0, 0, 3, 7, 0x83, 2});
    client.Port = slave.port();
    std::array<std::uint16_t, 2> values{};
    EXPECT_FALSE(client.ReadHoldingRegisters(1, values));
    EXPECT_FALSE(client.WriteSingleRegister(1, 5)); // 0x83 is not 6 either
    EXPECT_EQ(log(), "09/12/26 10:11:12 File di errore Modbus TCP Client\n"
                     "09/12/26 10:11:12 ERR: Ricevuti 9 byte  0, 0, 0, 0, 0, 3, 7,83, 2,\n"
                     "09/12/26 10:11:12 ERR: Ricevuti 9 byte  0, 0, 0, 0, 0, 3, 7,83, 2,\n");
    // No temporary file is left beside the log.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(ModbusClientTest, SilentSlaveGivesFalseAfterTheTimeOutAndNoLog) {
    FakeSlave slave([](SlaveConnection& c, FakeSlave& self) {
        self.record(c.read_request());
        c.wait_for_close(5s);
    });
    client.Port = slave.port();
    client.TimeOut = 300;
    std::array<std::uint16_t, 1> values{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.ReadHoldingRegisters(1, values));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    EXPECT_FALSE(log_exists());
    EXPECT_FALSE(client.Connected());
}

TEST_F(ModbusClientTest, SlaveClosingBeforeAnsweringRaisesClosedGracefully) {
    FakeSlave slave([](SlaveConnection& c, FakeSlave& self) { self.record(c.read_request()); });
    client.Port = slave.port();
    std::array<std::uint16_t, 1> values{9};
    try {
        client.ReadHoldingRegisters(1, values);
        FAIL() << "no error raised";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(log_exists());
}

TEST_F(ModbusClientTest, SlaveClosingWithoutReadingRaisesAnError) {
    // Closed before our request arrived: the system reports the end of the connection either as
    // an orderly close or as a reset, depending on timing; either way it is an error, not a crash.
    FakeSlave slave([](SlaveConnection&, FakeSlave&) {});
    client.Port = slave.port();
    EXPECT_THROW(client.WriteSingleRegister(1, 1), SocketError);
    EXPECT_FALSE(client.Connected());
}

TEST_F(ModbusClientTest, MalformedAnswersFailAndAreLogged) {
    struct Case {
        const char* what;
        Bytes answer;
        const char* line;
    };
    const Case cases[] = {
        {"garbage",
         {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'},
         "ERR: Ricevuti 11 byte 68,65,6C,6C,6F,20,77,6F,72,6C,64,"},
        {"three bytes", {0, 0, 0}, "ERR: Ricevuti 3 byte  0, 0, 0,"},
        {"byte count past the data",
         {0, 0, 0, 0, 0, 7, 7, 3, 200, 0x12, 0x34},
         "ERR: Ricevuti 11 byte  0, 0, 0, 0, 0, 7, 7, 3,C8,12,34,"},
        {"byte count short of the registers asked",
         {0, 0, 0, 0, 0, 5, 7, 3, 2, 0x12, 0x34},
         "ERR: Ricevuti 11 byte  0, 0, 0, 0, 0, 5, 7, 3, 2,12,34,"},
        {"byte count past the registers asked",
         {0, 0, 0, 0, 0, 9, 7, 3, 6, 0x12, 0x34, 0, 1, 0, 2},
         "ERR: Ricevuti 15 byte  0, 0, 0, 0, 0, 9, 7, 3, 6,12,34, 0, 1, 0, 2,"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::filesystem::remove(client.ErrorLogPath);
        auto slave = answering(k.answer);
        client.Port = slave.port();
        std::array<std::uint16_t, 2> values{};
        EXPECT_FALSE(client.ReadHoldingRegisters(1, values));
        EXPECT_EQ(values, (std::array<std::uint16_t, 2>{}));
        EXPECT_EQ(log(), std::string("09/12/26 10:11:12 File di errore Modbus TCP Client\n") +
                             "09/12/26 10:11:12 " + k.line + "\n");
    }
}

TEST_F(ModbusClientTest, OversizedAnswerIsCutAtTheReceiveBuffer) {
    // 300 bytes: a read answer of 125 words and 41 bytes more. Only 266 bytes are taken.
    Bytes answer{0, 0, 0, 0, 0x01, 0x26, 7, 3, 250};
    for (int i = 0; i < 125; ++i) {
        answer.push_back(static_cast<std::uint8_t>(i >> 8));
        answer.push_back(static_cast<std::uint8_t>(i));
    }
    answer.resize(300, 0xEE);
    auto slave = answering(answer);
    client.Port = slave.port();
    std::vector<std::uint16_t> values(130, 1);
    EXPECT_TRUE(client.ReadHoldingRegisters(1, values));
    EXPECT_EQ(client.LastResponse().size(), 266u);
    EXPECT_EQ(values[124], 124);
    EXPECT_EQ(values[125], 0);
}

TEST_F(ModbusClientTest, ResponseSplitByTcpIsWaitedFor) {
    FakeSlave slave([](SlaveConnection& c, FakeSlave& self) {
        self.record(c.read_request());
        c.send({0, 0, 0, 0, 0, 7, 7, 3, 4, 0x11});
        std::this_thread::sleep_for(100ms);
        c.send({0x22, 0x33, 0x44});
    });
    client.Port = slave.port();
    std::vector<std::pair<FrameDirection, Bytes>> frames;
    client.OnFrame = [&](FrameDirection d, std::span<const std::uint8_t> f) {
        frames.emplace_back(d, Bytes(f.begin(), f.end()));
    };
    std::array<std::uint16_t, 2> values{};
    EXPECT_TRUE(client.ReadHoldingRegisters(1, values));
    EXPECT_EQ(values, (std::array<std::uint16_t, 2>{0x1122, 0x3344}));
    // The response time runs to the last piece; the observer sees the response once, whole.
    EXPECT_GE(client.LastResponseTime(), 100ms);
    EXPECT_LT(client.LastResponseTime(), 1500ms);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], std::make_pair(FrameDirection::Sent, slave.requests().at(0)));
    EXPECT_EQ(frames[1], std::make_pair(FrameDirection::Received,
                                        Bytes{0, 0, 0, 0, 0, 7, 7, 3, 4, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(ModbusClientTest, ResponseTimeCountsFromTheSendNotFromTheObserver) {
    // The slave answers 60 ms after the request; the observer of the sent frame (the traffic
    // view) takes 40 ms of that. The response still took 60 ms, and the time-out still runs
    // from the send.
    FakeSlave slave([](SlaveConnection& c, FakeSlave& self) {
        self.record(c.read_request());
        std::this_thread::sleep_for(60ms);
        c.send({0, 0, 0, 0, 0, 5, 7, 3, 2, 0x11, 0x22});
    });
    client.Port = slave.port();
    client.OnFrame = [](FrameDirection d, std::span<const std::uint8_t>) {
        if (d == FrameDirection::Sent)
            std::this_thread::sleep_for(40ms);
    };
    std::array<std::uint16_t, 1> values{};
    EXPECT_TRUE(client.ReadHoldingRegisters(1, values));
    EXPECT_GE(client.LastResponseTime(), 55ms);
    EXPECT_LT(client.LastResponseTime(), 1500ms);
}

TEST_F(ModbusClientTest, ZeroTimeOutTakesNothingAndLogsAnEmptyAnswer) {
    FakeSlave slave([](SlaveConnection& c, FakeSlave& self) {
        self.record(c.read_request());
        c.wait_for_close(2s);
    });
    client.Port = slave.port();
    client.TimeOut = 0;
    EXPECT_FALSE(client.WriteSingleRegister(1, 1));
    EXPECT_EQ(log(), "09/12/26 10:11:12 File di errore Modbus TCP Client\n"
                     "09/12/26 10:11:12 ERR: Ricevuti 0 byte \n");
}

TEST_F(ModbusClientTest, ConnectFailuresRaiseTheSocketText) {
    client.Port = unused_port();
    std::array<std::uint16_t, 1> values{};
    try {
        client.ReadHoldingRegisters(1, values);
        FAIL() << "no error raised";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Connection refused.");
    }
    // A name with a blank is refused by the resolver itself: no query leaves this machine.
    client.Host = "no such host";
    try {
        client.WriteSingleRegister(1, 1);
        FAIL() << "no error raised";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Name or service not known.");
    }
    EXPECT_FALSE(client.Connected());
}

// Runs a read against a slave that never answers the connection request; gives the error text
// and how long the read took. A read still blocked after five seconds is ended by closing the
// listener (the next retry of the connection request is refused), so the test stays bounded.
struct BlockedConnect {
    std::string error;
    std::chrono::steady_clock::duration took{};
};

BlockedConnect read_from_silent_host(TModbusTcpClient& client) {
    SilentListener silent;
    client.Port = silent.port();
    BlockedConnect result;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        std::array<std::uint16_t, 1> values{};
        try {
            client.ReadHoldingRegisters(1, values);
            result.error = "no error";
        } catch (const SocketError& e) {
            result.error = e.what();
        }
        result.took = std::chrono::steady_clock::now() - start;
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        std::this_thread::sleep_for(10ms);
    silent.close();
    reader.join();
    return result;
}

TEST_F(ModbusClientTest, ConnectIsBoundedByTheTimeOutWhenItHasNoneOfItsOwn) {
    // No connect time-out of its own: the response time-out bounds the connect too, instead of
    // the system's connection retries (more than two minutes).
    client.TimeOut = 300;
    auto r = read_from_silent_host(client);
    EXPECT_EQ(r.error, "Connection timed out.");
    EXPECT_GE(r.took, 300ms);
    EXPECT_LT(r.took, 2s);
    EXPECT_FALSE(client.Connected());

    // A connect time-out of its own is kept, shorter or longer than the response time-out.
    client.TimeOut = 15000;
    client.ConnectTimeOut = 200;
    r = read_from_silent_host(client);
    EXPECT_EQ(r.error, "Connection timed out.");
    EXPECT_GE(r.took, 200ms);
    EXPECT_LT(r.took, 2s);
}

TEST_F(ModbusClientTest, AnswerShorterThanAnnouncedIsDecidedAfterAQuietGap) {
    // The slave keeps the connection open after answering, so only the quiet gap ends the wait;
    // without it every read would take the whole time-out.
    struct Case {
        const char* what;
        Bytes answer;
        bool ok;
    };
    const Case cases[] = {
        {"length 0x00FF, answer complete", {0, 0, 0, 0, 0x00, 0xFF, 7, 3, 2, 0x12, 0x34}, true},
        {"length 0xFFFF, answer complete", {0, 0, 0, 0, 0xFF, 0xFF, 7, 3, 2, 0x12, 0x34}, true},
        {"answer stops mid-way", {0, 0, 0, 0, 0, 7, 7, 3, 4, 0x12, 0x34}, false},
        {"header only", {0, 0, 0, 0, 0, 7}, false},
    };
    client.TimeOut = 4000;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        FakeSlave slave([&k](SlaveConnection& c, FakeSlave& self) {
            self.record(c.read_request());
            c.send(k.answer);
            c.wait_for_close(6s);
        });
        client.Port = slave.port();
        std::array<std::uint16_t, 1> values{};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.ReadHoldingRegisters(1, values), k.ok);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
        EXPECT_EQ(values[0], k.ok ? 0x1234 : 0);
    }
    // The two failures are logged with the bytes that came.
    EXPECT_EQ(log(), "09/12/26 10:11:12 File di errore Modbus TCP Client\n"
                     "09/12/26 10:11:12 ERR: Ricevuti 11 byte  0, 0, 0, 0, 0, 7, 7, 3, 4,12,34,\n"
                     "09/12/26 10:11:12 ERR: Ricevuti 6 byte  0, 0, 0, 0, 0, 7,\n");
}

TEST_F(ModbusClientTest, UnwritableLogIsRaised) {
    auto slave = answering({0, 0, 0, 0, 0, 3, 7, 0x86, 2});
    client.Port = slave.port();
    client.ErrorLogPath = dir.path() / "missing" / "errorlog.txt";
    EXPECT_THROW(client.WriteSingleRegister(1, 1), ErrorLogError);
}

TEST(RegprobeErrorLog, LinesAreAppendedToTheSameFile) {
    // The log grows by one line per failure during hours of polling: each line is appended in
    // place (not by copying the whole log), so whoever follows the file keeps seeing it and
    // its owner's permissions stay as they were.
    mk::test::TempDir dir;
    const auto path = dir.path() / "errorlog.txt";
    append_error_log(path, "D1 T1", "ERR: Ricevuti 0 byte ");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    append_error_log(path, "D2 T2", "ERR: Ricevuti 2 byte  7,83,");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(read_file(path), "D1 T1 File di errore Modbus TCP Client\n"
                               "D1 T1 ERR: Ricevuti 0 byte \n"
                               "D2 T2 ERR: Ricevuti 2 byte  7,83,\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(RegprobeErrorLog, TwoWritersCreatingTheLogAtOnceLoseNoLine) {
    // Two writers find no log and create it at the same moment: both lines are kept, under one
    // header.
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        mk::test::TempDir dir;
        const auto path = dir.path() / "errorlog.txt";
        std::latch start(2);
        std::atomic<int> errors{0};
        auto writer = [&](const char* text) {
            start.arrive_and_wait();
            try {
                append_error_log(path, "D T", text);
            } catch (const ErrorLogError&) {
                ++errors;
            }
        };
        std::thread a(writer, "ERR: A");
        std::thread b(writer, "ERR: B");
        a.join();
        b.join();
        EXPECT_EQ(errors, 0);
        const std::string text = read_file(path);
        const std::string header = "D T File di errore Modbus TCP Client\n";
        const bool ab = text == header + "D T ERR: A\nD T ERR: B\n";
        const bool ba = text == header + "D T ERR: B\nD T ERR: A\n";
        ASSERT_TRUE(ab || ba) << text;
        ASSERT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST(RegprobeErrorLog, DateAndTimeOfALineComeFromOneClockRead) {
    // Midnight passes while the stamp is made: its date and time are still those of one instant.
    std::tm last_second{};
    last_second.tm_year = 126;
    last_second.tm_mon = 11;
    last_second.tm_mday = 31;
    last_second.tm_hour = 23;
    last_second.tm_min = 59;
    last_second.tm_sec = 59;
    last_second.tm_isdst = -1;
    std::time_t now = std::mktime(&last_second);
    EXPECT_EQ(local_date_time([&] { return now++; }), "12/31/26 23:59:59");
}

TEST(RegprobeErrorLog, FullLogIsMovedToOneBackupAndStartedAnew) {
    // Each line is 11 bytes and the header 37: a limit of 70 holds the header and three lines.
    mk::test::TempDir dir;
    const auto path = dir.path() / "errorlog.txt";
    const std::string header = "D T File di errore Modbus TCP Client\n";
    const auto add = [&](int n) { append_error_log(path, "D T", "ERR: " + std::to_string(n), 70); };
    for (int n = 1; n <= 4; ++n)
        add(n);
    EXPECT_EQ(read_file(dir.path() / "errorlog.txt.1"),
              header + "D T ERR: 1\nD T ERR: 2\nD T ERR: 3\n");
    EXPECT_EQ(read_file(path), header + "D T ERR: 4\n");
    // The next time the log is full, the backup is replaced: there is only ever one.
    for (int n = 5; n <= 7; ++n)
        add(n);
    EXPECT_EQ(read_file(dir.path() / "errorlog.txt.1"),
              header + "D T ERR: 4\nD T ERR: 5\nD T ERR: 6\n");
    EXPECT_EQ(read_file(path), header + "D T ERR: 7\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    // A line longer than the whole limit still goes into a fresh log, and only once.
    const std::string long_text(100, 'x');
    append_error_log(path, "D T", long_text, 70);
    EXPECT_EQ(read_file(path), header + "D T " + long_text + "\n");
    EXPECT_EQ(read_file(dir.path() / "errorlog.txt.1"), header + "D T ERR: 7\n");
}

TEST(RegprobeErrorLog, WritersSharingAFullLogKeepBothFilesWhole) {
    // Two writers fill a small log many times over: each file always starts with its header,
    // holds whole lines only, and stays within the limit.
    mk::test::TempDir dir;
    const auto path = dir.path() / "errorlog.txt";
    std::latch start(2);
    auto writer = [&](char who) {
        start.arrive_and_wait();
        for (int i = 0; i < 300; ++i)
            append_error_log(path, "D T", std::string("ERR: ") + who + std::to_string(i % 10), 200);
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();
    for (const auto& file : {path, error_log_backup(path)}) {
        const std::string text = read_file(file);
        EXPECT_LE(text.size(), 200u);
        std::istringstream lines(text);
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "D T File di errore Modbus TCP Client");
        while (std::getline(lines, line))
            EXPECT_TRUE(line.size() == 11 && line.starts_with("D T ERR: ")) << line;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

} // namespace
} // namespace rp::test
