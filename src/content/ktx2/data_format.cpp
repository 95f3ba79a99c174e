#include "content/ktx2/data_format.h"

#include <algorithm>

namespace ovra::ktx2 {

namespace {

constexpr size_t kBlockHeaderBytes = 24;
constexpr size_t kSampleBytes = 16;

uint32_t U32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (uint32_t{bytes[at + 3]} << 24);
}

uint32_t Etc1sComponents(const std::vector<uint8_t>& channels) {
  if (channels.size() == 1) return channels[0] == kEtc1sRgb ? 3 : 1;
  return channels[0] == kEtc1sRgb && channels[1] == kEtc1sAaa ? 4 : 2;
}

uint32_t UastcComponents(uint8_t channel) {
  switch (channel) {
    case kUastcRrr: return 1;
    case kUastcRrrg:
    case kUastcRg: return 2;
    case kUastcRgba: return 4;
    default: return 3;
  }
}

}  // namespace

uint32_t DataFormat::ComponentCount() const {
  if (channels.empty()) return 0;
  if (colorModel == kModelEtc1s) return Etc1sComponents(channels);
  if (colorModel == kModelUastc) return UastcComponents(channels[0]);
  // Wide channels take several samples with the same id.
  std::vector<uint8_t> distinct = channels;
  std::sort(distinct.begin(), distinct.end());
  return static_cast<uint32_t>(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
}

bool ReadDataFormat(std::span<const uint8_t> descriptor, DataFormat& format) {
  // The total size word, then the basic block.
  if (descriptor.size() < 4 + kBlockHeaderBytes) return false;
  const std::span<const uint8_t> block = descriptor.subspan(4);
  if (U32(block, 0) != 0) return false;  // Khronos vendor, basic descriptor type
  const uint32_t blockBytes = U32(block, 4) >> 16;
  if (blockBytes < kBlockHeaderBytes || blockBytes > block.size()) return false;
  if ((blockBytes - kBlockHeaderBytes) % kSampleBytes != 0) return false;
  format.colorModel = block[8];
  format.transferFunction = block[10];
  format.channels.clear();
  for (size_t at = kBlockHeaderBytes; at < blockBytes; at += kSampleBytes) {
    format.channels.push_back(block[at + 3] & 0x0F);
  }
  if (format.IsBasisUniversal() && (format.channels.empty() || format.channels.size() > 2)) return false;
  return true;
}

}  // namespace ovra::ktx2
