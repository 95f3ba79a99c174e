#!/usr/bin/env bash
# Builds the release benchmarks and prints one table: every benchmark, then
# how our decoders compare with their peers. Extra arguments go to Google
# Benchmark, for example --benchmark_filter=decode.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target ovra_bench
./build/default/bench/ovra_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
