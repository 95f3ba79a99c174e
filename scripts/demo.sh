#!/usr/bin/env bash
# Builds the library and runs the example host.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target hello_host
./build/default/examples/hello_host/hello_host
