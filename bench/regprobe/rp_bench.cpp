// Read transactions per second, each one a new connection (connect, read 10 holding registers,
// close), against the local slave whose port is in RP_BENCH_PORT.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <modbus.h>
#include <unistd.h>

#include "regprobe/modbus_tcp_client.h"
#include "regprobe/poll_log.h"
#include "regprobe/response_times.h"
#include "regprobe/traffic.h"
#include "regprobe/value_format.h"

namespace {

constexpr int kRegisters = 10;

int bench_port() {
    const char* p = std::getenv("RP_BENCH_PORT");
    if (!p)
        throw std::runtime_error("RP_BENCH_PORT is not set (bench/regprobe/run.sh sets it)");
    return std::atoi(p);
}

void BM_TModbusTcpClient(benchmark::State& state) {
    rp::TModbusTcpClient client;
    client.Host = "127.0.0.1";
    client.Port = static_cast<std::uint16_t>(bench_port());
    std::vector<std::uint16_t> values(kRegisters);
    for (auto _ : state) {
        if (!client.ReadHoldingRegisters(1, values)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// The same cycle with what a timer tick adds when the extended panel's features are on: every
// frame turned into a traffic line and kept among the last 1000, the values formatted, one
// CSV line appended to the poll log, the response time counted. (The text area's own drawing
// is not part of it.)
void BM_TModbusTcpClientLogAndTraffic(benchmark::State& state) {
    rp::TModbusTcpClient client;
    client.Host = "127.0.0.1";
    client.Port = static_cast<std::uint16_t>(bench_port());
    std::deque<std::string> traffic;
    client.OnFrame = [&](rp::FrameDirection d, std::span<const std::uint8_t> frame) {
        traffic.push_back(
            rp::frame_hex_line(rp::local_stamp(std::chrono::system_clock::now()), d, frame));
        if (traffic.size() > rp::kTrafficLines)
            traffic.pop_front();
    };
    const auto log = std::filesystem::temp_directory_path() /
                     ("rp_bench_" + std::to_string(::getpid()) + ".csv");
    rp::ResponseTimes times;
    std::vector<std::uint16_t> values(kRegisters);
    for (auto _ : state) {
        if (!client.ReadHoldingRegisters(1, values)) {
            state.SkipWithError("read failed");
            break;
        }
        times.add(client.LastResponseTime());
        rp::append_poll_log(
            log, rp::poll_log_line(rp::local_stamp(std::chrono::system_clock::now()), 0,
                                   rp::shown_values(0, values, {rp::ValueFormat::Signed})));
    }
    std::filesystem::remove(log);
    std::filesystem::remove(log.string() + ".1");
    state.SetItemsProcessed(state.iterations());
}

void BM_Libmodbus(benchmark::State& state) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", bench_port());
    modbus_set_slave(ctx, 1);
    std::vector<std::uint16_t> values(kRegisters);
    for (auto _ : state) {
        if (modbus_connect(ctx) != 0 ||
            modbus_read_registers(ctx, 0, kRegisters, values.data()) != kRegisters) {
            state.SkipWithError(modbus_strerror(errno));
            break;
        }
        modbus_close(ctx);
        benchmark::DoNotOptimize(values.data());
    }
    modbus_free(ctx);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_TModbusTcpClient)->UseRealTime();
BENCHMARK(BM_TModbusTcpClientLogAndTraffic)->UseRealTime();
BENCHMARK(BM_Libmodbus)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
