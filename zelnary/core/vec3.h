// Small vector maths shared by every part of the engine.
#pragma once

#include <algorithm>
#include <cmath>

namespace znr {

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;

  constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  constexpr Vec3 operator-() const { return {-x, -y, -z}; }
  constexpr Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
  constexpr Vec3& operator+=(const Vec3& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  constexpr bool operator==(const Vec3&) const = default;
};

// Grows the box [lo, hi] to hold p.
inline void grow(Vec3& lo, Vec3& hi, const Vec3& p) {
  lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
  hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

constexpr double dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
constexpr Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const Vec3& a) {
  return std::sqrt(dot(a, a));
}
// The unit vector along a, for any finite a however long or short; the zero vector (and one
// that is not finite) gives zero. Vectors whose squared length would overflow or underflow
// are first divided by their largest component.
inline Vec3 normalized(const Vec3& a) {
  const double l = length(a);
  if (l > 1e-150 && l < 1e150) return a * (1.0 / l);
  const double m = std::max({std::abs(a.x), std::abs(a.y), std::abs(a.z)});
  if (!(m > 0.0) || !std::isfinite(m)) return Vec3{};
  const Vec3 s{a.x / m, a.y / m, a.z / m};
  return s * (1.0 / length(s));
}
inline bool is_finite(const Vec3& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

}  // namespace znr
