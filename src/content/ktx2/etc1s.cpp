#include "content/ktx2/etc1s.h"

#include <algorithm>

namespace ovra::ktx2 {

namespace {

constexpr size_t kHeaderBytes = 20;
constexpr size_t kImageBytes = 20;

uint32_t U32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (uint32_t{bytes[at + 3]} << 24);
}

// The colour delta table depends on where the previous value lies.
const HuffmanTable& ColorModel(const HuffmanTable (&models)[3], uint32_t previous) {
  return previous <= 9 ? models[0] : previous <= 21 ? models[1] : models[2];
}

bool ReadEndpoints(std::span<const uint8_t> bytes, size_t count, std::vector<Etc1sEndpoint>& endpoints) {
  BasisBitReader reader(bytes);
  HuffmanTable color[3], intensity;
  for (HuffmanTable& model : color) {
    if (!ReadHuffmanTable(reader, model)) return false;
  }
  if (!ReadHuffmanTable(reader, intensity)) return false;
  const bool grayscale = reader.Bit() != 0;
  uint32_t previousIntensity = 0;
  uint32_t previous[3] = {16, 16, 16};
  endpoints.resize(count);
  for (Etc1sEndpoint& endpoint : endpoints) {
    const int intensityDelta = intensity.Decode(reader);
    if (intensityDelta < 0) return false;
    previousIntensity = (previousIntensity + static_cast<uint32_t>(intensityDelta)) & 7;
    endpoint.intensity = static_cast<uint8_t>(previousIntensity);
    for (int channel = 0; channel < (grayscale ? 1 : 3); ++channel) {
      const int delta = ColorModel(color, previous[channel]).Decode(reader);
      if (delta < 0) return false;
      previous[channel] = (previous[channel] + static_cast<uint32_t>(delta)) & 31;
    }
    endpoint.red = static_cast<uint8_t>(previous[0]);
    endpoint.green = static_cast<uint8_t>(previous[grayscale ? 0 : 1]);
    endpoint.blue = static_cast<uint8_t>(previous[grayscale ? 0 : 2]);
  }
  return !reader.Failed();
}

bool ReadSelectors(std::span<const uint8_t> bytes, size_t count, std::vector<Etc1sSelector>& selectors) {
  BasisBitReader reader(bytes);
  if (reader.Bits(2) != 0) return false;
  const bool raw = reader.Bit() != 0;
  HuffmanTable deltas;
  if (!raw && !ReadHuffmanTable(reader, deltas)) return false;
  selectors.resize(count);
  for (size_t i = 0; i < count; ++i) {
    for (int row = 0; row < 4; ++row) {
      if (raw || i == 0) {
        selectors[i].rows[row] = static_cast<uint8_t>(reader.Bits(8));
        continue;
      }
      const int delta = deltas.Decode(reader);
      if (delta < 0 || delta > 255) return false;
      selectors[i].rows[row] = static_cast<uint8_t>(delta ^ selectors[i - 1].rows[row]);
    }
  }
  return !reader.Failed();
}

bool ReadSliceTables(std::span<const uint8_t> bytes, Etc1sGlobalData& data) {
  BasisBitReader reader(bytes);
  if (!ReadHuffmanTable(reader, data.endpointPredictions) || !ReadHuffmanTable(reader, data.endpointDeltas) ||
      !ReadHuffmanTable(reader, data.selectorSymbols) || !ReadHuffmanTable(reader, data.selectorRuns)) {
    return false;
  }
  data.selectorHistorySize = reader.Bits(13);
  return !reader.Failed();
}

}  // namespace

