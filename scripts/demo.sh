#!/usr/bin/env bash
# The main job: installs what is needed, builds, packs a real model (the
# two-cylinder engine of assimp's test models) and a large generated terrain,
# and streams both headless with ovra-view. Pictures, per-frame statistics
# and plots land in demo-output/; the README's pictures are refreshed from them.
#
# Usage: demo.sh [terrain triangles, default 4000000]
set -euo pipefail
cd "$(dirname "$0")/.."

triangles="${1:-4000000}"
out="$PWD/demo-output"
engine=/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target ovra-view ovra-pack ovra_make_large_scene
tools=build/default/tools
mkdir -p "$out"

echo "== packing $engine"
"$tools/ovra-pack" --quiet --leaf-triangles 4000 -o "$out/engine.tzm" "$engine"
echo "== generating and packing a terrain of $triangles triangles"
"$tools/ovra_make_large_scene" "$out/terrain.ply" "$triangles"
"$tools/ovra-pack" --quiet --leaf-triangles 4000 -o "$out/terrain.tzm" "$out/terrain.ply"
rm "$out/terrain.ply"

echo "== streaming the engine, orbiting"
"$tools/ovra-view" "$out/engine.tzm" --headless --camera-path orbit --frames 150 --save-every 25 \
  --out "$out/engine" | grep -v '^Status: '
echo "== streaming the terrain along a fly-through, 600,000-triangle budget"
"$tools/ovra-view" "$out/terrain.tzm" --headless --camera-path flythrough --frames 360 --budget 600000 \
  --out "$out/terrain" | grep -v '^Status: '

mkdir -p docs/images
cp "$out/engine/frames/frame_0100.png" docs/images/engine.png
cp "$out/terrain/frames/levels_0359.png" docs/images/terrain-levels.png
cp "$out/terrain/plot.png" docs/images/terrain-plot.png
echo
echo "Everything is in $out: engine/ and terrain/ each hold frames/, stats.csv and plot.png."
