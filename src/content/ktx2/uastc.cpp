#include "content/ktx2/uastc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "content/ktx2/astc.h"

namespace ovra::ktx2 {

namespace {

// The ASTC partition seeds each UASTC pattern index stands for: the common
// two-subset patterns, a second two-subset table and the three-subset one.
constexpr uint16_t kTwoSubsetSeeds[] = {28, 20,  16,  29, 91,  9,   107, 72,  149, 204, 50,  114, 496, 17,  78,
                                        39, 252, 828, 43, 156, 116, 210, 476, 273, 684, 359, 246, 195, 694, 524};
constexpr uint16_t kOtherTwoSubsetSeeds[] = {36,  48,  61,  137, 161, 183, 226, 281, 302, 307,
                                             479, 495, 593, 594, 605, 799, 812, 988, 993};
constexpr uint16_t kThreeSubsetSeeds[] = {260, 74, 32, 156, 183, 15, 745, 0, 335, 902, 254};

// A mode's fields lie in a fixed order after its transcoding hints: the
// second plane's channel, the pattern index, the endpoints' trits or quints
// (base 3 five to 8 bits, base 5 three to 7 bits), the endpoints' plain bits,
// then the weights texel by texel (both planes' together), each subset's
// first texel one bit short. The layouts were read off basisu's encodes of
// varied blocks beside its lossless ASTC transcodes of them, and are checked
// on basisu's decodes by the tests (uastc_modes.ktx2 holds every mode).
struct Mode {
  uint8_t code, codeBits;  // the prefix code, read from bit 0 up
  uint8_t components;      // 2: luminance and alpha, 3: RGB, 4: RGBA
  uint8_t subsets;
  bool dualPlane;
  bool storesPlaneChannel;  // else the second plane, if any, is alpha
  uint8_t patternBits;
  std::span<const uint16_t> seeds;
  AstcRange endpoints;
  uint8_t weightBits;
  uint8_t firstField;  // the bits before it are transcoding hints
};

// The prefix code as a number, its first character being bit 0.
constexpr uint8_t Code(const char* bits) {
  uint8_t value = 0;
  for (int i = 0; bits[i] != 0; ++i) value |= static_cast<uint8_t>((bits[i] - '0') << i);
  return value;
}

constexpr uint8_t Length(const char* bits) {
  uint8_t length = 0;
  while (bits[length] != 0) ++length;
  return length;
}

constexpr Mode MakeMode(const char* code, uint8_t components, uint8_t subsets, bool dualPlane, bool storesPlaneChannel,
                        uint8_t patternBits, std::span<const uint16_t> seeds, AstcRange endpoints, uint8_t weightBits,
                        uint8_t firstField) {
  return {Code(code),  Length(code), components, subsets,    dualPlane, storesPlaneChannel,
          patternBits, seeds,        endpoints,  weightBits, firstField};
}

constexpr AstcRange kTrits2{1, 0, 2}, kTrits4{1, 0, 4}, kTrits6{1, 0, 6}, kQuints3{0, 1, 3}, kQuints5{0, 1, 5},
    kBits4{0, 0, 4}, kBits5{0, 0, 5}, kBits8{0, 0, 8};
constexpr std::span<const uint16_t> kNone;

// The solid-colour mode: code 11101, then R, G, B, A in 8 bits each.
constexpr uint8_t kSolidCode = Code("11101"), kSolidCodeBits = 5;

constexpr Mode kModes[] = {
    MakeMode("1000", 3, 1, false, false, 0, kNone, kTrits6, 4, 19),
    MakeMode("11010", 3, 1, false, false, 0, kNone, kBits8, 3, 20),
    MakeMode("11001", 3, 2, false, false, 5, kTwoSubsetSeeds, kQuints3, 2, 20),
    MakeMode("11000", 3, 3, false, false, 4, kThreeSubsetSeeds, kTrits2, 2, 20),
    MakeMode("10111", 3, 2, false, false, 5, kTwoSubsetSeeds, kBits4, 3, 20),
    MakeMode("1001", 3, 1, false, false, 0, kNone, kBits5, 5, 19),
    MakeMode("11011", 3, 1, true, true, 0, kNone, kQuints5, 2, 20),
    MakeMode("11100", 3, 2, false, false, 5, kOtherTwoSubsetSeeds, kQuints3, 2, 20),
    MakeMode("101011", 3, 1, false, false, 0, kNone, kBits8, 2, 21),
    MakeMode("011", 4, 1, false, false, 0, kNone, kTrits6, 3, 20),
    MakeMode("010", 4, 1, false, false, 0, kNone, kTrits4, 4, 20),
    MakeMode("10110", 4, 1, false, false, 0, kNone, kBits8, 2, 28),
    MakeMode("00", 4, 1, true, true, 0, kNone, kTrits4, 2, 19),
    MakeMode("11111", 4, 1, true, true, 0, kNone, kBits8, 1, 28),
    MakeMode("11110", 4, 2, false, false, 5, kTwoSubsetSeeds, kBits4, 2, 28),
    MakeMode("101000", 2, 1, false, false, 0, kNone, kBits8, 4, 30),
    MakeMode("101001", 2, 1, true, false, 0, kNone, kBits8, 2, 29),
    MakeMode("101010", 2, 2, false, false, 5, kTwoSubsetSeeds, kBits8, 2, 29),
};

constexpr int kMaxEndpoints = 2 * 4 * 3;

// Bits a mode's fields take, from its first field to its last weight.
constexpr int FieldBits(const Mode& m) {
  const int planes = m.dualPlane ? 2 : 1;
  const int anchors = m.subsets * planes;  // each drops its weight's top bit
  return (m.storesPlaneChannel ? 2 : 0) + m.patternBits + m.endpoints.EncodedBits(2 * m.components * m.subsets) +
         16 * planes * m.weightBits - anchors;
}

constexpr bool EveryModeFits() {
  for (const Mode& m : kModes) {
    if (m.firstField + FieldBits(m) > 128) return false;
  }
  return true;
}
static_assert(EveryModeFits(), "a UASTC mode's fields run past its block");

// The mode of each value of a block's first seven bits; -1 for solid colour.
std::array<int8_t, 128> MakeModeLookup() {
  std::array<int8_t, 128> lookup{};
  for (size_t value = 0; value < 128; ++value) {
    if ((value & ((1u << kSolidCodeBits) - 1)) == kSolidCode) lookup[value] = -1;
    for (size_t m = 0; m < std::size(kModes); ++m) {
      if ((value & ((1u << kModes[m].codeBits) - 1)) == kModes[m].code) lookup[value] = static_cast<int8_t>(m);
    }
  }
  return lookup;
}

// Reads fields of a 128-bit block in order, least significant bit first.
class BlockReader {
 public:
  BlockReader(const uint8_t block[16], int position) : position_(position) {
    std::memcpy(&low_, block, 8);
    std::memcpy(&high_, block + 8, 8);
  }

