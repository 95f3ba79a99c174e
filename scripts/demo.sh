#!/usr/bin/env bash
# Builds the library, generates a sample level-of-detail model and streams it
# from disk with the example file host, which prints what it is given.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target file_host ovra_make_sample_model
./build/default/tools/ovra_make_sample_model build/default/sample.tzm 3
./build/default/examples/file_host/file_host build/default/sample.tzm
