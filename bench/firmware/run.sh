#!/usr/bin/env bash
# Makes a 1 MB base image and runs the firmware benchmark with its peers (srec_cat, cat).
# usage: bench/firmware/run.sh [BUILD_DIR]   (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
master=$(mktemp -d)
trap 'rm -rf "$master" "${TMPDIR:-/tmp}/mk-bench-max"' EXIT
# 21 code pages and the five bank pages: about 1 MB of S-records.
/usr/bin/python3 assets/make_base_images.py --out "$master" --code-pages 21 RZ41902_15_3 >/dev/null
ls -l "$master"/RZ41902_15_3.sx | awk '{print "base image: " $5 " bytes"}'
MK_BENCH_MASTER="$master" "$build/bin/firmware_bench" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true
