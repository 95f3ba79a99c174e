#pragma once

#include <array>
#include <cstdint>

namespace ovra::ktx2::bc7 {

// The layout of a BC7 mode, as the BPTC tables give it.
struct ModeLayout {
  int subsets, partitionBits, rotationBits, indexSelectionBits, colorBits, alphaBits;
  bool endpointPBits, sharedPBits;
  int indexBits, secondaryIndexBits;
};
extern const ModeLayout kModes[8];

// The subset of texel `texel` (0..15, row by row) in partition `partition`
// of a mode with `subsets` subsets.
int Subset(int subsets, int partition, int texel);

// The anchor texel of subset `subset`, whose index's top bit is not stored.
int Anchor(int subsets, int partition, int subset);

// The 8-bit value a decoder reads from a stored endpoint channel of `bits`
// bits and its p-bit (-1 for none).
int ExpandEndpoint(int code, int bits, int pBit);

// The interpolation weights (0..64) of the indices of `bits` bits (2 to 4).
const int* Weights(int bits);

// A block's fields. Endpoint codes are stored channel values (colour then
// alpha width); a mode without alpha ignores channel 3.
struct Block {
  int mode = 6, partition = 0, rotation = 0, indexSelection = 0;
  uint8_t endpoints[3][2][4] = {};
  uint8_t pBits[3][2] = {};  // a shared p-bit is read from endpoint 0
  uint8_t indices[16] = {}, secondaryIndices[16] = {};
};

// Writes the block. Each anchor's index must have its top bit clear.
void Pack(const Block& block, uint8_t out[16]);

// Fills a block of mode `block.mode` and partition `block.partition` (and
// rotation) that draws `pixels` (16 RGBA, row by row; rotated as the mode's
// rotation says) from the wanted 8-bit endpoints of each subset: endpoints
// and p-bits are quantised to the mode, indices chosen per pixel, and anchors
// made valid by swapping a subset's endpoints. Returns the squared error.
int Fit(const uint8_t pixels[64], const uint8_t wanted[3][2][4], Block& block);

}  // namespace ovra::ktx2::bc7
