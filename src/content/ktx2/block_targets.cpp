#include "content/ktx2/block_targets.h"

#include <stb/stb_dxt.h>

#include "content/ktx2/bc7_encoder.h"
#include "content/ktx2/eac_encoder.h"
#include "content/ktx2/etc1_encoder.h"
#include "content/ktx2/pvrtc2_encoder.h"

namespace ovra::ktx2 {

namespace {

const uint8_t* Bytes(const BlockPixels& pixels) { return reinterpret_cast<const uint8_t*>(pixels.data()); }

void AppendEacBlock(const BlockPixels& pixels, size_t channel, std::vector<uint8_t>& out) {
  uint8_t values[16], block[8];
  for (size_t i = 0; i < 16; ++i) values[i] = pixels[i][channel];
  EncodeEac(values, block);
  out.insert(out.end(), block, block + 8);
}

void AppendEtc1Block(const BlockPixels& pixels, const uint8_t* etc1, std::vector<uint8_t>& out) {
  uint8_t block[8];
  if (etc1 == nullptr) {
    EncodeEtc1(Bytes(pixels), block);
    etc1 = block;
  }
  out.insert(out.end(), etc1, etc1 + 8);
}

void AppendBc4Or5Block(const BlockPixels& pixels, bool two, std::vector<uint8_t>& out) {
  uint8_t channels[32], block[16];
  for (size_t i = 0; i < 16; ++i) {
    channels[two ? 2 * i : i] = pixels[i][0];
    if (two) channels[2 * i + 1] = pixels[i][3];
  }
  if (two) {
    stb_compress_bc5_block(block, channels);
  } else {
    stb_compress_bc4_block(block, channels);
  }
  out.insert(out.end(), block, block + (two ? 16 : 8));
}

}  // namespace

bool IsTranscodeTarget(int target) {
  switch (target) {
    case kEtc1Rgb:
    case kEtc2Rgba:
    case kBc1Rgb:
    case kBc3Rgba:
    case kBc4R:
    case kBc5Rg:  // NOLINT
    case kBc7Rgba:
    case kRgba32:
    case kPvrtc2Rgb:
    case kEacR11:
    case kEacRg11:  // NOLINT
      return true;
    default: return false;
  }
}

void AppendTargetBlock(const BlockPixels& pixels, int target, const uint8_t* etc1, std::vector<uint8_t>& out) {
  uint8_t block[16];
  switch (target) {
    case kEtc1Rgb: AppendEtc1Block(pixels, etc1, out); return;
    case kEtc2Rgba:  // an EAC alpha block, then the ETC1 colour block ETC2 reads
      AppendEacBlock(pixels, 3, out);
      AppendEtc1Block(pixels, etc1, out);
      return;
    case kEacR11:
    case kEacRg11:
      AppendEacBlock(pixels, 0, out);
      if (target == kEacRg11) AppendEacBlock(pixels, 3, out);
      return;
    case kBc1Rgb:
    case kBc3Rgba: {
      const bool alpha = target == kBc3Rgba;
      stb_compress_dxt_block(block, Bytes(pixels), alpha ? 1 : 0, STB_DXT_HIGHQUAL);
      out.insert(out.end(), block, block + (alpha ? 16 : 8));
      return;
    }
    case kBc4R:
    case kBc5Rg: AppendBc4Or5Block(pixels, target == kBc5Rg, out); return;
    case kBc7Rgba:
      EncodeBc7(Bytes(pixels), block);
      out.insert(out.end(), block, block + 16);
      return;
    case kPvrtc2Rgb:
      EncodePvrtc2Block(Bytes(pixels), block);
      out.insert(out.end(), block, block + 8);
      return;
    default: return;
  }
}

}  // namespace ovra::ktx2
