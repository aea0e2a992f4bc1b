// A camera's view for one frame: its axes made orthonormal, the frustum and the projection.
#pragma once

#include <cstdint>

#include "zelnary/cameras/camera.h"
#include "zelnary/core/vec3.h"
#include "zelnary/render/scene_index.h"

namespace znr {

// How far in front of the eye the near plane lies, in world units: 1/10,000 of the scene's
// size, at most 0.1 (so any scene over 1,000 units across keeps 0.1) and at least 1e-20. Depth
// is kept as 1/distance, which loses nothing however small the near plane is, so the plane
// only has to sit well inside the nearest distance a scene of that size is seen from. The one
// place that decides it: the front end puts it in the View, and every back end clips or
// projects with that.
double near_plane_distance(const SceneIndex& index);

struct View {
  Vec3 eye, forward, right, up;     // orthonormal; right = forward x up
  double tan_h = 0.0, tan_v = 0.0;  // half-angle tangents of the horizontal/vertical field
  double focal = 0.0;               // pixels per unit of cy/cx
  double near_plane = 0.0;          // world units in front of the eye
  int32_t width = 0, height = 0;

  // The frustum's side planes through the eye, inside where dot(n, p - eye) >= 0.
  Vec3 side_normals[4];
};

View make_view(const Camera& camera, int32_t width, int32_t height, double near_plane);

// How back ends cut polygons to the view, in camera space (x forward, y right, z up), so that
// they all cut alike. Planes: 0 near, 1 left, 2 right, 3 top, 4 bottom.
// The frustum planes a point lies outside of, bit k for plane k.
inline unsigned outside_planes(const View& v, double x, double y, double z) {
  unsigned code = 0;
  if (x < v.near_plane) code |= 1;
  if (y < -x * v.tan_h) code |= 2;
  if (y > x * v.tan_h) code |= 4;
  if (z > x * v.tan_v) code |= 8;
  if (z < -x * v.tan_v) code |= 16;
  return code;
}
// The point's side of one plane: at least 0 inside; linear along an edge, so that the
// crossing lies at a / (a - b) of the way from a point of side a to one of side b.
inline double plane_side(const View& v, int plane, double x, double y, double z) {
  switch (plane) {
    case 0:
      return x - v.near_plane;
    case 1:
      return y + x * v.tan_h;
    case 2:
      return x * v.tan_h - y;
    case 3:
      return x * v.tan_v - z;
    default:
      return z + x * v.tan_v;
  }
}

// false: the box [lo, hi] lies wholly outside the view.
bool box_visible(const View& view, const Vec3& lo, const Vec3& hi);
// true: the box [lo, hi] lies wholly inside the view (every corner inside every plane, as
// outside_planes finds it in camera space), so nothing in it needs clipping.
bool box_inside(const View& view, const Vec3& lo, const Vec3& hi);
// false: the sphere lies wholly outside the view.
bool sphere_visible(const View& view, const Vec3& center, double radius);

}  // namespace znr
