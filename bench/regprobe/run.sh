#!/usr/bin/env bash
# Starts the libmodbus bench slave on a free port of 127.0.0.1, runs both clients against it
# in one run (interleaved, repeated), and stops the slave.
set -euo pipefail
build="${1:-build-bench}"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
out=$(mktemp)
"$build/bin/rp_bench_slave" "$port" >"$out" &
slave=$!
trap 'kill "$slave" 2>/dev/null; wait "$slave" 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do
  grep -q listening "$out" && break
  sleep 0.1
done
grep -q listening "$out" || { echo "bench slave did not start" >&2; exit 1; }
RP_BENCH_PORT=$port "$build/bin/rp_bench" \
  --benchmark_min_time=2 --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true
