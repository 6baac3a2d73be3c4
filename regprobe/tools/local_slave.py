#!/usr/bin/python3
"""A Modbus TCP slave on 127.0.0.1 for trying Regprobe and for its peer test.

Usage: /usr/bin/python3 local_slave.py PORT [HOLDING_REGISTERS] [--short-reads UNIT]

Serves holding registers 0 .. HOLDING_REGISTERS-1 (default 1000, all 0 at start) to every
unit identifier, protocol addresses counted from 0. Runs until it is stopped (Ctrl+C or
SIGTERM). Prints "listening on 127.0.0.1:PORT" once the port is open.

With --short-reads UNIT, reads of holding registers addressed to that unit identifier are
answered with the first register only (byte count 2, whatever was asked), as a faulty slave
does; a master must take such an answer as a failed read.
"""
import asyncio
import logging
import signal
import socket
import sys
import time


def main():
    args = sys.argv[1:]
    short_unit = None
    if len(args) >= 2 and args[-2] == "--short-reads":
        short_unit = int(args[-1])
        args = args[:-2]
    if len(args) not in (1, 2):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    port = int(args[0])
    count = int(args[1]) if len(args) == 2 else 1000
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

    def manipulate(response):
        if short_unit is not None and response.unit_id == short_unit and \
                response.function_code == 3 and hasattr(response, "registers"):
            response.registers = response.registers[:1]
        return response, False

    async def serve():
        loop = asyncio.get_running_loop()
        for sig in (signal.SIGINT, signal.SIGTERM):
            loop.add_signal_handler(sig, lambda: sys.exit(0))
        server_task = asyncio.create_task(
            StartAsyncTcpServer(context=context, address=("127.0.0.1", port),
                                response_manipulator=manipulate))
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
