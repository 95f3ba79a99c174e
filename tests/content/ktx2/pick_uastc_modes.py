"""Builds a UASTC KTX2 file holding blocks of every UASTC mode, taken from
basisu's own encodes: up to four blocks of each mode, then solid blocks.

Usage: pick_uastc_modes.py TEMPLATE.ktx2 OUTPUT.ktx2 SOURCE.ktx2...
TEMPLATE is an uncompressed single-level UASTC file from basisu whose level
holds as many blocks as the output needs; SOURCEs are uncompressed too."""
import struct
import sys

# The mode prefix codes, read from bit 0 of the block upwards.
CODES = ["00", "010", "011", "1000", "1001", "101000", "101001", "101010", "101011", "10110", "10111",
         "11000", "11001", "11010", "11011", "11100", "11101", "11110", "11111"]


def level0(data):
    offset, length, _ = struct.unpack_from("<QQQ", data, 80)
    return offset, length


def mode(block):
    bits = "".join(str((block[k // 8] >> (k % 8)) & 1) for k in range(8))
    return next((c for c in CODES if bits.startswith(c)), None)


def main():
    template = bytearray(open(sys.argv[1], "rb").read())
    offset, length = level0(template)
    picked = {c: [] for c in CODES}
    for source in sys.argv[3:]:
        data = open(source, "rb").read()
        start, size = level0(data)
        for at in range(start, start + size, 16):
            block = data[at:at + 16]
            code = mode(block)
            if code and len(picked[code]) < 4:
                picked[code].append(block)
    missing = [c for c in CODES if not picked[c]]
    if missing:
        sys.exit("no blocks of modes " + ", ".join(missing))
    blocks = [b for c in CODES for b in picked[c]]
    if len(blocks) * 16 > length:
        sys.exit("the template is too small")
    solid = picked["11101"][0]
    blocks += [solid] * (length // 16 - len(blocks))
    template[offset:offset + length] = b"".join(blocks)
    open(sys.argv[2], "wb").write(template)


main()
