#pragma once
// The constants of the compressed geometry stream, shared by the decoder and
// the writers' encoder so that both directions read the same format.
#include <cstdint>
#include <string_view>

namespace ovra::mesh_stream {

// Version 0 starts with kMagic alone; later versions with kVersionedMagic
// and a 24-bit version number.
inline constexpr std::string_view kMagic = "tzmc";
inline constexpr std::string_view kVersionedMagic = "_tzmc";
// Newer versions decode as this one.
inline constexpr int32_t kNewestVersion = 5;

// A delta field is one byte: kDeltaEscape announces an absolute value, any
// other byte is the delta plus kDeltaBias.
inline constexpr uint32_t kDeltaEscape = 255;
inline constexpr int32_t kDeltaBias = 127;

// A 5-bit short vertex distance of kLongDistanceMark announces a 16-bit one.
inline constexpr uint32_t kLongDistanceMark = 31;
inline constexpr int64_t kMaxDistance = 65535;

// Texture coordinates are stored in 1/2048ths of the texture.
inline constexpr uint32_t kUvUnitsPerTexture = 2048;

}  // namespace ovra::mesh_stream
