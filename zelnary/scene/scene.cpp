#include "zelnary/scene/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace znr {

ObjectPose pose_from(const Affine& a, const Vec3& front) {
  ObjectPose p;
  p.general = true;
  p.position = {a.m[0][3], a.m[1][3], a.m[2][3]};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) p.linear[r][c] = a.m[r][c];
  const Vec3 f = turn_direction(p, front);
  p.heading_deg = f.x == 0.0 && f.y == 0.0 ? 0.0 : std::atan2(f.y, f.x) * 180.0 / std::numbers::pi;
  if (!std::isfinite(p.heading_deg)) p.heading_deg = 0.0;
  return p;
}

size_t values_per_key(const Channel& c) {
  const size_t n = c.path == ChannelPath::Weights    ? c.weights
                   : c.path == ChannelPath::Rotation ? 4
                                                     : 3;
  return c.interpolation == Interpolation::CubicSpline ? 3 * n : n;
}

const char* channel_fault(const Channel& c) {
  if (c.times.empty()) return "a channel without keys";
  if (values_per_key(c) == 0) return "a weights channel without weights";
  if (c.values.size() / values_per_key(c) != c.times.size() ||
      c.values.size() % values_per_key(c) != 0)
    return "a channel whose values do not match its keys";
  for (size_t i = 0; i < c.times.size(); ++i) {
    if (!std::isfinite(c.times[i]) || c.times[i] < 0.0) return "a key time below 0";
    if (i > 0 && !(c.times[i] > c.times[i - 1])) return "key times out of order";
  }
  for (double v : c.values)
    if (!std::isfinite(v)) return "a key value that is not finite";
  if (c.path == ChannelPath::Rotation) {
    const size_t stride = values_per_key(c), at = stride == 4 ? 0 : 4;
    for (size_t k = 0; k < c.times.size(); ++k) {
      const double* q = c.values.data() + k * stride + at;
      if (q[0] == 0.0 && q[1] == 0.0 && q[2] == 0.0 && q[3] == 0.0)
        return "a rotation key of zero length";
    }
  }
  return nullptr;
}

Vec3 to_world(const ObjectPose& pose, const Vec3& local) {
  if (pose.general) return pose.position + turn_direction(pose, local);
  const double a = pose.heading_deg * std::numbers::pi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  return {pose.position.x + c * local.x - s * local.y, pose.position.y + s * local.x + c * local.y,
          pose.position.z + local.z};
}

Vec3 turn_direction(const ObjectPose& pose, const Vec3& d) {
  if (!pose.general) return to_world(ObjectPose{Vec3{}, pose.heading_deg}, d);
  const auto& m = pose.linear;
  return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z,
          m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
          m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
}

Vec3 turn_normal(const ObjectPose& pose, const Vec3& n) {
  if (!pose.general) return turn_direction(pose, n);
  // The cofactor matrix is the inverse transpose times the determinant; its sign keeps the
  // normal on its side under a mirroring map.
  const auto& m = pose.linear;
  const Vec3 c0 = cross({m[0][1], m[1][1], m[2][1]}, {m[0][2], m[1][2], m[2][2]});
  const Vec3 c1 = cross({m[0][2], m[1][2], m[2][2]}, {m[0][0], m[1][0], m[2][0]});
  const Vec3 c2 = cross({m[0][0], m[1][0], m[2][0]}, {m[0][1], m[1][1], m[2][1]});
  const double det = dot({m[0][0], m[1][0], m[2][0]}, c0);
  const Vec3 t = c0 * n.x + c1 * n.y + c2 * n.z;
  return det < 0.0 ? -t : t;
}

double largest_stretch(const ObjectPose& pose) {
  if (!pose.general) return 1.0;
  // The longest stretch squared is the largest eigenvalue of M = AᵀA, which neither its trace
  // (the Frobenius norm squared) nor any row's sum of magnitudes (Gershgorin) falls below. The
  // second is exact for a turn, however scaled, where the first says √3 times too much.
  double m[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m[i][j] += pose.linear[k][i] * pose.linear[k][j];
  double gershgorin = 0.0;
  for (const auto& row : m)
    gershgorin = std::max(gershgorin, std::abs(row[0]) + std::abs(row[1]) + std::abs(row[2]));
  return std::sqrt(std::min(gershgorin, m[0][0] + m[1][1] + m[2][2]));
}

}  // namespace znr
