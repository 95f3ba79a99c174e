#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovra::ktx2 {

// Colour models of the Khronos Data Format that matter here.
enum ColorModel : uint8_t { kModelRgbsda = 1, kModelEtc1s = 163, kModelUastc = 166 };

// Channel ids of the Basis Universal models.
enum Channel : uint8_t {
  kEtc1sRgb = 0,
  kEtc1sRrr = 3,
  kEtc1sGgg = 4,
  kEtc1sAaa = 15,
  kUastcRgb = 0,
  kUastcRgba = 3,
  kUastcRrr = 4,
  kUastcRrrg = 5,
  kUastcRg = 6,
};

// The basic descriptor block of a data format descriptor.
struct DataFormat {
  uint8_t colorModel = 0;
  uint8_t transferFunction = 0;
  std::vector<uint8_t> channels;  // channel id of each sample, in order

  bool IsBasisUniversal() const { return colorModel == kModelEtc1s || colorModel == kModelUastc; }
  // Colour components as the texture's consumers count them.
  uint32_t ComponentCount() const;
};

// Reads the basic descriptor block; false when the descriptor is malformed.
bool ReadDataFormat(std::span<const uint8_t> descriptor, DataFormat& format);

}  // namespace ovra::ktx2
