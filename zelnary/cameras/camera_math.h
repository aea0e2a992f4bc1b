// Steering a camera: turns, moves, pointing it, zoom. Space 0 uses the world's axes, space 2
// the camera's own (x forward, y to its right, z up); any other space value is treated as 0.
// Positive angles turn by the right-hand rule about the axis named. Every function keeps
// forward and up unit length and at right angles, and ignores non-finite input.
#pragma once

#include <cstdint>

#include "zelnary/cameras/camera.h"
#include "zelnary/core/vec3.h"

namespace znr {

inline constexpr int32_t kWorldSpace = 0;
inline constexpr int32_t kOwnSpace = 2;

// Zoom is the horizontal field of view in degrees, held within these bounds.
inline constexpr double kMinZoom = 1.0;
inline constexpr double kMaxZoom = 170.0;

// v turned by degrees about the unit axis (right-hand rule).
Vec3 rotated(const Vec3& v, const Vec3& axis, double degrees);

// Turns about z: world z in space 0 (positive turns left), own up in space 2.
void camera_rotate_z(Camera& cam, double degrees, int32_t space);
// Turns about y: world y in space 0, own right axis in space 2 (positive looks up).
void camera_rotate_y(Camera& cam, double degrees, int32_t space);
// Moves by (x, y, z): along the world's axes in space 0, along forward, right and up in space 2.
void camera_move(Camera& cam, int32_t space, const Vec3& offset);

// Points the camera along direction, with up as close to world z as possible (no roll).
// Looking straight up or down keeps the previous up (or forward) to decide the roll.
// A zero or non-finite direction is ignored.
void camera_set_direction(Camera& cam, const Vec3& direction);
void camera_set_location(Camera& cam, const Vec3& location);  // non-finite ignored

// Sets the zoom clamped to [kMinZoom, kMaxZoom] and returns the zoom in force; non-finite
// values leave it unchanged.
double camera_set_zoom(Camera& cam, double zoom);
// Non-finite values are ignored, negative ones become 0.
void camera_set_distance_from_eye(Camera& cam, double distance);

// A camera as the world file describes it.
Camera camera_from_def(const CameraDef& def);

}  // namespace znr
