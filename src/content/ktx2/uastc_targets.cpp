#include "content/ktx2/uastc_targets.h"

#include "content/ktx2/block_targets.h"
#include "content/ktx2/uastc.h"

namespace ovra::ktx2 {

bool IsUastcTarget(int target) { return IsTranscodeTarget(target) && target != kPvrtc2Rgb; }

bool WriteUastcImage(std::span<const uint8_t> blocks, uint32_t width, uint32_t height, int target,
                     std::vector<uint8_t>& out) {
  const size_t count = size_t{(width + 3) / 4} * ((height + 3) / 4);
  if (!IsUastcTarget(target) || blocks.size() != count * 16) return false;
  std::vector<BlockPixels> pixels(count);
  for (size_t i = 0; i < count; ++i) {
    if (!DecodeUastcBlock(blocks.data() + 16 * i, reinterpret_cast<uint8_t*>(pixels[i].data()))) return false;
  }
  if (target == kRgba32) {
    AppendRgbaImage(width, height, [&](size_t index) { return pixels[index]; }, out);
    return true;
  }
  for (const BlockPixels& block : pixels) AppendTargetBlock(block, target, nullptr, out);
  return true;
}

}  // namespace ovra::ktx2
