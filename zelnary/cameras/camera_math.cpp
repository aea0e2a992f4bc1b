#include "zelnary/cameras/camera_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace znr {
namespace {

constexpr Vec3 kWorldX{1.0, 0.0, 0.0};
constexpr Vec3 kWorldY{0.0, 1.0, 0.0};
constexpr Vec3 kWorldZ{0.0, 0.0, 1.0};

// The part of v at right angles to the unit vector f, made unit; zero when v is (almost)
// along f.
Vec3 orthogonal_unit(const Vec3& v, const Vec3& f) {
  const Vec3 p = v - f * dot(v, f);
  const double l = length(p);
  return l > 1e-9 ? p * (1.0 / l) : Vec3{};
}

// Restores unit length and right angles after a turn, so rounding never accumulates.
void orthonormalize(Camera& cam) {
  const Vec3 f = normalized(cam.forward);
  if (f == Vec3{}) {
    cam.forward = {-1.0, 0.0, 0.0};
    cam.up = kWorldZ;
    return;
  }
  Vec3 up = orthogonal_unit(cam.up, f);
  if (up == Vec3{}) up = orthogonal_unit(kWorldZ, f);
  if (up == Vec3{}) up = orthogonal_unit(kWorldX, f);
  cam.forward = f;
  cam.up = up;
}

void rotate_camera(Camera& cam, const Vec3& axis, double degrees) {
  if (!std::isfinite(degrees) || degrees == 0.0) return;
  cam.forward = rotated(cam.forward, axis, degrees);
  cam.up = rotated(cam.up, axis, degrees);
  orthonormalize(cam);
}

}  // namespace

Vec3 rotated(const Vec3& v, const Vec3& axis, double degrees) {
  // Rodrigues' formula.
  const double a = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  return v * c + cross(axis, v) * s + axis * (dot(axis, v) * (1.0 - c));
}

void camera_rotate_z(Camera& cam, double degrees, int32_t space) {
  rotate_camera(cam, space == kOwnSpace ? cam.up : kWorldZ, degrees);
}

void camera_rotate_y(Camera& cam, double degrees, int32_t space) {
  rotate_camera(cam, space == kOwnSpace ? cam.right() : kWorldY, degrees);
}

void camera_move(Camera& cam, int32_t space, const Vec3& offset) {
  if (!is_finite(offset)) return;
  const Vec3 step = space == kOwnSpace
                        ? cam.forward * offset.x + cam.right() * offset.y + cam.up * offset.z
                        : offset;
  const Vec3 next = cam.location + step;
  if (is_finite(next)) cam.location = next;
}

void camera_set_direction(Camera& cam, const Vec3& direction) {
  if (!is_finite(direction)) return;
  // Scaled first so that very short or very long vectors neither underflow nor overflow.
  const double m = std::max({std::abs(direction.x), std::abs(direction.y), std::abs(direction.z)});
  if (m == 0.0) return;
  const Vec3 f = normalized(direction * (1.0 / m));
  // Prefer no roll; straight up or down, the previous up or forward decides which way is up.
  const double toward_z = dot(f, kWorldZ) > 0.0 ? -1.0 : 1.0;
  const std::array<Vec3, 4> candidates{kWorldZ, cam.up, cam.forward * toward_z, kWorldX};
  for (const Vec3& c : candidates) {
    const Vec3 up = orthogonal_unit(c, f);
    if (up != Vec3{}) {
      cam.forward = f;
      cam.up = up;
      return;
    }
  }
}

void camera_set_location(Camera& cam, const Vec3& location) {
  if (is_finite(location)) cam.location = location;
}

double camera_set_zoom(Camera& cam, double zoom) {
  if (std::isfinite(zoom)) cam.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  return cam.zoom;
}

void camera_set_distance_from_eye(Camera& cam, double distance) {
  if (std::isfinite(distance)) cam.distance_from_eye = std::max(distance, 0.0);
}

Camera camera_from_def(const CameraDef& def) {
  Camera cam;
  cam.name = def.name;
  camera_set_location(cam, def.location);
  camera_set_direction(cam, def.direction);
  camera_set_zoom(cam, def.zoom);
  camera_set_distance_from_eye(cam, def.distance_from_eye);
  cam.chase = def.chase;
  cam.target = def.target;
  return cam;
}

}  // namespace znr