  int Read(int count) {
    const int at = position_;
    position_ += count;
    const uint64_t mask = (uint64_t{1} << count) - 1;
    if (at >= 64) return static_cast<int>((high_ >> (at - 64)) & mask);
    const uint64_t bits = at + count <= 64 ? low_ >> at : (low_ >> at) | (high_ << (64 - at));
    return static_cast<int>(bits & mask);
  }

 private:
  uint64_t low_, high_;
  int position_;
};

// Integer-sequence values: all trits (base 3, five to a byte) or quints
// (base 5, three to seven bits) first, then each value's plain bits.
void ReadEndpoints(BlockReader& reader, AstcRange range, int count, int* values) {
  const int base = range.trits ? 3 : range.quints ? 5 : 1;
  const int perGroup = range.trits ? 5 : 3;
  for (int i = 0; i < count; ++i) values[i] = 0;
  if (base > 1) {
    for (int first = 0; first < count; first += perGroup) {
      const int inGroup = std::min(perGroup, count - first);
      int packed = reader.Read(range.trits ? (8 * inGroup + 4) / 5 : (7 * inGroup + 2) / 3);
      for (int k = 0; k < inGroup; ++k, packed /= base) values[first + k] = (packed % base) << range.bits;
    }
  }
  for (int i = 0; i < count; ++i) values[i] |= reader.Read(range.bits);
}

// The subset of each texel for a pattern seed, and which texels are anchors:
// a subset's first texel, whose weights' top bits are not stored.
struct PartitionMap {
  std::array<uint8_t, 16> subset{};
  std::array<bool, 16> anchor{true};
};

PartitionMap MakePartition(int seed, int subsets) {
  PartitionMap map;
  bool seen[3] = {};
  for (size_t i = 0; i < 16; ++i) {
    const int s = AstcPartition(seed, static_cast<int>(i % 4), static_cast<int>(i / 4), subsets);
    map.subset[i] = static_cast<uint8_t>(s);
    map.anchor[i] = !seen[s];
    seen[s] = true;
  }
  return map;
}

template <size_t N>
std::array<PartitionMap, N> MakePartitions(const uint16_t (&seeds)[N], int subsets) {
  std::array<PartitionMap, N> maps;
  for (size_t i = 0; i < N; ++i) maps[i] = MakePartition(seeds[i], subsets);
  return maps;
}

const PartitionMap& Partition(const Mode& mode, int pattern) {
  static const auto kTwo = MakePartitions(kTwoSubsetSeeds, 2);
  static const auto kOtherTwo = MakePartitions(kOtherTwoSubsetSeeds, 2);
  static const auto kThree = MakePartitions(kThreeSubsetSeeds, 3);
  static const PartitionMap kWhole{};
  const auto p = static_cast<size_t>(pattern);
  if (mode.subsets == 3) return kThree[p];
  if (mode.subsets == 1) return kWhole;
  return mode.seeds.data() == kOtherTwoSubsetSeeds ? kOtherTwo[p] : kTwo[p];
}

// Unquantized endpoint values of each mode, and weights of each bit count.
struct Unquantized {
  std::array<std::array<uint8_t, 256>, std::size(kModes)> endpoints;
  std::array<std::array<uint8_t, 32>, 6> weights;
};

Unquantized MakeUnquantized() {
  Unquantized tables{};
  for (size_t m = 0; m < std::size(kModes); ++m) {
    for (int v = 0; v < kModes[m].endpoints.Levels(); ++v) {
      tables.endpoints[m][static_cast<size_t>(v)] = UnquantizeEndpoint(v, kModes[m].endpoints);
    }
  }
  for (int bits = 1; bits <= 5; ++bits) {
    for (int v = 0; v < (1 << bits); ++v) {
      tables.weights[static_cast<size_t>(bits)][static_cast<size_t>(v)] =
          static_cast<uint8_t>(UnquantizeWeight(v, bits));
    }
  }
  return tables;
}

void UnpackSolid(const uint8_t block[16], UastcBlock& out) {
  BlockReader reader(block, kSolidCodeBits);
  for (int c = 0; c < 4; ++c) out.endpoints[0][0][c] = out.endpoints[0][1][c] = static_cast<uint8_t>(reader.Read(8));
}

// ASTC interpolation of 8-bit endpoints widened to 16 bits; the top 8 bits.
uint8_t Interpolate(int e0, int e1, int weight) {
  return static_cast<uint8_t>(((e0 * 257 * (64 - weight) + e1 * 257 * weight + 32) >> 6) >> 8);
}

}  // namespace

bool UnpackUastcBlock(const uint8_t block[16], UastcBlock& out) {
  static const std::array<int8_t, 128> kLookup = MakeModeLookup();
  static const Unquantized kUnquantized = MakeUnquantized();
  out = UastcBlock{};
  const int index = kLookup[block[0] & 0x7F];
  if (index < 0) {
    UnpackSolid(block, out);
    return true;
  }
  const Mode& mode = kModes[index];
  BlockReader reader(block, mode.firstField);
  out.planeChannel = mode.storesPlaneChannel ? reader.Read(2) : mode.dualPlane ? 3 : -1;
  const int pattern = mode.patternBits ? reader.Read(mode.patternBits) : 0;
  if (mode.subsets > 1 && static_cast<size_t>(pattern) >= mode.seeds.size()) return false;
  const PartitionMap& partition = Partition(mode, pattern);
  out.subsets = mode.subsets;
  out.seed = mode.subsets > 1 ? mode.seeds[static_cast<size_t>(pattern)] : 0;
  out.weightBits = mode.weightBits;
  std::copy(partition.subset.begin(), partition.subset.end(), out.subsetOf);

  int values[kMaxEndpoints];
  const int perSubset = 2 * mode.components;
  ReadEndpoints(reader, mode.endpoints, perSubset * mode.subsets, values);
  // Endpoint pairs per subset as RGBA: luminance and alpha fill all four.
  const std::array<uint8_t, 256>& endpointOf = kUnquantized.endpoints[static_cast<size_t>(index)];
  for (int s = 0; s < mode.subsets; ++s) {
    const int* v = values + s * perSubset;
    for (int e = 0; e < 2; ++e) {
      for (int c = 0; c < 4; ++c) {
        const int source = mode.components == 2 ? (c < 3 ? 0 : 2) : (c < mode.components ? 2 * c : -1);
        out.endpoints[s][e][c] = source < 0 ? 255 : endpointOf[static_cast<size_t>(v[source + e])];
      }
    }
  }
  const int planes = mode.dualPlane ? 2 : 1;
  const std::array<uint8_t, 32>& weightOf = kUnquantized.weights[mode.weightBits];
  for (size_t i = 0; i < 16; ++i) {
    for (int p = 0; p < planes; ++p) {
      out.weights[i][p] = weightOf[static_cast<size_t>(reader.Read(mode.weightBits - partition.anchor[i]))];
    }
  }
  return true;
}

void DrawUastcBlock(const UastcBlock& block, uint8_t rgba[64]) {
  for (size_t i = 0; i < 16; ++i) {
    const uint8_t(&pair)[2][4] = block.endpoints[block.subsetOf[i]];
    for (int c = 0; c < 4; ++c) {
      const int weight = block.weights[i][c == block.planeChannel ? 1 : 0];
      rgba[4 * i + static_cast<size_t>(c)] = Interpolate(pair[0][c], pair[1][c], weight);
    }
  }
}

bool DecodeUastcBlock(const uint8_t block[16], uint8_t rgba[64]) {
  UastcBlock unpacked;
  if (!UnpackUastcBlock(block, unpacked)) return false;
  DrawUastcBlock(unpacked, rgba);
  return true;
}

}  // namespace ovra::ktx2
