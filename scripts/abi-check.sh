#!/usr/bin/env bash
# Compares the ABI of the built libovra_player.so.0 (from scripts/package.sh)
# with the committed baseline abi/libovra_player.so.0.abi. Fails on any
# incompatible change; a compatible addition passes with a note.
# Usage: scripts/abi-check.sh            check
#        scripts/abi-check.sh --update   write a new baseline (a deliberate change)
set -euo pipefail
cd "$(dirname "$0")/.."

library="$(readlink -f build/package/src/libovra_player.so.0)"
baseline=abi/libovra_player.so.0.abi
# Only the types the public headers declare make up the ABI.
headers=(--headers-dir include --header-file include/ovra/ovra.h)
if [ "${1:-}" = "--update" ]; then
  mkdir -p abi
  abidw "${headers[@]}" --drop-private-types --no-show-locs --no-comp-dir-path --no-corpus-path \
    --out-file "$baseline" "$library"
  echo "wrote $baseline from $library"
  exit 0
fi
set +e
abidiff --headers-dir2 include --header-file2 include/ovra/ovra.h "$baseline" "$library"
status=$?
set -e
# abidiff's status bits: 1 error, 2 usage, 4 change, 8 incompatible change.
if (( status & 3 )); then
  echo "abi-check: abidiff failed ($status)"
  exit 1
fi
if (( status & 8 )); then
  echo "abi-check: incompatible ABI change against $baseline."
  echo "  A deliberate break bumps SOVERSION, adds a CHANGELOG entry and refreshes the baseline (--update)."
  exit 1
fi
if (( status & 4 )); then
  echo "abi-check: compatible ABI change; refresh the baseline with --update when it is deliberate."
fi
echo "abi-check: no incompatible change against $baseline"
