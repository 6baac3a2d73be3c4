#!/usr/bin/python3
"""A Modbus TCP slave on 127.0.0.1 for trying Regprobe and for its peer test.

Usage: /usr/bin/python3 local_slave.py PORT [HOLDING_REGISTERS]

Serves holding registers 0 .. HOLDING_REGISTERS-1 (default 1000, all 0 at start) to every
unit identifier, protocol addresses counted from 0. Runs until it is stopped (Ctrl+C or
SIGTERM). Prints "listening on 127.0.0.1:PORT" once the port is open.
"""
import asyncio
import logging
import signal
import socket
import sys
import time


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    port = int(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 1000
    if not 0 < port < 65536 or not 0 < count <= 65536:
        print("local_slave: port or register count out of range", file=sys.stderr)
        return 2

    try:
        from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                        ModbusSlaveContext)
        from pymodbus.server import StartAsyncTcpServer
    except ImportError:
        print("local_slave: python3-pymodbus is missing (run scripts/bootstrap)", file=sys.stderr)
        return 3

    # pymodbus reports every closed connection as an error; only real faults are worth showing.
    logging.basicConfig(format="%(asctime)s %(message)s")
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

    # zero_mode: register address n of a request is element n of the block, as on the gateway.
    block = ModbusSequentialDataBlock(0, [0] * count)
    slave = ModbusSlaveContext(hr=block, zero_mode=True)
    # One context for every unit identifier: the window talks to unit 7 by default.
    context = ModbusServerContext(slaves=slave, single=True)

    async def serve():
        loop = asyncio.get_running_loop()
        for sig in (signal.SIGINT, signal.SIGTERM):
            loop.add_signal_handler(sig, lambda: sys.exit(0))
        server_task = asyncio.create_task(
            StartAsyncTcpServer(context=context, address=("127.0.0.1", port)))
        # Report readiness only once a connection is accepted.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if server_task.done():
                server_task.result()
                return
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                    break
            except OSError:
                await asyncio.sleep(0.05)
        try:
            print(f"listening on 127.0.0.1:{port}", flush=True)
        except OSError:
            pass  # whoever waited for the line has stopped reading; keep serving
        await server_task

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
