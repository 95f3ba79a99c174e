#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for OVRA_FUZZ_SECONDS seconds
# (default 60) from seeds the project's own writer and encoder make. Fails on
# any crash, leak, timeout or sanitizer report. Inputs may be as long as the
# first request a model makes (256 KiB), so that a small file inflating to a
# large allocation is found: the RSS limit stops it. Corpora grow in
# build/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${OVRA_FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=build/fuzz/corpus
./build/fuzz/fuzz/ovra_make_fuzz_seeds "$corpus"
# The KTX2 fixtures seed the texture target; an odd first byte picks the KTX2 path.
mkdir -p "$corpus/texture_decoder"
for fixture in tests/content/ktx2/*.ktx2; do
  [ "$(stat -c %s "$fixture")" -le 4096 ] || continue  # the benchmark's large texture would slow every run
  { printf '\001'; cat "$fixture"; } > "$corpus/texture_decoder/seed-$(basename "$fixture")"
done
for target in container node_document mesh_decoder texture_decoder model; do
  echo "=== fuzzing ${target} for ${seconds} s"
  mkdir -p "$corpus/$target"
  dictionary=()
  if [ -f "fuzz/${target}.dict" ]; then dictionary=(-dict="fuzz/${target}.dict"); fi
  "./build/fuzz/fuzz/${target}_fuzzer" "$corpus/$target" "${dictionary[@]}" -max_total_time="$seconds" \
    -max_len=262144 -timeout=10 -rss_limit_mb=1536 -print_final_stats=1 2>&1 | tail -n 12
  test "${PIPESTATUS[0]}" -eq 0
done
