// Read transactions per second, each one a new connection (connect, read 10 holding registers,
// close), against the local slave whose port is in RP_BENCH_PORT.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <modbus.h>

#include "regprobe/modbus_tcp_client.h"

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
BENCHMARK(BM_Libmodbus)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
