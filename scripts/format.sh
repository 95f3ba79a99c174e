#!/usr/bin/env bash
# Formats the project's C++ files with clang-format-14 and .clang-format.
# Usage: scripts/format.sh          format in place
#        scripts/format.sh --check  list unformatted files and fail if any
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format-14 --style=file --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files formatted"
else
  clang-format-14 --style=file -i "${files[@]}"
fi
