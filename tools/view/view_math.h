#pragma once

#include <ovra/records.h>

#include <array>
#include <cmath>

namespace ovra::view {

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a) {
  const float length = Length(a);
  return length > 0.0f ? a * (1.0f / length) : a;
}
inline Vec3 Lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

// Column-major, as OpenGL takes it.
using Mat4 = std::array<float, 16>;

inline Mat4 Multiply(const Mat4& a, const Mat4& b) {
  Mat4 product{};
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
      product[column * 4 + row] = sum;
    }
  }
  return product;
}

inline Mat4 LookAt(Vec3 eye, Vec3 target, Vec3 up) {
  const Vec3 forward = Normalize(target - eye);
  const Vec3 side = Normalize(Cross(forward, up));
  const Vec3 upward = Cross(side, forward);
  return {side.x, upward.x, -forward.x, 0, side.y,          upward.y,          -forward.y,        0,
          side.z, upward.z, -forward.z, 0, -Dot(side, eye), -Dot(upward, eye), Dot(forward, eye), 1};
}

inline Mat4 Perspective(float verticalFovDegrees, float aspect, float near, float far) {
  const float f = 1.0f / std::tan(verticalFovDegrees * 3.14159265f / 360.0f);
  return {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1, 0, 0, 2 * far * near / (near - far),
          0};
}

// An axis-aligned box that grows with every point added.
struct Box {
  Vec3 min{INFINITY, INFINITY, INFINITY};
  Vec3 max{-INFINITY, -INFINITY, -INFINITY};

  bool Empty() const { return min.x > max.x; }
  void Add(Vec3 p) {
    min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
    max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
  }
  Vec3 Center() const { return (min + max) * 0.5f; }
  float Radius() const { return Length(max - min) * 0.5f; }
};

}  // namespace ovra::view
