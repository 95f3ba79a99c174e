#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite in the
# normal build and under AddressSanitizer+UndefinedBehaviorSanitizer and
# ThreadSanitizer. Usage: scripts/test.sh [preset...]  (default: all three)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then presets=(default asan tsan); fi

status=0
for preset in "${presets[@]}"; do
  echo "=== ${preset}"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
