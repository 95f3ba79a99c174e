#include "format/json_readers.h"

#include <cmath>
#include <limits>
#include <string>

namespace ovra {

namespace {

[[noreturn]] void ThrowNotNumber(const nlohmann::json& value) {
  throw nlohmann::json::type_error::create(302, "type must be number, but is " + std::string(value.type_name()),
                                           &value);
}

int64_t TruncateToInt64(double number) {
  if (std::isnan(number)) return 0;
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (number >= kLimit) return std::numeric_limits<int64_t>::max();
  if (number < -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(number);
}

// The low 64 bits of any JSON number, floating ones truncated toward zero.
uint64_t LowBits(const nlohmann::json& value) {
  if (value.is_number_unsigned()) return value.get<uint64_t>();
  if (value.is_number_integer()) return static_cast<uint64_t>(value.get<int64_t>());
  return static_cast<uint64_t>(TruncateToInt64(value.get<double>()));
}

float Component(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? 0.0f : ReadFloat(*it);
}

}  // namespace

float ReadFloat(const nlohmann::json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1.0f : 0.0f;
  if (!value.is_number()) ThrowNotNumber(value);
  return value.get<float>();
}

int32_t ReadInt32(const nlohmann::json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (!value.is_number()) ThrowNotNumber(value);
  return static_cast<int32_t>(static_cast<uint32_t>(LowBits(value)));
}

uint8_t ReadUint8(const nlohmann::json& value) {
  if (!value.is_number()) ThrowNotNumber(value);
  return static_cast<uint8_t>(LowBits(value));
}

bool ReadBool(const nlohmann::json& value) { return value.get<bool>(); }

Vec2 ReadVec2(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  return {Component(value, "x"), Component(value, "y")};
}

Vec3 ReadVec3(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  return {Component(value, "x"), Component(value, "y"), Component(value, "z")};
}

Vec4 ReadVec4(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  return {Component(value, "x"), Component(value, "y"), Component(value, "z"), Component(value, "w")};
}

}  // namespace ovra
