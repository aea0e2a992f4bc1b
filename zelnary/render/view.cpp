#include "zelnary/render/view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace znr {

double near_plane_distance(const SceneIndex& index) {
  constexpr double kLargest = 0.1, kSmallest = 1e-20;
  if (!(index.size > 0.0) || !std::isfinite(index.size)) return kLargest;
  return std::clamp(index.size * 1e-4, kSmallest, kLargest);
}

View make_view(const Camera& camera, int32_t width, int32_t height, double near_plane) {
  View v;
  v.near_plane = near_plane;
  v.eye = camera.location;
  v.width = width;
  v.height = height;
  // Be forgiving of a camera whose axes have drifted: rebuild an orthonormal frame.
  v.forward = normalized(camera.forward);
  if (length(v.forward) == 0.0 || !is_finite(v.forward)) v.forward = {-1.0, 0.0, 0.0};
  v.right = normalized(cross(v.forward, camera.up));
  if (length(v.right) == 0.0 || !is_finite(v.right)) {
    v.right = normalized(cross(v.forward, Vec3{0.0, 0.0, 1.0}));
    if (length(v.right) == 0.0) v.right = normalized(cross(v.forward, Vec3{1.0, 0.0, 0.0}));
  }
  v.up = cross(v.right, v.forward);
  double zoom = std::isfinite(camera.zoom) ? camera.zoom : 55.0;
  zoom = std::clamp(zoom, 1.0, 170.0);
  v.tan_h = std::tan(zoom * std::numbers::pi / 360.0);
  v.tan_v = width > 0 ? v.tan_h * height / width : v.tan_h;
  v.focal = width / (2.0 * v.tan_h);
  v.side_normals[0] = normalized(v.right + v.forward * v.tan_h);  // left
  v.side_normals[1] = normalized(v.forward * v.tan_h - v.right);  // right
  v.side_normals[2] = normalized(v.forward * v.tan_v - v.up);     // top
  v.side_normals[3] = normalized(v.up + v.forward * v.tan_v);     // bottom
  return v;
}

bool box_visible(const View& view, const Vec3& lo, const Vec3& hi) {
  // The box is out when even its corner furthest along a plane's normal is behind the plane.
  auto furthest = [&](const Vec3& n) {
    return Vec3{n.x >= 0 ? hi.x : lo.x, n.y >= 0 ? hi.y : lo.y, n.z >= 0 ? hi.z : lo.z};
  };
  if (dot(view.forward, furthest(view.forward) - view.eye) < view.near_plane) return false;
  for (const Vec3& n : view.side_normals) {
    if (dot(n, furthest(n) - view.eye) < 0.0) return false;
  }
  return true;
}

bool box_inside(const View& view, const Vec3& lo, const Vec3& hi) {
  for (int k = 0; k < 8; ++k) {
    const Vec3 d =
        Vec3{(k & 1) != 0 ? hi.x : lo.x, (k & 2) != 0 ? hi.y : lo.y, (k & 4) != 0 ? hi.z : lo.z} -
        view.eye;
    const double x = dot(d, view.forward), y = dot(d, view.right), z = dot(d, view.up);
    if (!(std::fabs(x) + std::fabs(y) + std::fabs(z) < 1e30)) return false;  // NaN too
    if (outside_planes(view, x, y, z) != 0) return false;
  }
  return true;
}

bool sphere_visible(const View& view, const Vec3& center, double radius) {
  const Vec3 d = center - view.eye;
  if (dot(view.forward, d) < view.near_plane - radius) return false;
  for (const Vec3& n : view.side_normals) {
    if (dot(n, d) < -radius) return false;
  }
  return true;
}

}  // namespace znr