bool ReadEtc1sGlobalData(std::span<const uint8_t> bytes, size_t imageCount, Etc1sGlobalData& data) {
  if (bytes.size() < kHeaderBytes) return false;
  const uint32_t endpointCount = bytes[0] | (bytes[1] << 8);
  const uint32_t selectorCount = bytes[2] | (bytes[3] << 8);
  const uint64_t endpointBytes = U32(bytes, 4), selectorBytes = U32(bytes, 8), tableBytes = U32(bytes, 12);
  const uint64_t extendedBytes = U32(bytes, 16);
  const uint64_t imagesEnd = kHeaderBytes + uint64_t{imageCount} * kImageBytes;
  if (endpointCount == 0 || selectorCount == 0) return false;
  if (imagesEnd + endpointBytes + selectorBytes + tableBytes + extendedBytes > bytes.size()) return false;
  data.images.resize(imageCount);
  for (size_t i = 0; i < imageCount; ++i) {
    const size_t at = kHeaderBytes + i * kImageBytes;
    data.images[i] = {U32(bytes, at), U32(bytes, at + 4), U32(bytes, at + 8), U32(bytes, at + 12), U32(bytes, at + 16)};
  }
  const std::span<const uint8_t> endpoints = bytes.subspan(imagesEnd, endpointBytes);
  const std::span<const uint8_t> selectors = bytes.subspan(imagesEnd + endpointBytes, selectorBytes);
  const std::span<const uint8_t> tables = bytes.subspan(imagesEnd + endpointBytes + selectorBytes, tableBytes);
  return ReadEndpoints(endpoints, endpointCount, data.endpoints) &&
         ReadSelectors(selectors, selectorCount, data.selectors) && ReadSliceTables(tables, data);
}

namespace {

// Sends raw bits in chunks whose top bit says whether another follows.
uint32_t DecodeVlc(BasisBitReader& reader, int chunkBits) {
  const uint32_t more = 1u << (chunkBits - 1);
  uint32_t value = 0;
  for (int shift = 0; shift < 32; shift += chunkBits - 1) {
    const uint32_t chunk = reader.Bits(chunkBits);
    value |= (chunk & (more - 1)) << shift;
    if ((chunk & more) == 0) break;
  }
  return value;
}

// Recently used selector indices; a use moves an entry halfway to the front.
class SelectorHistory {
 public:
  explicit SelectorHistory(uint32_t size) : values_(size), rover_(size / 2) {}
  size_t Size() const { return values_.size(); }
  uint32_t operator[](size_t index) const { return values_[index]; }
  void Add(uint32_t value) {
    values_[rover_++] = value;
    if (rover_ == values_.size()) rover_ = values_.size() / 2;
  }
  void Use(size_t index) {
    if (index != 0) std::swap(values_[index / 2], values_[index]);
  }

 private:
  std::vector<uint32_t> values_;
  size_t rover_;
};

constexpr uint32_t kEndpointPredictionRepeat = 4 * 4 * 4 * 4;
constexpr uint32_t kMinPredictionRepeat = 3;
constexpr uint32_t kSelectorRunThreshold = 3;
constexpr int kLongSelectorRun = 63;

// The state of one slice's block loop.
class SliceDecoder {
 public:
  SliceDecoder(const Etc1sGlobalData& data, std::span<const uint8_t> slice, uint32_t blocksX)
      : data_(data),
        reader_(slice),
        history_(data.selectorHistorySize),
        above_(blocksX),
        current_(blocksX),
        pairPredictions_((blocksX + 1) / 2) {}

  bool Decode(uint32_t blocksX, uint32_t blocksY, std::vector<Etc1sBlock>& blocks) {
    blocks.resize(size_t{blocksX} * blocksY);
    for (uint32_t y = 0; y < blocksY; ++y) {
      uint32_t predictions = 0;
      for (uint32_t x = 0; x < blocksX; ++x) {
        if (x % 2 == 0 && !NextPredictions(x, y, predictions)) return false;
        const uint32_t prediction = predictions & 3;
        predictions >>= 2;
        Etc1sBlock& block = blocks[size_t{y} * blocksX + x];
        if (!DecodeEndpoint(prediction, x, y, block) || !DecodeSelector(block)) return false;
      }
      std::swap(above_, current_);
    }
    return !reader_.Failed();
  }

