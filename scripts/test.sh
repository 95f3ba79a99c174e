#!/usr/bin/env bash
# Installs what is missing, checks the C++ formatting, then builds and runs
# the whole test suite in the normal build; builds the API reference (failing on any doxygen warning);
# builds the Debian packages, installs them into a fresh root and builds a
# host against them, and checks the library's ABI against its baseline; runs
# the suite under AddressSanitizer+UndefinedBehaviorSanitizer, a short
# libFuzzer run of every fuzz target (OVRA_FUZZ_SECONDS each, default 20), and
# the suite under ThreadSanitizer.
# Usage: scripts/test.sh [stage...]  (default: format default docs package asan fuzz tsan)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then presets=(format default docs package asan fuzz tsan); fi

status=0
for preset in "${presets[@]}"; do
  echo "=== ${preset}"
  if [ "$preset" = fuzz ]; then
    OVRA_FUZZ_SECONDS="${OVRA_FUZZ_SECONDS:-20}" bash scripts/fuzz.sh || status=1
    continue
  fi
  if [ "$preset" = format ]; then
    bash scripts/format.sh --check || status=1
    continue
  fi
  if [ "$preset" = docs ]; then
    bash scripts/docs.sh || status=1
    continue
  fi
  if [ "$preset" = package ]; then
    { bash scripts/package.sh && bash tests/package/install_debs.sh && bash scripts/abi-check.sh; } || status=1
    continue
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
