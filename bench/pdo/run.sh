#!/usr/bin/env bash
# Runs the PDO editors benchmark from the given build folder (default build-bench).
set -euo pipefail
build=${1:-build-bench}
QT_QPA_PLATFORM=offscreen "$build/bench/pdo_bench" --benchmark_min_time=1 --benchmark_counters_tabular=true
