#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "content/ktx2/huffman.h"

namespace ovra::ktx2 {

// A codebook colour: a 5-bit base colour and an intensity table index.
struct Etc1sEndpoint {
  uint8_t red = 0, green = 0, blue = 0, intensity = 0;
};

// Sixteen 2-bit selectors, one byte per row, the left texel in the low bits.
// Selector 0 to 3 picks modifier -b, -a, +a, +b.
struct Etc1sSelector {
  uint8_t rows[4] = {};
};

// Where one image's slices lie inside its level's data.
struct Etc1sImage {
  uint32_t flags = 0;
  uint32_t rgbOffset = 0, rgbLength = 0;
  uint32_t alphaOffset = 0, alphaLength = 0;

  bool HasAlpha() const { return alphaLength > 0; }
  // P-frames of texture video refer to the previous frame.
  bool IsPFrame() const { return (flags & 0x02) != 0; }
};

// The BasisLZ global data: codebooks, the slice Huffman tables and one
// descriptor per image.
struct Etc1sGlobalData {
  std::vector<Etc1sEndpoint> endpoints;
  std::vector<Etc1sSelector> selectors;
  HuffmanTable endpointPredictions;
  HuffmanTable endpointDeltas;
  HuffmanTable selectorSymbols;
  HuffmanTable selectorRuns;
  uint32_t selectorHistorySize = 0;
  std::vector<Etc1sImage> images;
};

// One block of a decoded slice: indices into the codebooks.
struct Etc1sBlock {
  uint16_t endpoint = 0;
  uint16_t selector = 0;
};

// Reads the global data of a texture with `imageCount` images. False when
// it is malformed.
bool ReadEtc1sGlobalData(std::span<const uint8_t> bytes, size_t imageCount, Etc1sGlobalData& data);

// Decodes one slice of `blocksX` x `blocksY` blocks, raster order. False
// when the slice is malformed or refers outside the codebooks. P-frames
// (texture video) are not supported.
bool DecodeEtc1sSlice(const Etc1sGlobalData& data, std::span<const uint8_t> slice, uint32_t blocksX, uint32_t blocksY,
                      std::vector<Etc1sBlock>& blocks);

}  // namespace ovra::ktx2
