#!/usr/bin/env bash
# Writes the API reference of the exported headers and the host kit to
# build/docs/html. Fails on any doxygen warning, an undocumented public
# symbol among them.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/docs
doxygen docs/api/Doxyfile
echo "API reference: build/docs/html/index.html"
