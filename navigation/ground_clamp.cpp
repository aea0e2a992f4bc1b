#include "navigation/ground_clamp.h"

#include <cstdint>

namespace kwellor {
namespace {

constexpr double kClearance = 100.0;
constexpr double kFarBelow = -1e9;
constexpr double kFarAbove = 1e9;

}  // namespace

void StayAboveGround(Engine& engine, CameraHandle camera) {
  WorldPoint location;
  engine.ZNR_camera_get_location1(camera, location.data());

  // A vertical segment through the camera, from far below to far above.
  WorldPoint lower;
  lower[0] = location[0];
  lower[1] = location[1];
  lower[2] = kFarBelow;
  WorldPoint upper = lower;
  upper[2] = kFarAbove;
  WorldPoint hit;
  int32_t out1 = 0;
  int32_t out2 = 0;
  // Nothing on the line (over a hole, outside the world): leave the camera where it is.
  if (engine.ZNR_engine_is_movement_possible(lower.data(), upper.data(), &out1, hit.data(),
                                             &out2) != 0) {
    return;
  }

  const double lowest = hit[2] + kClearance;
  if (lowest > location[2]) {
    location[2] = lowest;  // only z changes: x and y stay the camera's own
    engine.ZNR_camera_set_location1(camera, location.data());
  }
}

}  // namespace kwellor
