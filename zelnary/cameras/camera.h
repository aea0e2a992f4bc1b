// A camera as the engine keeps it. The camera's own axes: x forward, y to its right, z up.
// forward and up are unit vectors at right angles; right = forward x up.
#pragma once

#include <cstdint>
#include <string>

#include "zelnary/core/vec3.h"
#include "zelnary/scene/scene.h"

namespace znr {

struct Camera {
  std::string name;
  Vec3 location{0.0, 0.0, 0.0};
  Vec3 forward{-1.0, 0.0, 0.0};
  Vec3 up{0.0, 0.0, 1.0};
  double zoom = 55.0;              // horizontal field of view in degrees
  double distance_from_eye = 0.0;  // chase distance for ChaseType::Behind
  ChaseType chase = ChaseType::None;
  int32_t target = -1;  // into Scene::objects

  Vec3 right() const { return cross(forward, up); }
};

}  // namespace znr