 private:
  // Two bits per block for a 2x2 group, sent on even rows and kept for odd ones.
  bool NextPredictions(uint32_t x, uint32_t y, uint32_t& predictions) {
    if (y % 2 == 1) {
      predictions = pairPredictions_[x / 2];
      return true;
    }
    if (repeatCount_ > 0) {
      --repeatCount_;
      predictions = previousPredictions_;
    } else {
      const int symbol = data_.endpointPredictions.Decode(reader_);
      if (symbol < 0 || static_cast<uint32_t>(symbol) > kEndpointPredictionRepeat) return false;
      if (static_cast<uint32_t>(symbol) == kEndpointPredictionRepeat) {
        repeatCount_ = DecodeVlc(reader_, 5) + kMinPredictionRepeat - 1;
        predictions = previousPredictions_;
      } else {
        predictions = previousPredictions_ = static_cast<uint32_t>(symbol);
      }
    }
    pairPredictions_[x / 2] = static_cast<uint8_t>(predictions >> 4);
    return true;
  }

  bool DecodeEndpoint(uint32_t prediction, uint32_t x, uint32_t y, Etc1sBlock& block) {
    const size_t count = data_.endpoints.size();
    uint32_t index = 0;
    if (prediction == 0) {
      if (x == 0) return false;
      index = previousEndpoint_;
    } else if (prediction == 1) {
      if (y == 0) return false;
      index = above_[x];
    } else if (prediction == 2) {
      if (x == 0 || y == 0) return false;
      index = above_[x - 1];
    } else {
      const int delta = data_.endpointDeltas.Decode(reader_);
      if (delta < 0 || static_cast<size_t>(delta) >= count) return false;
      index = previousEndpoint_ + static_cast<uint32_t>(delta);
      if (index >= count) index -= static_cast<uint32_t>(count);
    }
    if (index >= count) return false;
    current_[x] = static_cast<uint16_t>(index);
    previousEndpoint_ = index;
    block.endpoint = static_cast<uint16_t>(index);
    return true;
  }

  bool DecodeSelector(Etc1sBlock& block) {
    const uint32_t selectorCount = static_cast<uint32_t>(data_.selectors.size());
    const uint32_t runSymbol = selectorCount + data_.selectorHistorySize;
    uint32_t symbol = selectorCount;  // a run repeats the front of the history
    if (runLeft_ > 0) {
      --runLeft_;
    } else {
      const int decoded = data_.selectorSymbols.Decode(reader_);
      if (decoded < 0 || static_cast<uint32_t>(decoded) > runSymbol) return false;
      symbol = static_cast<uint32_t>(decoded);
      if (symbol == runSymbol) {
        const int run = data_.selectorRuns.Decode(reader_);
        if (run < 0) return false;
        runLeft_ =
            (run == kLongSelectorRun ? DecodeVlc(reader_, 8) : static_cast<uint32_t>(run)) + kSelectorRunThreshold - 1;
        symbol = selectorCount;
      }
    }
    if (symbol >= selectorCount) {
      const size_t slot = symbol - selectorCount;
      if (slot >= history_.Size()) return false;
      block.selector = static_cast<uint16_t>(history_[slot]);
      history_.Use(slot);
    } else {
      block.selector = static_cast<uint16_t>(symbol);
      if (history_.Size() > 0) history_.Add(symbol);
    }
    return block.selector < selectorCount;
  }

  const Etc1sGlobalData& data_;
  BasisBitReader reader_;
  SelectorHistory history_;
  std::vector<uint16_t> above_;
  std::vector<uint16_t> current_;
  std::vector<uint8_t> pairPredictions_;
  uint32_t previousPredictions_ = 0;
  uint32_t repeatCount_ = 0;
  uint32_t previousEndpoint_ = 0;
  uint32_t runLeft_ = 0;
};

}  // namespace

bool DecodeEtc1sSlice(const Etc1sGlobalData& data, std::span<const uint8_t> slice, uint32_t blocksX, uint32_t blocksY,
                      std::vector<Etc1sBlock>& blocks) {
  if (data.endpoints.empty() || data.selectors.empty()) return false;
  SliceDecoder decoder(data, slice, blocksX);
  return decoder.Decode(blocksX, blocksY, blocks);
}

}  // namespace ovra::ktx2
