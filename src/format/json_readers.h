#pragma once

#include <cstdint>

#include <nlohmann/json.hpp>

#include "ovra/records.h"

namespace ovra {

// Readers for document members. Numbers, and for the numeric readers
// booleans, convert; anything else throws the JSON library's type error,
// except the vector readers, which read a non-object as all zeros.
float ReadFloat(const nlohmann::json& value);
// Integers keep their low 32 bits; floating numbers are truncated toward zero
// first (saturating at the 64-bit range, NaN reads 0).
int32_t ReadInt32(const nlohmann::json& value);
// Low 8 bits; booleans are rejected.
uint8_t ReadUint8(const nlohmann::json& value);
bool ReadBool(const nlohmann::json& value);
Vec2 ReadVec2(const nlohmann::json& value);
Vec3 ReadVec3(const nlohmann::json& value);
Vec4 ReadVec4(const nlohmann::json& value);

}  // namespace ovra
