// A Modbus TCP slave on libmodbus for the benchmark: 1000 holding registers on 127.0.0.1 at the
// given port, one connection at a time, until it is killed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <modbus.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rp_bench_slave PORT\n");
        return 2;
    }
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", std::atoi(argv[1]));
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 1000, 0);
    if (!ctx || !map)
        return 1;
    for (int i = 0; i < 1000; ++i)
        map->tab_registers[i] = static_cast<uint16_t>(i);
    int server = modbus_tcp_listen(ctx, 64);
    if (server < 0) {
        std::fprintf(stderr, "rp_bench_slave: %s\n", modbus_strerror(errno));
        return 1;
    }
    std::printf("listening on 127.0.0.1:%s\n", argv[1]);
    std::fflush(stdout);
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        if (modbus_tcp_accept(ctx, &server) < 0)
            continue;
        for (;;) {
            const int n = modbus_receive(ctx, query);
            if (n > 0)
                modbus_reply(ctx, query, n, map);
            else if (n < 0)
                break;
        }
        modbus_close(ctx);
    }
}
