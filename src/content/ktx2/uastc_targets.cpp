#include "content/ktx2/uastc_targets.h"

#include "content/ktx2/block_targets.h"
#include "content/ktx2/uastc.h"
#include "content/ktx2/uastc_bc7.h"

namespace ovra::ktx2 {

bool IsUastcTarget(int target) { return IsTranscodeTarget(target) && target != kPvrtc2Rgb; }

bool WriteUastcImage(std::span<const uint8_t> blocks, uint32_t width, uint32_t height, int target,
                     std::vector<uint8_t>& out) {
  const size_t count = size_t{(width + 3) / 4} * ((height + 3) / 4);
  if (!IsUastcTarget(target) || blocks.size() != count * 16) return false;
  std::vector<UastcBlock> unpacked(count);
  std::vector<BlockPixels> pixels(count);
  for (size_t i = 0; i < count; ++i) {
    if (!UnpackUastcBlock(blocks.data() + 16 * i, unpacked[i])) return false;
    DrawUastcBlock(unpacked[i], reinterpret_cast<uint8_t*>(pixels[i].data()));
  }
  if (target == kRgba32) {
    AppendRgbaImage(
        width, height, [&](size_t index) { return pixels[index]; }, out);
    return true;
  }
  for (size_t i = 0; i < count; ++i) {
    if (target == kBc7Rgba) {
      uint8_t block[16];
      TranscodeUastcToBc7(unpacked[i], reinterpret_cast<const uint8_t*>(pixels[i].data()), block);
      out.insert(out.end(), block, block + 16);
    } else {
      AppendTargetBlock(pixels[i], target, nullptr, out);
    }
  }
  return true;
}

}  // namespace ovra::ktx2
